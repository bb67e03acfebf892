#pragma once
#include <string>

#include "model/CadMesh.h"

/// Reads a CAD file's bytes in the format its extension names (obj, dxf, stl, or another Assimp reads).
///
/// Polygons keep their corners (nothing is triangulated or joined here); a
/// mesh's material is its CAD material, or, for a mesh without one, its group,
/// layer or solid name. Throws CadError (naming fileName) for bytes that hold no faces or cannot be read.
CadMesh readCad(const std::string& bytes, const std::string& fileName);
