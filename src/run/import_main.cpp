// tolveno-import: turns a CAD file into a model file and a material file beside it.
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

#include "model/CadImport.h"
#include "model/CadMesh.h"
#include "results/SafeFile.h"
#include "run/ExitStatus.h"

namespace {
const char* const usage =
    "Usage: tolveno-import [--scale=S] [--up=z|y] [--map=FILE] [--library=FILE] hall.obj\n"
    "Writes hall.ray and hall.material beside the CAD file (OBJ, DXF, STL and the other formats Assimp reads).\n"
    "  --scale=S       metres per drawing unit (default: the unit the file declares, else metres)\n"
    "  --up=y          the file's up axis is +y (default z)\n"
    "  --map=FILE      material choices: 'name pattern = material number' or '= ten absorption coefficients'\n"
    "  --library=FILE  the material file whose numbers the mapping names\n";

int fail(ExitStatus status, const std::string& message) {
    std::cerr << "Error: " << message << "\n";
    if (status == ExitStatus::usage) std::cerr << usage;
    return static_cast<int>(status);
}

// The whole file; throws CadError naming it when it is missing, a folder or unreadable.
std::string readWhole(const std::string& name) {
    std::error_code error;
    if (std::filesystem::is_directory(name, error)) throw CadError(name + ": is a folder, not a file");
    std::ifstream in(name, std::ios::binary);
    if (!in) throw CadError(name + ": cannot be read (" + std::strerror(errno) + ")");
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// Fills options and the input's name from the arguments; false on a word it does not know.
bool parseArguments(int argc, char** argv, ImportOptions& options, std::string& input, std::string& library) {
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i];
        if (word.starts_with("--scale=")) {
            char* end = nullptr;
            options.scale = std::strtod(word.c_str() + 8, &end);
            if (*end || !(options.scale > 0)) return false;
        } else if (word == "--up=y" || word == "--up=z") {
            options.yUp = word == "--up=y";
        } else if (word.starts_with("--map=")) {
            options.mappingName = word.substr(6);
        } else if (word.starts_with("--library=")) {
            library = word.substr(10);
        } else if (word.starts_with("-") || !input.empty()) {
            return false;
        } else {
            input = word;
        }
    }
    return !input.empty();
}
}  // namespace

int main(int argc, char** argv) {
    ImportOptions options;
    std::string input, library;
    if (!parseArguments(argc, argv, options, input, library))
        return fail(ExitStatus::usage, "name one CAD file and only the options below");
    ImportResult result;
    try {
        if (!options.mappingName.empty()) options.mappingText = readWhole(options.mappingName);
        if (!library.empty()) options.libraryText = readWhole(library);
        result = importCad(readWhole(input), input, options);
    } catch (const CadError& error) {
        return fail(ExitStatus::modelUnreadable, error.what());
    }
    std::filesystem::path model = input, materials = input;
    model.replace_extension(".ray");
    materials.replace_extension(".material");
    // Both files are checked before either is written, so that a failure leaves the earlier pair together.
    for (const std::filesystem::path& name : {model, materials}) {
        std::string reason;
        if (!canWriteFile(name.string(), false, reason))
            return fail(ExitStatus::outputNotWritable, "Can't write " + name.string() + ": " + reason);
    }
    // The earlier files are kept as .bak: a re-import must not lose the material data a user typed in.
    const bool written =
        writeFileSafely(model.string(), [&](std::ostream& out) { out << result.model; }, model.string() + ".bak") &&
        writeFileSafely(materials.string(), [&](std::ostream& out) { out << result.materials; },
                        materials.string() + ".bak");
    if (!written) return fail(ExitStatus::outputNotWritable, "Can't write " + model.string());
    std::cout << result.report << "Wrote " << model.string() << " and " << materials.string() << "\n";
    return 0;
}
