#include "model/CadReader.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <assimp/Importer.hpp>
#include <assimp/material.h>
#include <assimp/scene.h>
#include <filesystem>

#include "model/DxfExtras.h"

namespace {
std::string lowerExtension(const std::string& fileName) {
    std::string extension = std::filesystem::path(fileName).extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension;
}

// Text formats with a NUL byte are binary garbage; Assimp would read such an OBJ as an empty scene.
void checkText(const std::string& bytes, const std::string& extension, const std::string& fileName) {
    if (extension != ".obj" && extension != ".dxf") return;
    const std::size_t nul = bytes.find('\0');
    if (nul != std::string::npos)
        throw CadError(fileName + ": binary data where text was expected (a zero byte at offset " +
                       std::to_string(nul) + ")");
}

// The CAD material of a mesh, else the name of its node (OBJ group, DXF layer, STL solid).
std::string materialName(const aiScene& scene, const aiMesh& mesh, const aiNode& node) {
    aiString name;
    scene.mMaterials[mesh.mMaterialIndex]->Get(AI_MATKEY_NAME, name);
    const std::string material = name.C_Str();
    if (!material.empty() && material != AI_DEFAULT_MATERIAL_NAME) return material;
    return node.mName.length > 0 ? node.mName.C_Str() : "default";
}

// Assimp holds coordinates as floats: 1.2 arrives as 1.20000005. The
// shortest decimal that gives the same float is what the file said.
double decimal(float value) {
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, value).ptr;
    double exact = 0;
    std::from_chars(text, end, exact);
    return exact;
}

// Readers take "nan" and "inf" as numbers; no room has such a corner.
void checkFinite(const CadMesh& mesh, const std::string& fileName) {
    const auto finite = [](const Coord& p) { return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z); };
    const bool pointsFinite =
        std::all_of(mesh.points.begin(), mesh.points.end(), [&](const CadPoint& point) { return finite(point.position); });
    if (!std::all_of(mesh.vertices.begin(), mesh.vertices.end(), finite) || !pointsFinite)
        throw CadError(fileName + ": a coordinate is not a finite number");
}

void addMesh(const aiScene& scene, const aiMesh& mesh, const aiNode& node, const aiMatrix4x4& placement,
             CadMesh& out) {
    const auto base = static_cast<std::uint32_t>(out.vertices.size());
    for (unsigned i = 0; i < mesh.mNumVertices; ++i) {
        const aiVector3D p = placement * mesh.mVertices[i];
        out.vertices.emplace_back(decimal(p.x), decimal(p.y), decimal(p.z));
    }
    const std::uint32_t material = out.materialIndex(materialName(scene, mesh, node));
    for (unsigned f = 0; f < mesh.mNumFaces; ++f) {
        const aiFace& face = mesh.mFaces[f];
        // A lone vertex is a named point; a two-vertex line is no surface.
        if (face.mNumIndices == 1) out.points.push_back({out.vertices[base + face.mIndices[0]], node.mName.C_Str()});
        if (face.mNumIndices < 3) continue;
        CadPolygon& polygon = out.polygons.emplace_back();
        polygon.material = material;
        for (unsigned k = 0; k < face.mNumIndices; ++k) polygon.corners.push_back(base + face.mIndices[k]);
    }
}

void addNode(const aiScene& scene, const aiNode& node, const aiMatrix4x4& parent, CadMesh& out) {
    const aiMatrix4x4 placement = parent * node.mTransformation;
    for (unsigned i = 0; i < node.mNumMeshes; ++i) addMesh(scene, *scene.mMeshes[node.mMeshes[i]], node, placement, out);
    for (unsigned i = 0; i < node.mNumChildren; ++i) addNode(scene, *node.mChildren[i], placement, out);
}
}  // namespace

CadMesh readCad(const std::string& bytes, const std::string& fileName) {
    const std::string extension = lowerExtension(fileName);
    if (bytes.empty()) throw CadError(fileName + ": the file is empty");
    Assimp::Importer importer;
    if (extension.empty() || !importer.IsExtensionSupported(extension))
        throw CadError(fileName + ": '" + extension + "' is not a format the importer reads");
    checkText(bytes, extension, fileName);
    // No post-processing: polygons stay whole and vertices unjoined, so the
    // importer's own repair can count what it drops and merges.
    const aiScene* scene = importer.ReadFileFromMemory(bytes.data(), bytes.size(), 0, extension.c_str() + 1);
    if (!scene || !scene->mRootNode) throw CadError(fileName + ": " + importer.GetErrorString());
    CadMesh mesh;
    // Assimp turns a DXF scene to y up in its root node; a drawing's own axes are z up, and its points (read
    // apart, readDxfExtras) are in them: the turn is undone, so that faces and points stay together.
    aiMatrix4x4 start;
    if (extension == ".dxf") start = aiMatrix4x4(scene->mRootNode->mTransformation).Inverse();
    addNode(*scene, *scene->mRootNode, start, mesh);
    if (extension == ".dxf") readDxfExtras(bytes, mesh);
    if (mesh.polygons.empty()) throw CadError(fileName + ": the file holds no faces");
    checkFinite(mesh, fileName);
    return mesh;
}
