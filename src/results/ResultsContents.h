#pragma once
#include <array>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "acoustics/Microphone.h"
#include "foundation/TConfig.h"
#include "geometry/Vector.h"
#include "run/RunParameters.h"

/// A source as a results file describes it.
struct ResultsSource {
    std::string name;
    /// Sound power level Lw of each band, dB.
    std::array<double, bandCount> powerDb{};
    Coord position;
};

/// What a results file (of a run or a job's sum) holds, read back for the parameters and the report.
struct ResultsContents {
    /// The model file named in [Model]; empty for a job's sum, which has no such section.
    std::string modelName;
    /// The key and value lines of [Parameters], as written.
    std::vector<std::pair<std::string, std::string>> settings;
    /// One entry per [Source] section (none in a job's sum).
    std::vector<ResultsSource> sources;
    /// Width of a time class in seconds.
    double precision = 0;
    /// Air absorption of each band per metre, from the file's humidity as the run computes it.
    std::array<double, bandCount> airAbsorption{};
    /// The receivers in file order; receiverNumbers holds the n of each one's [Microphone_n].
    std::vector<std::unique_ptr<Microphone>> receivers;
    std::vector<int> receiverNumbers;
};

/// Reads an open results file into contents; false after "Can't read %s" when it has no [Parameters] section or
/// no [Microphone_1] section.
bool readResultsContents(TConfig& file, ResultsContents& contents);
