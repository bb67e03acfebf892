#pragma once
#include <string_view>
#include <vector>

/// The kinds of control a dialog template holds.
enum class ControlKind { Text, CheckBox, ListBox, ProgressBar, Button };

/// One control of a dialog template: its id, kind, group and label, and its template text.
struct ControlTemplate {
    int id;
    ControlKind kind;
    const char* group;
    const char* label;
    const char* text;
};

/// A named dialog template: its caption and controls.
struct DialogTemplate {
    const char* name;
    const char* caption;
    std::vector<ControlTemplate> controls;
};

/// Control ids of the status box.
namespace StatusItem {
constexpr int pyramidsDone = 101, pyramidTotal = 102, escapes = 103, edges = 104;
constexpr int elapsed = 105, estimated = 106, speakerFile = 107, sourceNumber = 108;
constexpr int status = 109, messages = 110, totalElapsed = 111, totalEstimated = 112;
constexpr int level = 113, history = 114, time = 115, resolution = 116, humidity = 117;
constexpr int diffraction = 118, randomize = 119, temperature = 120;
constexpr int diffusion = 121, saveDiffuseHits = 122, saveAll = 123, saveEscaped = 124;
constexpr int saveHits = 126, activeCpus = 127, alwaysObstructing = 128;
constexpr int progress = 202;
}  // namespace StatusItem

/// Control ids of the wait box of job mode.
namespace WaitItem {
constexpr int fileName = 201, progress = 202;
}

/// Standard command ids.
constexpr int IDOK = 1, IDCANCEL = 2;

/// The template of that name, or null.
const DialogTemplate* findDialogTemplate(std::string_view name);
