#pragma once
// Shared by the fuzz targets: a quiet window system (boxes recorded, then
// dropped) and a fresh process state for every input.
#include <cstddef>
#include <cstdint>
#include <string>

#include "acoustics/MicrophoneList.h"
#include "acoustics/SpeakerInfo.h"
#include "model/MaterialLibrary.h"
#include "run/RunParameters.h"
#include "ui/RecordingWindowSystem.h"

inline RecordingWindowSystem& fuzzWindows() {
    static RecordingWindowSystem windows = [] {
        RecordingWindowSystem w;
        w.defaultAnswer = true;
        return w;
    }();
    static bool installed = (installWindowSystem(&windows), true);
    (void)installed;
    return windows;
}

/// Resets what a reader may have left behind by the previous input.
inline void freshProcessState() {
    RecordingWindowSystem& windows = fuzzWindows();
    windows.boxes.clear();
    windows.beeps.clear();
    parameters = RunParameters{};
    microphones().destroyAll();
    clearSpeakers();
    resetMaterials();
}

inline std::string textOf(const std::uint8_t* data, std::size_t size) {
    return std::string(reinterpret_cast<const char*>(data), size);
}
