#pragma once
#include <optional>
#include <vector>

/// A least-squares line through part of a decay curve: level (dB) = intercept + slope · time (s).
struct DecayFit {
    /// dB per second (negative for a decay).
    double slope = 0;
    /// dB at time zero.
    double intercept = 0;
    /// The first and last time of the points fitted, in seconds from time zero.
    double start = 0, end = 0;
    /// The time the fitted line takes to fall by 60 dB, in seconds.
    double reverberationTime() const { return -60 / slope; }
};

/// A point of a decay curve: time from time zero in seconds, level in dB relative to the whole energy.
struct DecayPoint {
    double time = 0;
    double level = 0;
};

/// One band's energy response from the direct sound on, with Schroeder's backward integration and the time
/// integrals of ISO 3382-1.
///
/// Class k of the response holds the energy arriving in k · width ≤ t < (k + 1) · width; the energy of a class is
/// taken as spread evenly over it (over the part after time zero for the class holding time zero). Classes before
/// time zero hold no sound that can have travelled from the source and are left out. The response is followed by an
/// exponential tail estimated from its late part (counted in total).
class EnergyDecay {
public:
    /// The response of classes 0 to energies.size() − 1 of width seconds, time zero at timeZero seconds.
    EnergyDecay(const std::vector<double>& energies, double width, double timeZero);

    /// The whole energy from time zero on, tail included.
    double total() const { return sum_ + tail_; }
    /// The energy arriving within the first `duration` seconds after time zero.
    double energyWithin(double duration) const;
    /// The centre time (first moment of the energy) in seconds after time zero; 0 without energy.
    double centreTime() const;
    /// The modulation transfer m(F) of the energy response at modulation frequency F in Hz (Schroeder 1981):
    /// |∫ e(t) exp(−2πiFt) dt| / ∫ e(t) dt; 0 without energy.
    double modulation(double frequency) const;
    /// Schroeder's decay curve: at time zero and at the end of every class, while energy remains.
    std::vector<DecayPoint> curve() const;
    /// The least-squares line through the curve points between upper and lower dB (ISO 3382-1 evaluation range);
    /// none when the curve does not fall to lower dB within the response, or fewer than two points lie in range.
    std::optional<DecayFit> fit(double upper, double lower) const;

private:
    struct Segment {
        double start, end, energy;
    };
    void estimateTail(double width);

    std::vector<Segment> segments_;
    double sum_ = 0;
    double tail_ = 0;
    // Energy per second of the tail decays as exp(−tailRate_ · (t − end)); 0 without a tail.
    double tailRate_ = 0;
};
