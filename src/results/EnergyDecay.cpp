#include "results/EnergyDecay.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>

namespace {

// sin(x)/x, 1 at 0.
double sinc(double x) { return x == 0 ? 1 : std::sin(x) / x; }

struct Line {
    double intercept = 0, slope = 0;
};

// The least-squares line y = intercept + slope · x; needs two distinct x.
Line leastSquares(const std::vector<double>& x, const std::vector<double>& y) {
    const double n = static_cast<double>(x.size());
    double mx = 0, my = 0;
    for (std::size_t i = 0; i < x.size(); ++i) mx += x[i] / n, my += y[i] / n;
    double sxy = 0, sxx = 0;
    // Centred sums: the times of a long response are large against their spread only near its end.
    for (std::size_t i = 0; i < x.size(); ++i) sxy += (x[i] - mx) * (y[i] - my), sxx += (x[i] - mx) * (x[i] - mx);
    const double slope = sxx > 0 ? sxy / sxx : 0;
    return {my - slope * mx, slope};
}

}  // namespace

EnergyDecay::EnergyDecay(const std::vector<double>& energies, double width, double timeZero) {
    const double zero = std::max(0.0, timeZero);
    // Without classes of a width (Precision 0 or less), or with time zero beyond them, there is nothing after it.
    const double first = width > 0 ? std::floor(zero / width) : INFINITY;
    if (!(first < static_cast<double>(energies.size()))) return;
    for (auto k = static_cast<std::size_t>(first); k < energies.size(); ++k) {
        const double end = static_cast<double>(k + 1) * width - zero;
        segments_.push_back({segments_.empty() ? 0.0 : segments_.back().end, std::max(end, 0.0), energies[k]});
        sum_ += energies[k];
    }
    estimateTail(width);
}

// The response stops at Time while the room goes on ringing; Schroeder's integral runs to infinity, so a curve cut
// at Time bends down towards −∞ and steepens every fit that comes near its end. ISO 3382-1 (5.3.3) allows the
// truncation to be compensated by assuming an exponential decay beyond it. Its rate is the least-squares slope of
// ln(block energy) over the latter half of the response (blocks of a twentieth of it, whole classes, ending at the
// last class); the tail continues that line from the response's end.
void EnergyDecay::estimateTail(double width) {
    const std::size_t n = segments_.size();
    const std::size_t block = std::max<std::size_t>(1, n / 20);
    std::vector<double> times, logs;
    for (std::size_t i = n; i >= block && i - block >= std::max<std::size_t>(1, n / 2); i -= block) {
        double energy = 0;
        for (std::size_t k = i - block; k < i; ++k) energy += segments_[k].energy;
        if (energy <= 0) continue;
        times.push_back((segments_[i - block].start + segments_[i - 1].end) / 2);
        logs.push_back(std::log(energy));
    }
    if (times.size() < 3) return;
    const Line line = leastSquares(times, logs);
    if (!(line.slope < 0)) return;
    const double rate = -line.slope;
    const double w = static_cast<double>(block) * width;
    // A block of width w centred on t of the density d(t) = d0 · exp(−r t) holds d(t) · 2 sinh(r w / 2) / r.
    const double end = segments_.back().end;
    const double density = std::exp(line.intercept + line.slope * end) * rate / (2 * std::sinh(rate * w / 2));
    tailRate_ = rate;
    tail_ = density / rate;
}

double EnergyDecay::energyWithin(double duration) const {
    double energy = 0;
    for (const Segment& s : segments_) {
        if (s.start >= duration) return energy;
        energy += duration >= s.end ? s.energy : s.energy * (duration - s.start) / (s.end - s.start);
    }
    if (tail_ > 0 && !segments_.empty()) energy += tail_ * -std::expm1(-tailRate_ * (duration - segments_.back().end));
    return energy;
}

double EnergyDecay::centreTime() const {
    if (!(total() > 0)) return 0;
    double moment = 0;
    for (const Segment& s : segments_) moment += s.energy * (s.start + s.end) / 2;
    // The tail's centre lies 1/rate after the response's end.
    if (tail_ > 0) moment += tail_ * (segments_.back().end + 1 / tailRate_);
    return moment / total();
}

double EnergyDecay::modulation(double frequency) const {
    if (!(total() > 0)) return 0;
    const double omega = 2 * std::numbers::pi * frequency;
    std::complex<double> sum = 0;
    // A class's energy spread evenly over it transforms to its midpoint's phase times sinc(ω · width / 2).
    for (const Segment& s : segments_)
        sum += s.energy * sinc(omega * (s.end - s.start) / 2) * std::polar(1.0, -omega * (s.start + s.end) / 2);
    if (tail_ > 0)
        sum += tail_ * tailRate_ * std::polar(1.0, -omega * segments_.back().end) / std::complex(tailRate_, omega);
    return std::abs(sum) / total();
}

std::vector<DecayPoint> EnergyDecay::curve() const {
    std::vector<DecayPoint> points;
    const double whole = total();
    if (!(whole > 0)) return points;
    // Backward sums (Schroeder 1965) rather than the whole minus a running sum, which would cancel to noise late on.
    std::vector<double> remaining(segments_.size());
    double after = tail_;
    for (std::size_t j = segments_.size(); j-- > 0;) {
        remaining[j] = after;
        after += segments_[j].energy;
    }
    points.push_back({0, 0});
    for (std::size_t j = 0; j < segments_.size() && remaining[j] > 0; ++j)
        points.push_back({segments_[j].end, 10 * std::log10(remaining[j] / whole)});
    return points;
}

std::optional<DecayFit> EnergyDecay::fit(double upper, double lower) const {
    const std::vector<DecayPoint> points = curve();
    // A curve that never gets down to the range's lower end gives no value: extending the fit would be a guess.
    if (points.empty() || points.back().level > lower) return std::nullopt;
    std::vector<double> times, levels;
    for (const DecayPoint& p : points)
        if (p.level <= upper && p.level >= lower) times.push_back(p.time), levels.push_back(p.level);
    if (times.size() < 2) return std::nullopt;
    const Line line = leastSquares(times, levels);
    if (!(line.slope < 0)) return std::nullopt;
    return DecayFit{line.slope, line.intercept, times.front(), times.back()};
}
