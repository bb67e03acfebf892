// Fuzz target: the settings reader (a paragraph file) and the command line.
#include <fstream>
#include <unistd.h>

#include "FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    freshProcessState();
    static const std::string name = "/tmp/tolveno-fuzz-" + std::to_string(getpid()) + ".ini";
    std::ofstream(name, std::ios::binary | std::ios::trunc) << textOf(data, size);
    try {
        parameters.readSettings(name);
        parameters.computeAirAbsorption();
        splitCommandLine(textOf(data, size));
    } catch (const ProcessExit&) {
    }
    return 0;
}
