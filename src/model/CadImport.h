#pragma once
#include <string>

/// How a CAD file becomes a model.
struct ImportOptions {
    /// Metres per drawing unit; 0 takes the unit the file declares, else metres.
    double scale = 0;
    /// Whether the file's up axis is +y (turned into the model's +z) rather than +z.
    bool yUp = false;
    /// The mapping file's text and name ("" for none), see MaterialMapping.
    std::string mappingText, mappingName;
    /// The text of the material library the mapping's numbers refer to ("" for none).
    std::string libraryText;
};

/// The files an import writes, and what it tells the user.
struct ImportResult {
    std::string model;
    std::string materials;
    std::string report;
};

/// Turns the bytes of the CAD file fileName into a model file and a material file.
///
/// Throws CadError, naming the file and the problem, for a file that cannot be read or holds no faces.
ImportResult importCad(const std::string& bytes, const std::string& fileName, const ImportOptions& options);
