// Fuzz target: the CAD importer. The first byte picks the format, the rest is the file.
#include "FuzzSupport.h"
#include "model/CadImport.h"
#include "model/CadMesh.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    freshProcessState();
    const char* const names[] = {"hall.obj", "hall.dxf", "hall.stl"};
    try {
        importCad(textOf(data + 1, size - 1), names[data[0] % 3], {});
    } catch (const CadError&) {
        // A refused file is an answer, not a finding.
    }
    return 0;
}
