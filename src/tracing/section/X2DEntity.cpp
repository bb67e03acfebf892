#include "tracing/section/X2DEntity.h"

#include <cmath>

double X2DVector::length() const { return std::hypot(x, y); }
