#pragma once
#include <string>

#include "model/CadMesh.h"

/// Adds to mesh what Assimp's DXF reader leaves out: the drawing unit ($INSUNITS) and the POINT entities with their layers.
void readDxfExtras(const std::string& text, CadMesh& mesh);
