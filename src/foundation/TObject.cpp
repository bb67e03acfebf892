#include "foundation/TObject.h"

#include <cstring>
#include <fstream>

bool TObject::isKindOf(const char* name) const {
    return std::strcmp(name, "TObject") == 0;
}

bool TObject::load(const char* fileName) {
    std::ifstream in(fileName, std::ios::binary);
    return read(in);
}

bool TObject::save(const char* fileName) const {
    std::ofstream out(fileName, std::ios::binary | std::ios::trunc);
    const bool written = write(out);
    return written && out.good();
}
