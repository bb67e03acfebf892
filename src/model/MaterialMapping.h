#pragma once
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "model/MaterialLibrary.h"

/// The material numbers of an import and the material file that lists them.
///
/// A mapping file keeps a user's choices across re-imports. Each line is
/// "pattern = number" (a material of the library given with setLibrary) or
/// "pattern = a1 ... a10 [, tl1 ... tl10 [, s1 ... s10]]" (the material file's
/// own row syntax); the pattern matches CAD material or layer names with * and
/// ? in any case, and the first matching line wins. Blank lines and lines
/// starting with # are skipped. Names no line matches get the next free
/// number from 1 and neutral defaults for the user to fill in.
class MaterialMapping {
public:
    /// Absorption and scattering of a material no rule gives data for; it lets no sound through.
    static constexpr float neutralAbsorption = 0.1f, neutralScattering = 0.1f;

    /// A mapping without rules.
    MaterialMapping() = default;
    /// Reads the lines of a mapping file; throws CadError naming fileName and the line of a malformed rule.
    MaterialMapping(const std::string& text, const std::string& fileName);

    /// The material library whose numbers the rules name (its file's text).
    void setLibrary(const std::string& text);
    /// The material number of each name, in order; throws CadError when a rule names a number the library lacks.
    std::vector<std::uint16_t> assign(const std::vector<std::string>& names);
    /// The rules no name matched in the last assign, as "file line N (pattern)".
    std::vector<std::string> unusedRules() const;
    /// The material file: a header naming the imported file, then one line per number assign gave.
    std::string materialFile(const std::string& importedName) const;

private:
    struct Rule {
        std::string pattern;
        int number = -1;
        MaterialLibrary::Row absorption{}, loss{}, scattering{};
        unsigned line = 0;
    };
    struct Entry {
        std::string names;
        MaterialLibrary::Row absorption{}, loss{}, scattering{};
    };

    Rule parseRule(const std::string& line, unsigned number) const;
    const Rule* find(const std::string& name) const;
    std::string where(const Rule& rule) const;

    std::vector<Rule> rules_;
    std::string fileName_;
    std::unique_ptr<MaterialLibrary> library_;
    std::map<unsigned, Entry> entries_;
    std::vector<bool> ruleUsed_;
};
