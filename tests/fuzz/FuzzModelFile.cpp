// Fuzz target: the model-file reader and the model assembly.
#include <sstream>

#include "FuzzSupport.h"
#include "model/Model.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    freshProcessState();
    parameters.Time = 0.01;
    parameters.Precision = 0.001;
    std::istringstream in(textOf(data, size));
    Model model;
    try {
        model.load(in);
    } catch (const ProcessExit&) {
    }
    return 0;
}
