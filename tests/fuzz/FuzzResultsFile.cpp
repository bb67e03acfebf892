// Fuzz target: reading microphone sections of a results file, first and added.
#include "FuzzSupport.h"
#include "foundation/TConfig.h"
#include "results/MicrophoneSection.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    freshProcessState();
    parameters.Time = 0.02;
    parameters.Precision = 0.001;
    const std::array<double, bandCount> gains{1, 2, 1, 1, 0.5, 1, 1, 1, 1, 1};
    try {
        TConfig first("fuzz.___", textOf(data, size));
        Microphone microphone;
        if (first.findParagraph("Microphone_1")) {
            readFirst(microphone, first, gains, 1, 0.0015);
            readAdd(microphone, first, gains, 2, 0.003);
        }
    } catch (const ProcessExit&) {
    }
    return 0;
}
