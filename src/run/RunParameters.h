#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/TFilename.h"
#include "run/ExitStatus.h"

/// The program title: heads the usage message, captions the cancel question, names the program in results.
inline constexpr const char* programTitle = "Tolveno 3.0";

/// Number of octave bands of every per-band array.
inline constexpr int bandCount = 10;
/// Centre frequencies of the ten octave bands, in Hz.
inline constexpr double bandFrequencies[bandCount] = {31.5, 63, 125, 250, 500, 1000, 2000, 4000, 8000, 16000};

/// The parameters of a run: initial values, then the settings file, then the command-line flags.
///
/// Fields set by a settings key bear the key's name. The record is filled
/// once by parse and then only read (the thread count is stored back by the
/// tracing manager).
struct RunParameters {
    std::string author;
    TFilename settingsFile{260};
    TFilename modelFile{260};
    std::uint32_t Level = 0;
    std::int32_t History = 0;
    std::int32_t HitLevel = 0;
    std::int32_t CloneLevel = 0;
    double Time = 0;
    /// The longest Time a run accepts, in seconds: ten times the reverberation of the most reverberant
    /// rooms, while a pyramid's legs in time mode grow with Time (about c Time / mean free path).
    static constexpr double maxTime = 100;
    /// The highest History a run accepts: a pyramid in a closed room would otherwise reflect for ever.
    static constexpr std::int32_t maxHistory = 100000;
    double Precision = 0;
    double Humidity = 0;
    double Temperature = 20;
    double SoundSpeed = 340;
    double CrackTolerance = 0.001;
    double Alfa = 0;
    double Beta = -1;
    std::uint16_t Diffraction = 0;
    std::int32_t RandomizeAfter = 0;
    std::int32_t DiffusionMode = 0;
    double airAbsorption[bandCount] = {};
    bool SaveEscaped = false;
    bool balloon = false;
    bool SaveAll = false;
    bool AlwaysObstructing = false;
    bool Diffusion = false;
    bool SaveDiffuseHits = false;
    /// The late decay corrected for what the receivers miss once pyramids grow wider than the room
    /// (tracing/LateCorrection.h); on unless a settings file says otherwise.
    bool LateCorrection = true;
    /// Whether a settings file set LateCorrection: an open model that keeps it from working is then warned of.
    bool lateCorrectionAsked = false;
    /// Whether the run corrects the late decay: asked for, and the run traces by time (History < 0); a run
    /// limited to reflection orders keeps exactly the orders it asked for.
    bool correctsLateDecay() const { return LateCorrection && History < 0; }
    /// Write the parameter table (results file + ".csv") and the report (+ ".html") beside every results file.
    bool Report = true;
    std::uint16_t OpenMP = 0;
    /// After a parse that failed: why, as the program's exit status (a usage error or a model it cannot read).
    ExitStatus parseFailure = ExitStatus::ok;

    /// Splits the command line, locates the model, reads the settings and applies the flags; true when the run may go on.
    bool parse(std::string_view commandLine);
    /// The same for arguments already split (entry 0 is the first argument, not the program).
    bool parse(const std::vector<std::string>& arguments);
    /// Forms the model name from an argument and stores it; when the file exists, searches the settings file.
    /// True when the file exists and is not a folder.
    bool acceptModelFile(std::string_view name);
    /// Reads one settings file ("" means "tolveno.ini"); true when it was read.
    bool readSettings(std::string_view name = "");
    /// Sets every settings key from the paragraph selected in config (a missing key takes its default).
    void applySettings(const class TConfig& config);
    /// Sets the temperature and the sound speed that follows from it.
    void setTemperature(double celsius);
    /// Derives the air absorption of every band from the humidity.
    void computeAirAbsorption();

private:
    void searchSettings();
    bool applyFlag(const std::string& argument);
    void reportMissingModel(std::string_view name) const;
};

/// The one record of run parameters of the process.
extern RunParameters parameters;

/// Splits a command line into arguments: white space separates them, a leading
/// double or single quote runs to the same quote. At most 63 arguments are kept.
std::vector<std::string> splitCommandLine(std::string_view commandLine);

/// The usage message: the title line and one line per flag.
std::string usageText();
