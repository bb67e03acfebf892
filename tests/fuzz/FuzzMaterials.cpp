// Fuzz target: the material-file reader.
#include <sstream>

#include "FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    freshProcessState();
    std::istringstream in(textOf(data, size));
    const auto library = std::make_unique<MaterialLibrary>(in);
    return 0;
}
