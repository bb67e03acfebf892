#include "acoustics/PlacedSource.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <ostream>
#include <string>

namespace {
// Round to nearest, halves away from zero. The arguments come from angles
// and the roll; a NaN (a direction with a NaN component) or an absurd roll
// has no defined lround, and gives 0 so that the index stays in the table.
long nearest(double x) {
    if (!(std::abs(x) < 1e9)) return 0;
    return std::lround(x);
}
}  // namespace

PlacedSource::PlacedSource(const Coord& position, const Coord& aimPoint, std::string_view speakerFile, double roll)
    : axis(position, X_AXIS), roll(roll) {
    if (!nearlyEqual(aimPoint, position)) {
        if (aimPoint.x == position.x && aimPoint.y == position.y) {
            // A vertical axis has no horizontal direction to measure the rows
            // from; leaning it a little toward +X gives it one.
            axis.direction() = Versor(Coord(aimPoint.x + 0.01, aimPoint.y, aimPoint.z) - position);
        } else {
            axis.direction() = Versor(aimPoint - position);
        }
    }
    speaker = findOrLoadSpeaker(speakerFile);
}

std::pair<int, int> PlacedSource::directivityIndex(const Vector& v) const {
    const Versor& d = axis.direction();
    // For v along the axis, rounding can carry the dot product of two unit
    // vectors just past ±1, where acos has no value.
    const double cosine = std::clamp(dot(d, v), -1.0, 1.0);
    long column = nearest(std::acos(cosine) * 18 / std::numbers::pi);

    const double horizontal = d.x * d.x + d.y * d.y;
    const double a = v.z * horizontal - d.z * (d.x * v.x + d.y * v.y);
    const double b = d.x * v.y - d.y * v.x;
    // atan2 of two zeros answers ±π when the second is -0, which a vertical
    // axis produces; such a direction has no meridian plane and takes row 0.
    const double phi = (a == 0 && b == 0) ? 0.0 : std::atan2(a, b);
    long row = nearest((phi * 180 / std::numbers::pi + roll) * 0.1);

    // Half a turn about the axis lands in the same meridian plane, in its
    // other half-plane: the column is mirrored once per half turn.
    long halfTurns = 0;
    if (row >= SpeakerInfo::rowCount) {
        halfTurns = row / SpeakerInfo::rowCount;
    } else if (row < 0) {
        halfTurns = -((-1 - row) / SpeakerInfo::rowCount + 1);
    }
    row -= SpeakerInfo::rowCount * halfTurns;
    if (halfTurns % 2 != 0) column = SpeakerInfo::columnCount - column;
    if (column == SpeakerInfo::columnCount) column = 0;
    return {static_cast<int>(row), static_cast<int>(column)};
}

BandEnergies PlacedSource::radiatedEnergy(const Vector& v) const {
    BandEnergies energy{};
    if (!speaker->loaded) {
        energy.fill(static_cast<float>(SpeakerInfo::defaultPower));
        return energy;
    }
    const auto [row, column] = directivityIndex(v);
    const auto& entry = speaker->directivity[row][column];
    for (int b = 0; b < bandCount; ++b)
        energy[b] = static_cast<float>(entry[b] / 1000.0 * speaker->bandPower[b]);
    return energy;
}

void PlacedSource::writeDescription(std::ostream& out) const {
    const std::string& name = speaker->name.str();
    // A drive letter says nothing once the results have left the machine.
    out << "Name       = " << (name.size() >= 2 && name[1] == ':' ? name.substr(2) : name) << std::endl;
    if (!speaker->alias.empty()) out << "Alias      = " << speaker->alias.str() << std::endl;
    out << "Power      =";
    for (double power : speaker->bandPower) out << ' ' << (power > 0 ? 10 * std::log10(power) : -999.9);
    out << std::endl;
    out << "Position   = " << axis.origin.x << ' ' << axis.origin.y << ' ' << axis.origin.z << std::endl;
    out << "Direction  = " << axis.x << ' ' << axis.y << ' ' << axis.z << std::endl;
    out << "Roll angle = " << roll << std::endl;
    const auto bandLine = [&out](const char* caption, int band) {
        out << caption << band << " (" << bandLabel(band) << (band < 10 ? "Hz" : "") << ")" << std::endl;
    };
    bandLine("First band = ", speaker->firstBand);
    bandLine("Last band  = ", speaker->lastBand);
    if (processingTime >= 1) {
        const long seconds = processingTime / 1000;
        const long hours = seconds / 3600;
        const long minutes = (seconds - 3600 * hours) / 60;
        char text[64];
        std::snprintf(text, sizeof text, "%02ld:%02ld:%02ld", hours, minutes, seconds - 3600 * hours - 60 * minutes);
        out << "Processing = " << text << std::endl;
    }
}
