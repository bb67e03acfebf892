#pragma once
#include <cstdint>

#include "tracing/PyramidSection.h"

/// An entry of the generator's stack: a triangle of directions around the apex and its subdivision level.
struct PyramidSeed {
    Coord apex;
    PyramidSection section;
    std::uint32_t level = 0;
};
