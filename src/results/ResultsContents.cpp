#include "results/ResultsContents.h"

#include <sstream>

#include "foundation/TString.h"
#include "results/MicrophoneSection.h"
#include "ui/Messages.h"

namespace {

std::string trimmed(const std::string& text) {
    TString s(text);
    s.trim();
    return s.str();
}

// "[Name]" gives Name; any other line gives "".
std::string heading(const std::string& line) {
    if (line.empty() || line.front() != '[') return "";
    const std::size_t close = line.find(']');
    return close == std::string::npos ? "" : line.substr(1, close - 1);
}

void addSourceKey(ResultsSource& source, const std::string& key, const std::string& value) {
    std::istringstream in(value);
    if (key == "Name") source.name = value;
    if (key == "Power")
        for (double& level : source.powerDb) in >> level;
    if (key == "Position") in >> source.position.x >> source.position.y >> source.position.z;
}

// The sections before the receivers': [Model] (several sources each have a [Source], which the paragraph search
// of TConfig would only find the first of), [Source] and [Parameters]. True when [Parameters] was seen.
bool readHead(std::istream& in, ResultsContents& contents) {
    std::string line, section;
    bool hasParameters = false;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (const std::string name = heading(line); !name.empty()) {
            if (name.rfind("Microphone_", 0) == 0) break;
            section = name;
            if (section == "Source") contents.sources.emplace_back();
            hasParameters = hasParameters || section == "Parameters";
            continue;
        }
        const std::size_t equals = line.find('=');
        if (equals == std::string::npos) continue;
        const std::string key = trimmed(line.substr(0, equals)), value = trimmed(line.substr(equals + 1));
        if (section == "Model" && key == "Name") contents.modelName = value;
        if (section == "Source") addSourceKey(contents.sources.back(), key, value);
        if (section == "Parameters") contents.settings.emplace_back(key, value);
    }
    return hasParameters;
}

// The next line that is not empty, when it heads a receiver's section: the n of [Microphone_n]; else 0.
int nextReceiver(std::istream& in) {
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        const std::string name = heading(line);
        return name.rfind("Microphone_", 0) == 0 ? std::atoi(name.c_str() + 11) : 0;
    }
    return 0;
}

}  // namespace

bool readResultsContents(TConfig& file, ResultsContents& contents) {
    if (!readHead(file, contents)) return showError("Can't read %s", file.fileName().c_str());
    file.clear();
    file.selectParagraph("Parameters");
    RunParameters written;
    written.applySettings(file);
    written.computeAirAbsorption();
    contents.precision = written.Precision;
    std::copy(std::begin(written.airAbsorption), std::end(written.airAbsorption), contents.airAbsorption.begin());

    // A response takes its class count from the run parameters in force: those of the file, for the reading only.
    const double time = parameters.Time, precision = parameters.Precision;
    parameters.Time = written.Time;
    parameters.Precision = written.Precision;
    const std::array<double, bandCount> unit = {1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
    if (file.findParagraph("Microphone_1")) {
        for (int n = 1; n > 0; n = nextReceiver(file)) {
            auto microphone = std::make_unique<Microphone>();
            if (!readFirst(*microphone, file, unit, n, 0)) break;
            contents.receivers.push_back(std::move(microphone));
            contents.receiverNumbers.push_back(n);
        }
    }
    parameters.Time = time;
    parameters.Precision = precision;
    if (contents.receivers.empty()) return showError("Can't read %s", file.fileName().c_str());
    return true;
}
