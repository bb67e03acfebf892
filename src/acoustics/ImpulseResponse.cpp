#include "acoustics/ImpulseResponse.h"

#include <algorithm>
#include <cmath>
#include <istream>
#include <new>

#include "run/RunParameters.h"
#include "ui/Messages.h"

namespace {

// Without a settings file Time and Precision are both 0, and a negative or
// absurd setting is possible too: rather than divide by zero or convert a NaN,
// such a response gets a single class that takes every arrival. A positive
// Time over a positive Precision too large to count (even infinite) is cut to
// the largest count like any other long response.
std::uint32_t classCountFor(double time, double precision) {
    if (!(time > 0) || !(precision > 0)) return 0;
    const double classes = std::round(time / precision);
    if (std::isnan(classes)) return 0;
    if (classes >= ImpulseResponse::maxClassCount) return ImpulseResponse::maxClassCount;
    return static_cast<std::uint32_t>(classes);
}

// A row is committed only when all ten numbers were read, so a file cut short
// never leaves a half-replaced row behind.
bool readRow(std::istream& in, BandEnergies& values) {
    for (float& value : values)
        if (!(in >> value)) return false;
    return true;
}

bool allUnit(const std::array<double, bandCount>& gains) {
    return std::all_of(gains.begin(), gains.end(), [](double gain) { return gain == 1.0; });
}

}  // namespace

ImpulseResponse::ImpulseResponse()
    : classCount(classCountFor(parameters.Time, parameters.Precision)), precision_(parameters.Precision) {
    try {
        rows.assign(static_cast<std::size_t>(classCount) + 2, BandEnergies{});
    } catch (const std::bad_alloc&) {
        fatalError("Can't allocate impulse response data");
    }
}

void ImpulseResponse::clear() {
    std::fill(rows.begin(), rows.begin() + classCount + 1, BandEnergies{});
    hasDirect = false;
    earliestDirectDelay = 1e12;
}

std::uint32_t ImpulseResponse::classOf(double time) const {
    // With a single class there is nothing to compute, and Precision may be 0.
    if (classCount == 0) return 0;
    const double k = std::trunc(time / precision_);
    // The class is meant as an unsigned value: a negative class wraps past N
    // and lands in row N, as do NaN and anything beyond N. Only (−1, N) is
    // converted, so the conversion is always defined; −0 counts as 0.
    if (k >= 0 && k < classCount) return static_cast<std::uint32_t>(k);
    return classCount;
}

bool ImpulseResponse::add(const BandEnergies& energies, unsigned order, double time) {
    if (order == 0 && hasDirect) return false;
    BandEnergies& target = rows[classOf(time)];
    for (int b = 0; b < bandCount; ++b) target[b] += energies[b];
    if (order == 0) {
        hasDirect = true;
        directDelay = time;
        if (time < earliestDirectDelay) earliestDirectDelay = time;
    }
    return true;
}

void ImpulseResponse::setDirectDelay(double delay) {
    directDelay = delay;
    hasDirect = false;
    if (delay < earliestDirectDelay) earliestDirectDelay = delay;
}

std::uint32_t ImpulseResponse::levels(unsigned band, std::vector<float>& out) const {
    try {
        out.assign(static_cast<std::size_t>(classCount) + 1, 0.0f);
    } catch (const std::bad_alloc&) {
        out.clear();
        showError("Can't store Impulse");
        return 0;
    }
    const std::array<double, bandCount>& weights = aWeighting();
    for (std::uint32_t k = 0; k <= classCount; ++k) {
        const BandEnergies& energies = rows[k];
        double value = 0;
        if (band < static_cast<unsigned>(bandCount)) {
            value = energies[band];
        } else if (band == static_cast<unsigned>(bandCount)) {
            for (float energy : energies) value += energy;
        } else {
            for (int b = 0; b < bandCount; ++b) value += energies[b] * weights[b];
        }
        out[k] = value > 0 ? static_cast<float>(10 * std::log10(value)) : -999.9f;
    }
    return classCount;
}

bool ImpulseResponse::read(std::istream& in, const std::array<double, bandCount>& gains, double delay) {
    if (!(delay > 0) && allUnit(gains)) {
        BandEnergies values;
        for (std::uint32_t k = 0; k <= classCount; ++k) {
            if (!readRow(in, values)) return false;
            rows[k] = values;
        }
        return true;
    }
    return readAndAdd(in, gains, delay);
}

bool ImpulseResponse::readAndAdd(std::istream& in, const std::array<double, bandCount>& gains, double delay) {
    std::uint32_t shift = 0;
    if (delay > 0 && classCount > 0) {
        // Both operands are positive here, so the quotient is never negative
        // or NaN; a delay of N classes or more moves everything into row N.
        const double classes = std::trunc(delay / precision_);
        shift = classes >= classCount ? classCount : static_cast<std::uint32_t>(classes);
    }
    const bool weighted = !allUnit(gains);
    BandEnergies values;
    for (std::uint32_t k = 0; k <= classCount; ++k) {
        if (!readRow(in, values)) return false;
        if (weighted)
            for (int b = 0; b < bandCount; ++b) values[b] = static_cast<float>(values[b] * gains[b]);
        BandEnergies& target = rows[std::min(classCount, k + shift)];
        for (int b = 0; b < bandCount; ++b) target[b] += values[b];
    }
    return true;
}
