// The reference side of bench/late_decay.py: decay times of exact image-source responses of a rectangular room,
// and of traced responses handed over on standard input, by one and the same Schroeder fit.
//
//   tolveno_late_reference images SETTINGS.ini Lx,Ly,Lz α1,...,α10 sx,sy,sz rx,ry,rz [rx,ry,rz ...]
//       one line per receiver: T30 of the ten bands, in seconds (nan where the decay does not reach −35 dB).
//       Time, Precision, the sound speed and the air attenuation are those a run with these settings uses.
//   tolveno_late_reference decay PRECISION
//       reads responses from standard input, rows of ten band energies, a blank line after each, and prints
//       one line of ten T30 per response.
#include <algorithm>
#include <array>
#include <cstdio>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "run/RunParameters.h"
#include "support/DecayTimes.h"
#include "support/ShoeboxImages.h"

namespace {
// The comma-separated numbers of text.
std::vector<double> numbers(const std::string& text) {
    std::vector<double> out;
    std::istringstream in(text);
    std::string item;
    while (std::getline(in, item, ',')) out.push_back(std::stod(item));
    return out;
}

template <std::size_t N>
bool fill(std::array<double, N>& into, const std::string& text) {
    const std::vector<double> values = numbers(text);
    if (values.size() != N) return false;
    std::copy(values.begin(), values.end(), into.begin());
    return true;
}

void printT30(const std::vector<BandValues>& rows, double precision) {
    for (int b = 0; b < bandCount; ++b) {
        std::vector<double> energy(rows.size());
        for (std::size_t k = 0; k < rows.size(); ++k) energy[k] = rows[k][static_cast<std::size_t>(b)];
        std::printf("%s%.5g", b ? " " : "", t30Of(energy, precision));
    }
    std::printf("\n");
}

int images(const std::vector<std::string>& args) {
    if (args.size() < 5 || !parameters.readSettings(args[0])) {
        std::fprintf(stderr, "cannot read the settings file %s\n", args.empty() ? "" : args[0].c_str());
        return 2;
    }
    parameters.computeAirAbsorption();
    ShoeboxCase room{.soundSpeed = parameters.SoundSpeed, .precision = parameters.Precision, .time = parameters.Time};
    std::copy(std::begin(parameters.airAbsorption), std::end(parameters.airAbsorption), room.airAbsorption.begin());
    if (!fill(room.size, args[1]) || !fill(room.absorption, args[2]) || !fill(room.source, args[3])) {
        std::fprintf(stderr, "expected three sizes, ten absorption coefficients and a source position\n");
        return 2;
    }
    for (std::size_t r = 4; r < args.size(); ++r) {
        if (!fill(room.receiver, args[r])) {
            std::fprintf(stderr, "a receiver is three comma-separated coordinates: %s\n", args[r].c_str());
            return 2;
        }
        printT30(shoeboxResponse(room).rows, room.precision);
    }
    return 0;
}

int decay(const std::vector<std::string>& args) {
    if (args.size() != 1) return 2;
    const double precision = std::stod(args[0]);
    std::vector<BandValues> rows;
    std::string line;
    while (std::getline(std::cin, line)) {
        BandValues row{};
        std::istringstream in(line);
        for (double& value : row) in >> value;
        if (in) {
            rows.push_back(row);
        } else if (!rows.empty()) {
            printT30(rows, precision);
            rows.clear();
        }
    }
    if (!rows.empty()) printT30(rows, precision);
    return 0;
}
}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + std::min(argc, 2), argv + argc);
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "images") return images(args);
    if (mode == "decay") return decay(args);
    std::fprintf(stderr, "usage: %s images SETTINGS Lx,Ly,Lz a1,...,a10 sx,sy,sz rx,ry,rz...\n"
                         "       %s decay PRECISION < responses\n", argv[0], argv[0]);
    return 2;
}
