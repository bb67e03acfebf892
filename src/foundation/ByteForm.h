#pragma once
#include <cstring>
#include <string>
#include <string_view>
#include <type_traits>

#include "geometry/Vector.h"

/// The byte form of the values that travel between the processes of a run: each value's own bytes, field by field
/// (never a whole struct, whose padding would travel uninitialised). The processes are the same program on the same
/// kind of machine, so a value that crosses unchanged commits to the same sums bit for bit.
namespace ByteForm {
/// Appends value's bytes to out.
template <typename T>
void put(std::string& out, const T& value) {
    static_assert(std::is_trivially_copyable_v<T>);
    out.append(reinterpret_cast<const char*>(&value), sizeof value);
}

/// Appends a vector's three components.
inline void put(std::string& out, const Vector& v) {
    put(out, v.x);
    put(out, v.y);
    put(out, v.z);
}

/// Takes value's bytes from the front of in; false, value unchanged, when in is too short.
template <typename T>
bool get(std::string_view& in, T& value) {
    static_assert(std::is_trivially_copyable_v<T>);
    if (in.size() < sizeof value) return false;
    std::memcpy(&value, in.data(), sizeof value);
    in.remove_prefix(sizeof value);
    return true;
}

/// Takes a vector's three components.
inline bool get(std::string_view& in, Vector& v) { return get(in, v.x) && get(in, v.y) && get(in, v.z); }
}  // namespace ByteForm
