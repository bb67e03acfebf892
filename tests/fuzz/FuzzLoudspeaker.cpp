// Fuzz target: the loudspeaker-file reader, and the directivity look-up of what it read.
#include <sstream>

#include "FuzzSupport.h"
#include "acoustics/PlacedSource.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    freshProcessState();
    std::istringstream in(textOf(data, size));
    auto speaker = std::make_unique<SpeakerInfo>();
    try {
        speaker->read(in, "fuzz.spk");
    } catch (const ProcessExit&) {
    }
    return 0;
}
