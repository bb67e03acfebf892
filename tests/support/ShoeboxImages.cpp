#include "support/ShoeboxImages.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <numbers>

namespace {
// One axis of the image lattice of Allen and Berkley (1979): the images of a source at s between walls at 0
// and L sit at (1 − 2u) s + 2iL for u in {0, 1} and every integer i; the path from such an image meets the
// walls |i − u| times at 0 and |i| times at L, |2i − u| times in all (i = 0, u = 1 is the mirror in the wall at
// 0; i = 1, u = 1 the mirror in the wall at L).
struct Axis {
    double length, source, receiver;

    // The offset from the receiver to image (i, u) along this axis.
    double offset(long i, int u) const { return (1 - 2 * u) * source + 2 * i * length - receiver; }
    // The lowest and highest i whose offset lies within [−reach, reach].
    std::pair<long, long> range(int u, double reach) const {
        const double base = offset(0, u);
        return {static_cast<long>(std::ceil((-reach - base) / (2 * length))),
                static_cast<long>(std::floor((reach - base) / (2 * length)))};
    }
    // The largest reflection count of an image within reach.
    long mostReflections(double reach) const {
        long most = 0;
        for (int u = 0; u < 2; ++u) {
            const auto [low, high] = range(u, reach);
            most = std::max({most, std::labs(2 * low - u), std::labs(2 * high - u)});
        }
        return most;
    }
};

long reflections(long i, int u) { return std::labs(2 * i - u); }

// What the images of one reflection count bring to one class: Σw, Σwδ and Σwδ², w = 1/(4πd²) the spherical
// spreading and δ the path length beyond the class centre. The per-band factors are applied to these sums
// once per group instead of once per image: that is what makes ten million images a fraction of a second.
struct Moments {
    double w = 0, wd = 0, wdd = 0;
};

class ImageSums {
public:
    ImageSums(const ShoeboxCase& room, long mostReflections)
        : room_(room),
          step_(room.soundSpeed * room.precision),
          classes_(static_cast<std::size_t>(std::round(room.time / room.precision))),
          sums_(static_cast<std::size_t>(mostReflections + 1) * classes_) {}

    // Adds the image at distance d reached after n reflections, if it arrives before the end.
    void add(double d, long n) {
        assert(d > 0);
        // The class as the tracer finds it: the arrival time d / c truncated to classes.
        const double k = std::trunc(d / room_.soundSpeed / room_.precision);
        if (k >= static_cast<double>(classes_)) return;
        const double delta = d - step_ * (k + 0.5);
        const double w = 1 / (4 * std::numbers::pi * d * d);
        Moments& m = sums_[static_cast<std::size_t>(n) * classes_ + static_cast<std::size_t>(k)];
        m.w += w;
        m.wd += w * delta;
        m.wdd += w * delta * delta;
    }

    // The response: per group, (1 − α)^n and exp(−m d) = exp(−m d_centre)(1 − mδ + m²δ²/2 + …).
    EnergyResponse response() const {
        EnergyResponse out{room_.precision, std::vector<BandValues>(classes_, BandValues{})};
        const std::size_t groups = sums_.size() / std::max<std::size_t>(classes_, 1);
        for (int b = 0; b < bandCount; ++b) {
            const double m = room_.airAbsorption[b];
            const double kept = std::max(0.0, 1 - room_.absorption[b]);
            double wallFactor = 1;
            for (std::size_t n = 0; n < groups; ++n, wallFactor *= kept)
                for (std::size_t k = 0; k < classes_; ++k) {
                    const Moments& s = sums_[n * classes_ + k];
                    if (s.w == 0) continue;
                    const double centre = step_ * (static_cast<double>(k) + 0.5);
                    out.rows[k][b] += wallFactor * std::exp(-m * centre) * (s.w - m * s.wd + m * m * s.wdd / 2);
                }
        }
        return out;
    }

private:
    const ShoeboxCase& room_;
    double step_;
    std::size_t classes_;
    std::vector<Moments> sums_;
};
}  // namespace

std::vector<double> EnergyResponse::band(int b) const {
    std::vector<double> out(rows.size());
    for (std::size_t k = 0; k < rows.size(); ++k) out[k] = rows[k][static_cast<std::size_t>(b)];
    return out;
}

EnergyResponse shoeboxResponse(const ShoeboxCase& room) {
    const Axis x{room.size[0], room.source[0], room.receiver[0]};
    const Axis y{room.size[1], room.source[1], room.receiver[1]};
    const Axis z{room.size[2], room.source[2], room.receiver[2]};
    // No image farther than c · time arrives in time: each loop only visits indices whose offset still fits in
    // what the outer offsets leave of that reach.
    const double reach = room.soundSpeed * room.time;
    ImageSums sums(room, x.mostReflections(reach) + y.mostReflections(reach) + z.mostReflections(reach));
    for (int ux = 0; ux < 2; ++ux) {
        const auto [i0, i1] = x.range(ux, reach);
        for (long i = i0; i <= i1; ++i) {
            const double dx = x.offset(i, ux), restX = reach * reach - dx * dx;
            if (restX < 0) continue;
            for (int uy = 0; uy < 2; ++uy) {
                const auto [j0, j1] = y.range(uy, std::sqrt(restX));
                for (long j = j0; j <= j1; ++j) {
                    const double dy = y.offset(j, uy), restY = restX - dy * dy;
                    if (restY < 0) continue;
                    for (int uz = 0; uz < 2; ++uz) {
                        const auto [k0, k1] = z.range(uz, std::sqrt(restY));
                        for (long k = k0; k <= k1; ++k) {
                            const double dz = z.offset(k, uz);
                            sums.add(std::sqrt(dx * dx + dy * dy + dz * dz),
                                     reflections(i, ux) + reflections(j, uy) + reflections(k, uz));
                        }
                    }
                }
            }
        }
    }
    return sums.response();
}
