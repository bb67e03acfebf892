#pragma once
#include <array>
#include <cstdint>
#include <iosfwd>
#include <vector>

#include "acoustics/Bands.h"

/// The energy impulse response of a receiver: ten band energies per time class of `Precision` seconds.
///
/// Row k holds the arrivals with k · Precision ≤ t < (k + 1) · Precision; row
/// N (the class count) also takes every later arrival and every arrival at
/// −Precision or earlier. N + 2 rows are allocated, rows 0 to N are used.
class ImpulseResponse {
public:
    /// The largest class count; longer responses are cut to it.
    static constexpr std::uint32_t maxClassCount = 192000;

    /// An empty response whose classes follow the run parameters `Time` and `Precision` in force now.
    /// Stops the program with "Can't allocate impulse response data" when the rows cannot be allocated.
    ImpulseResponse();
    virtual ~ImpulseResponse() = default;
    /// Copies get rows of their own; moves take the rows over.
    ImpulseResponse(const ImpulseResponse&) = default;
    ImpulseResponse& operator=(const ImpulseResponse&) = default;
    ImpulseResponse(ImpulseResponse&&) = default;
    ImpulseResponse& operator=(ImpulseResponse&&) = default;

    /// Rows 0 to N set to 0, no direct wave, earliest direct delay 1e12; the direct delay is kept.
    void clear();
    /// Adds the energies to the class of time; false (nothing added) for a second direct wave (order 0) since the last clearing.
    bool add(const BandEnergies& energies, unsigned order, double time);
    /// Fills out with N + 1 levels in dB (−999.9 where the value is not positive) of a band (0 to 9),
    /// the linear sum (10) or the A-weighted sum (any higher index); answers N, or 0 after
    /// "Can't store Impulse" when out cannot be allocated.
    virtual std::uint32_t levels(unsigned band, std::vector<float>& out) const;
    /// Reads N + 1 rows of ten numbers of a results file: replacing the rows when the delay is not
    /// positive and every gain is 1, else weighted by the gains and added delay / Precision classes later.
    /// Stops at the first row that cannot be read whole, leaving it and the later rows unchanged; true when all were read.
    bool read(std::istream& in, const std::array<double, bandCount>& gains, double delay);
    /// Reads N + 1 rows like read, but always adds them (weighted and shifted) and never replaces.
    bool readAndAdd(std::istream& in, const std::array<double, bandCount>& gains, double delay);
    /// Sets the delay of the current source's direct wave, yet to arrive; lowers the earliest direct delay to it.
    void setDirectDelay(double delay);

    /// The row of time class k (0 to N + 1).
    BandEnergies& row(std::uint32_t k) { return rows[k]; }
    /// The row of time class k (0 to N + 1).
    const BandEnergies& row(std::uint32_t k) const { return rows[k]; }
    /// The time class of an arrival time: truncated time / Precision, N for anything beyond N or at −Precision and earlier.
    std::uint32_t classOf(double time) const;
    /// The width of a time class in seconds, as taken from the run parameters at construction.
    double precision() const { return precision_; }

    /// N: the last time class.
    std::uint32_t classCount = 0;
    /// N + 2 rows of ten band energies, contiguous.
    std::vector<BandEnergies> rows;
    /// Delay of the direct wave of the current source, in seconds.
    double directDelay = 0;
    /// The smallest direct delay since the last clearing; 1e12 when none.
    double earliestDirectDelay = 1e12;
    /// A direct wave has been added since the last clearing.
    bool hasDirect = false;

private:
    double precision_ = 0;
};
