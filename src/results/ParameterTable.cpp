#include "results/ParameterTable.h"

#include <cmath>
#include <ostream>

#include "foundation/NumberWriter.h"

namespace {

// The strength's reference of every band: the sources' free-field energies at 10 m add up, as their arrivals do.
std::array<double, bandCount> strengthReferences(const ResultsContents& contents) {
    std::array<double, bandCount> references{};
    for (const ResultsSource& source : contents.sources)
        for (int b = 0; b < bandCount; ++b)
            references[b] += freeFieldEnergyAt10m(source.powerDb[b], contents.airAbsorption[b]);
    return references;
}

// The lateral ratios as the results file holds them (Microphone's lateral groups 1 to 3).
std::vector<ParameterValue> lateralValues(const Microphone& microphone, int band) {
    const auto& lateral = microphone.lateral;
    return {{"LF", "1", lateral[3 * bandCount + band], ""},
            {"LFC", "1", lateral[1 * bandCount + band], ""},
            {"LE", "1", lateral[2 * bandCount + band], ""}};
}

}  // namespace

ParameterTable::ParameterTable(const ResultsContents& contents) {
    const std::array<double, bandCount> references = strengthReferences(contents);
    for (std::size_t i = 0; i < contents.receivers.size(); ++i) {
        const Microphone& microphone = *contents.receivers[i];
        const int receiver = contents.receiverNumbers[i];
        const std::vector<EnergyDecay> decays = receiverDecays(microphone);
        for (int b = 0; b < bandCount; ++b) {
            for (ParameterValue& value : bandParameters(decays[b], references[b]))
                rows_.push_back({receiver, b, std::move(value)});
            for (ParameterValue& value : lateralValues(microphone, b)) rows_.push_back({receiver, b, std::move(value)});
        }
        rows_.push_back({receiver, -1, speechTransmissionIndex(decays)});
    }
    for (std::size_t i = 0; i < rows_.size(); ++i)
        index_.emplace(std::tuple(rows_[i].receiver, rows_[i].band, rows_[i].value.name), i);
}

const ParameterRow* ParameterTable::find(int receiver, int band, const std::string& name) const {
    const auto found = index_.find(std::tuple(receiver, band, name));
    return found == index_.end() ? nullptr : &rows_[found->second];
}

std::string bandName(int band) {
    if (band < 0 || band >= bandCount) return "all";
    return valueText(bandFrequencies[band]);
}

std::string valueText(const std::optional<double>& value) {
    if (!value) return "";
    if (std::isinf(*value)) return *value > 0 ? "inf" : "-inf";
    char text[writeGLength];
    return std::string(text, writeG(*value, text));
}

void ParameterTable::writeCsv(std::ostream& out) const {
    out << "receiver,band,parameter,value,unit\n";
    for (const ParameterRow& row : rows_)
        out << row.receiver << ',' << bandName(row.band) << ',' << row.value.name << ',' << valueText(row.value.value)
            << ',' << row.value.unit << '\n';
}
