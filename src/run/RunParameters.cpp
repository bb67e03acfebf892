#include "run/RunParameters.h"

#include <cctype>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <filesystem>

#include "foundation/InputFiles.h"
#include "foundation/TConfig.h"
#include "ui/Messages.h"

RunParameters parameters;

namespace {
constexpr std::size_t maxArguments = 63;

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }
bool isFlag(const std::string& argument) {
    return !argument.empty() && (argument.front() == '/' || argument.front() == '-');
}

// A decimal floating-point prefix of text, 0 when there is none. Infinities
// and not-a-numbers are no usable parameter values and read as 0 too, so
// that no range rule downstream is ever handed one.
double realPrefix(const std::string& text) {
    const double value = std::strtod(text.c_str(), nullptr);
    return std::isfinite(value) ? value : 0.0;
}

// A decimal integer prefix of text, 0 when there is none; huge values saturate.
long long integerPrefix(const std::string& text) { return std::strtoll(text.c_str(), nullptr, 10); }

// Truncation toward zero to 64 bits; values beyond the range saturate
// instead of being undefined.
long long truncated(double value) {
    if (value >= 9.2e18) return LLONG_MAX;
    if (value <= -9.2e18) return LLONG_MIN;
    return static_cast<long long>(value);
}

std::int32_t saturated32(long long value) {
    if (value > INT32_MAX) return INT32_MAX;
    if (value < INT32_MIN) return INT32_MIN;
    return static_cast<std::int32_t>(value);
}

std::uint32_t low32(long long value) { return static_cast<std::uint32_t>(static_cast<unsigned long long>(value)); }
std::uint16_t low16(long long value) { return static_cast<std::uint16_t>(static_cast<unsigned long long>(value)); }

double atLeast5(double humidity) { return humidity < 5 ? 5 : humidity; }

double crackToleranceInRange(double value) {
    if (value <= 0) return 0.001;
    return value > 0.1 ? 0.1 : value;
}

struct FlagHelp {
    char letter;
    char kind;
    const char* help;
};

const FlagHelp flagHelp[] = {
    {'A', 'b', "save the results in a separate file for each source"},
    {'B', 'b', "disable/enable generation of speaker Balloon file"},
    {'C', 'n', "temperature in Celsius grades (default=20)"},
    {'D', 'n', "calculate Diffraction for 0, 1 or 2 edges"},
    {'E', 'b', "disable/enable logging of Escaped rays"},
    {'H', 'n', "maximun rays History (-1 = time)"},
    {'K', 'n', "Ray cloning level (-1 = disabled)"},
    {'I', 'b', "disable/enable logging of diffuse hits"},
    {'L', 'n', "Level of balloon subdivision"},
    {'M', 'n', "Diffusion mode"},
    {'N', 'b', "disable/enable diffusion"},
    {'O', 'n', "number of OpenMP parallel threads"},
    {'P', 'n', "Precision of time classes"},
    {'R', 'n', "Randomize after nth specular reflection"},
    {'S', 'n', "Save hit of level <= n"},
    {'T', 'n', "follow rays for a Time of n seconds"},
    {'U', 'n', "hUmidity (1-100)"},
    {'W', 'b', "alWays obstructing faces"},
};

void showUsage() { showError("%s", usageText().c_str()); }
}  // namespace

std::string usageText() {
    std::string text = std::string(programTitle) + " parameters: filename[.ray] [flags]\n";
    for (const FlagHelp& flag : flagHelp) {
        text += flag.letter;
        text += flag.kind;
        text += '\t';
        text += flag.help;
        text += '\n';
    }
    return text;
}

std::vector<std::string> splitCommandLine(std::string_view commandLine) {
    std::vector<std::string> arguments;
    std::size_t i = 0;
    while (i < commandLine.size() && arguments.size() < maxArguments) {
        if (isBlank(commandLine[i])) {
            ++i;
            continue;
        }
        const char quote = commandLine[i];
        if (quote == '"' || quote == '\'') {
            const std::size_t end = commandLine.find(quote, i + 1);
            const std::size_t stop = end == std::string_view::npos ? commandLine.size() : end;
            arguments.emplace_back(commandLine.substr(i + 1, stop - i - 1));
            i = stop + 1;
        } else {
            std::size_t end = i;
            while (end < commandLine.size() && !isBlank(commandLine[end])) ++end;
            arguments.emplace_back(commandLine.substr(i, end - i));
            i = end;
        }
    }
    return arguments;
}

void RunParameters::setTemperature(double celsius) {
    Temperature = celsius;
    // The speed of sound in air as an ideal gas, c = sqrt(γ R T / M) with γ = 1.4,
    // R = 8.314 J/(mol K) and M = 0.02896 kg/mol: 20.05 sqrt(T) m/s, T in kelvin.
    // Below absolute zero the formula has no meaning; one kelvin is taken as
    // the floor so that the speed stays positive and no arrival time becomes
    // infinite or not-a-number.
    SoundSpeed = 20.05 * std::sqrt(std::max(celsius + 273.15, 1.0));
}

// A humidity below 5 % never enters the formula, whichever layer set it.
// Without a settings file and without the U flag the humidity keeps its
// initial 0, which would divide by zero; it is raised to 5 % like any other
// low value, and shown as such, so the status box and the results file
// tell the value the run computed with.
//
// Over d metres the energy falls by the factor 10^(-1.7e-9 f² d / h), h the
// relative humidity in per cent (1.7e-8 f² / h dB/m): an empirical law that
// grows with the square of the frequency, as classical absorption does, and
// falls as the air gets wetter; simpler than ISO 9613-1, which adds the
// molecular relaxation of oxygen and nitrogen. Stored as the exponent per metre.
void RunParameters::computeAirAbsorption() {
    Humidity = atLeast5(Humidity);
    for (int k = 0; k < bandCount; ++k)
        airAbsorption[k] = std::log(10.0) * 1.7e-9 * bandFrequencies[k] * bandFrequencies[k] / Humidity;
}

bool RunParameters::readSettings(std::string_view name) {
    TFilename file(name.empty() ? std::string_view("tolveno.ini") : name);
    if (!file.hasExtension() || file.extension().empty()) file.setExtension("ini");
    const std::string asTyped = file.str();
    file.toLower();
    // As for the model file: on a file system that respects case, settings
    // whose lower-case name does not exist are still found as typed.
    if (!InputFiles::isFile(file.str()) && InputFiles::isFile(asTyped)) file.assign(asTyped);
    if (InputFiles::size(file.str()) <= 0) return false;
    settingsFile.assign(file.str());

    TConfig config(file.str());
    config.selectParagraph("Parameters");
    applySettings(config);
    return true;
}

void RunParameters::applySettings(const TConfig& config) {
    auto text = [&config](const char* key, const char* fallback) -> std::string {
        const int i = config.find(key);
        return i < 0 ? std::string(fallback) : config.value(i);
    };
    auto real = [&text](const char* key, const char* fallback) { return realPrefix(text(key, fallback)); };
    auto integer = [&real](const char* key, const char* fallback) { return truncated(real(key, fallback)); };
    auto boolean = [&text](const char* key, const char* fallback) { return isTrueText(text(key, fallback)); };

    Level = low32(integer("Level", "0"));
    Time = real("Time", "1.0");
    Precision = real("Precision", "0.001");
    History = saturated32(integer("History", "-1"));
    Humidity = atLeast5(real("Humidity", "50.0"));
    setTemperature(real("Temperature", "20.0"));
    // Alfa and Beta are taken once: the first settings file that sets them wins.
    if (Beta < 0) {
        Alfa = real("Alfa", "2.0");
        Beta = real("Beta", "0.1");
    }
    SaveAll = boolean("SaveAll", "1");
    Diffraction = low16(integer("Diffraction", "1"));
    HitLevel = saturated32(integer("HitLevel", "-1"));
    RandomizeAfter = saturated32(integer("RandomizeAfter", "-1"));
    SaveEscaped = boolean("SaveEscaped", "0");
    SaveDiffuseHits = boolean("SaveDiffuseHits", "0");
    Diffusion = boolean("Diffusion", "0");
    DiffusionMode = saturated32(integer("DiffusionMode", "7"));
    CloneLevel = saturated32(integer("CloneLevel", "-1"));
    CrackTolerance = crackToleranceInRange(real("CrackTolerance", "0.001"));
    OpenMP = low16(integer("OpenMP", "1"));
    AlwaysObstructing = boolean("AlwaysObstructing", "0");
    // Unlike the other keys, a missing Report or LateCorrection keeps its value: results files, whose
    // [Parameters] job mode reads after the settings file, do not hold them (a results file says
    // LateCorrection only when on) and must not switch off what the settings asked for.
    if (const int i = config.find("LateCorrection"); i >= 0) {
        LateCorrection = isTrueText(config.value(i));
        lateCorrectionAsked = true;
    }
    if (const int i = config.find("Report"); i >= 0) Report = isTrueText(config.value(i));
    author = "Quarlen";
}

// The settings beside the model: its own .ini, else tolveno.ini in its
// folder. A candidate that is missing, a folder or empty passes the turn to
// the next one; the current directory's tolveno.ini comes last (in parse).
void RunParameters::searchSettings() {
    TFilename own(modelFile.str());
    own.setExtension("ini");
    if (readSettings(own.str())) return;
    readSettings(modelFile.directoryPart() + "tolveno.ini");
}

bool RunParameters::acceptModelFile(std::string_view name) {
    TFilename file(name);
    if (!file.hasExtension() || file.extension().empty()) file.setExtension("ray");
    const std::string asTyped = file.str();
    file.toLower();
    // Names are lower case as on the system the program comes from, whose
    // file names ignore case. On a file system that respects case, a model
    // whose lower-case name does not exist is still found as typed.
    if (!InputFiles::isFile(file.str()) && InputFiles::isFile(asTyped)) file.assign(asTyped);
    modelFile.assign(file.str());
    if (!InputFiles::isFile(modelFile.str())) return false;
    if (settingsFile.empty()) searchSettings();
    return true;
}

void RunParameters::reportMissingModel(std::string_view name) const {
    TFilename file(name);
    if (!file.hasExtension() || file.extension().empty()) file.setExtension("ray");
    const std::string asTyped = file.str();
    file.toLower();
    std::error_code error;
    if (std::filesystem::is_directory(asTyped, error))
        showError("The model file %s is a folder", asTyped.c_str());
    else if (file.str() == asTyped)
        showError("Can't find the model file %s", asTyped.c_str());
    else
        showError("Can't find the model file %s, nor %s", asTyped.c_str(), file.str().c_str());
}

bool RunParameters::applyFlag(const std::string& argument) {
    const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(argument.size() > 1 ? argument[1] : 0)));
    const std::string value = argument.size() > 2 ? argument.substr(2) : std::string();
    switch (letter) {
        case 'A': SaveAll = isTrueText(value); break;
        case 'B': balloon = isTrueText(value); break;
        case 'C': setTemperature(realPrefix(value)); break;
        case 'D': Diffraction = low16(integerPrefix(value)); break;
        case 'E': SaveEscaped = isTrueText(value); break;
        case 'F': break;
        case 'H': History = saturated32(integerPrefix(value)); break;
        case 'I': SaveDiffuseHits = isTrueText(value); break;
        case 'K': CloneLevel = saturated32(integerPrefix(value)); break;
        case 'L': Level = low32(integerPrefix(value)); break;
        case 'M': DiffusionMode = saturated32(integerPrefix(value)); break;
        case 'N': Diffusion = isTrueText(value); break;
        case 'O': OpenMP = low16(integerPrefix(value)); break;
        case 'P': Precision = realPrefix(value); break;
        case 'R': RandomizeAfter = saturated32(integerPrefix(value)); break;
        case 'S': HitLevel = saturated32(integerPrefix(value)); break;
        case 'T': Time = realPrefix(value); break;
        case 'U': Humidity = atLeast5(realPrefix(value)); break;
        case 'W': AlwaysObstructing = isTrueText(value); break;
        default:
            showError("Invalid parameter: %s", argument.substr(1).c_str());
            showUsage();
            parseFailure = ExitStatus::usage;
            return false;
    }
    return true;
}

bool RunParameters::parse(std::string_view commandLine) { return parse(splitCommandLine(commandLine)); }

bool RunParameters::parse(const std::vector<std::string>& arguments) {
    const std::size_t count = std::min(arguments.size(), maxArguments);
    const std::string* named = nullptr;
    for (std::size_t i = count; i-- > 0;) {
        if (isFlag(arguments[i])) continue;
        named = &arguments[i];
        if (acceptModelFile(arguments[i])) break;
    }
    if (!InputFiles::isFile(modelFile.str())) {
        // A model that was named but not found says which files were looked for.
        if (named) reportMissingModel(*named);
        showUsage();
        parseFailure = named ? ExitStatus::modelUnreadable : ExitStatus::usage;
        return false;
    }
    if (settingsFile.empty()) readSettings();
    for (std::size_t i = 0; i < count; ++i)
        if (isFlag(arguments[i]) && !applyFlag(arguments[i])) return false;
    computeAirAbsorption();
    return true;
}
