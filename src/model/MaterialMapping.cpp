#include "model/MaterialMapping.h"

#include <algorithm>
#include <fnmatch.h>
#include <sstream>

#include "model/CadMesh.h"

namespace {
std::string trimmed(const std::string& text) {
    const std::size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) return "";
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

bool isNumber(const std::string& text) {
    return !text.empty() && text.size() <= 4 && std::all_of(text.begin(), text.end(), ::isdigit);
}

// Whether the text before the first comma is exactly ten numbers.
bool hasTenNumbers(const std::string& value) {
    std::istringstream group(value.substr(0, value.find(',')));
    double number = 0;
    int count = 0;
    while (group >> number) ++count;
    return count == 10 && group.eof();
}

// A material file's name ends at its first comma: a comma in a CAD name would cut it there.
std::string cleanName(std::string name) {
    std::replace(name.begin(), name.end(), ',', ';');
    return name.substr(0, 200);
}

void writeRow(std::ostream& out, const MaterialLibrary::Row& row) {
    for (std::size_t k = 0; k < row.size(); ++k) out << (k ? " " : "") << row[k];
}
}  // namespace

MaterialMapping::MaterialMapping(const std::string& text, const std::string& fileName) : fileName_(fileName) {
    std::istringstream in(text);
    std::string line;
    for (unsigned number = 1; std::getline(in, line); ++number) {
        const std::string content = trimmed(line);
        if (!content.empty() && content[0] != '#') rules_.push_back(parseRule(content, number));
    }
}

MaterialMapping::Rule MaterialMapping::parseRule(const std::string& line, unsigned number) const {
    Rule rule;
    rule.line = number;
    const std::size_t equals = line.find('=');
    const std::string value = equals == std::string::npos ? "" : trimmed(line.substr(equals + 1));
    rule.pattern = trimmed(line.substr(0, equals));
    if (isNumber(value) && std::stoi(value) < static_cast<int>(MaterialLibrary::materialCount)) {
        rule.number = std::stoi(value);
    } else if (hasTenNumbers(value)) {
        // The material file's own reader takes the row, with its defaults for the groups left out.
        std::istringstream row("1 x, " + value);
        const MaterialLibrary parsed(row);
        rule.absorption = parsed.absorptionOf(1);
        rule.loss = parsed.transmissionLossOf(1);
        rule.scattering = parsed.scatteringOf(1);
    }
    if (rule.pattern.empty() || (rule.number < 0 && !hasTenNumbers(value)))
        throw CadError(where(rule) + "expected 'name = material number (0 to 1023)' or 'name = ten absorption coefficients'");
    return rule;
}

std::string MaterialMapping::where(const Rule& rule) const {
    return fileName_ + " line " + std::to_string(rule.line) + ": ";
}

void MaterialMapping::setLibrary(const std::string& text) {
    std::istringstream in(text);
    library_ = std::make_unique<MaterialLibrary>(in);
}

const MaterialMapping::Rule* MaterialMapping::find(const std::string& name) const {
    for (const Rule& rule : rules_)
        if (fnmatch(rule.pattern.c_str(), name.c_str(), FNM_CASEFOLD) == 0) return &rule;
    return nullptr;
}

std::vector<std::string> MaterialMapping::unusedRules() const {
    std::vector<std::string> unused;
    for (std::size_t r = 0; r < rules_.size(); ++r)
        if (!ruleUsed_[r]) unused.push_back(fileName_ + " line " + std::to_string(rules_[r].line) + " (" + rules_[r].pattern + ")");
    return unused;
}

std::vector<std::uint16_t> MaterialMapping::assign(const std::vector<std::string>& names) {
    entries_.clear();
    ruleUsed_.assign(rules_.size(), false);
    std::vector<std::uint16_t> numbers(names.size());
    std::vector<const Rule*> rules(names.size());
    // Library numbers first, so that the free numbers go round them.
    for (std::size_t i = 0; i < names.size(); ++i) {
        rules[i] = find(names[i]);
        const Rule* rule = rules[i];
        if (rule) ruleUsed_[static_cast<std::size_t>(rule - rules_.data())] = true;
        if (!rule || rule->number < 0) continue;
        const auto m = static_cast<unsigned>(rule->number);
        if (!library_ || !library_->isDefined(m))
            throw CadError(where(*rule) + "material " + std::to_string(m) + " is not in the material library");
        Entry& entry = entries_[m];
        if (!entry.names.empty()) entry.names += '/';
        entry.names += cleanName(names[i]);
        entry.absorption = library_->absorptionOf(m);
        entry.loss = library_->transmissionLossOf(m);
        entry.scattering = library_->scatteringOf(m);
        numbers[i] = static_cast<std::uint16_t>(m);
    }
    unsigned next = 1;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (rules[i] && rules[i]->number >= 0) continue;
        while (entries_.contains(next)) ++next;
        if (next >= MaterialLibrary::materialCount) throw CadError("more than 1023 materials");
        Entry entry{cleanName(names[i]), {}, {}, {}};
        entry.absorption.fill(neutralAbsorption);
        entry.loss.fill(MaterialLibrary::noTransmission);
        entry.scattering.fill(neutralScattering);
        if (rules[i]) entry = {entry.names, rules[i]->absorption, rules[i]->loss, rules[i]->scattering};
        entries_[next] = entry;
        numbers[i] = static_cast<std::uint16_t>(next);
    }
    return numbers;
}

// The header lines start with a letter and hold no comma: the material
// reader takes them as lines of material 0 that define nothing.
std::string MaterialMapping::materialFile(const std::string& importedName) const {
    std::ostringstream out;
    out << "Materials of " << cleanName(importedName)
        << " as imported: number and name then ten absorption coefficients (31.5 Hz to 16 kHz)\n"
           "then ten transmission losses in dB (999.9: no transmission) then ten scattering coefficients.\n"
           "Materials no mapping gave data for have neutral values (absorption 0.1 and scattering 0.1 in every band\n"
           "and no transmission): replace them with the data of the real surfaces.\n";
    for (const auto& [number, entry] : entries_) {
        out << number << ' ' << entry.names << ", ";
        writeRow(out, entry.absorption);
        out << ", ";
        writeRow(out, entry.loss);
        out << ", ";
        writeRow(out, entry.scattering);
        out << '\n';
    }
    return out.str();
}
