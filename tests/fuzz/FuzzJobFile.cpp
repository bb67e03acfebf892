// Fuzz target: job files (the results files they name do not exist, or are the job file itself).
#include <fstream>
#include <unistd.h>

#include "FuzzSupport.h"
#include "results/JobMode.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    freshProcessState();
    static const std::string name = "/tmp/tolveno-fuzz-" + std::to_string(getpid()) + ".job";
    std::ofstream(name, std::ios::binary | std::ios::trunc) << textOf(data, size);
    try {
        runJob(name);
    } catch (const ProcessExit&) {
    }
    return 0;
}
