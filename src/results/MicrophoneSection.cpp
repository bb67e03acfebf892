#include "results/MicrophoneSection.h"

#include "ui/Messages.h"

namespace {

// The position line: six numbers after its "=", origin then direction, taken
// as they stand (the direction was written normalised).
bool readPosition(Microphone& microphone, TConfig& in, int microphoneNumber) {
    if (!in.skipToEquals()) {
        showError("Can't find Position of Microphone_%d in file %s", microphoneNumber, in.fileName().c_str());
        return false;
    }
    Line& axis = microphone.axis;
    in >> axis.origin.x >> axis.origin.y >> axis.origin.z >> axis.x >> axis.y >> axis.z;
    return true;
}

// The LFC, LE and LF lines into entries 10 to 39; entries 0 to 9 (the early
// energies the ratios were formed with) are not in the file.
void readLateral(std::array<float, 4 * bandCount>& lateral, TConfig& in) {
    for (int group = 1; group <= 3; ++group) {
        in.skipToEquals();
        for (int b = 0; b < bandCount; ++b) in >> lateral[group * bandCount + b];
    }
}

}  // namespace

bool readFirst(Microphone& microphone, TConfig& in, const std::array<double, bandCount>& gains, int microphoneNumber,
               double delay) {
    if (!readPosition(microphone, in, microphoneNumber)) return false;
    const double written = in.readNumber();
    readLateral(microphone.lateral, in);
    in.skipToEquals();  // the "Impulse response =" heading

    double direct = delay > 0 ? written + delay : written;
    // Every delay measured from the direct wave needs one after time 0.
    if (direct <= 0) {
        showWarning("Invalid Direct Wave Time = 0");
        direct = 0.0001;
    }
    ImpulseResponse& response = microphone.response;
    response.hasDirect = false;
    response.directDelay = direct;
    if (direct < response.earliestDirectDelay) response.earliestDirectDelay = direct;

    // A file cut short leaves the rows not read as they were; the section still counts.
    response.read(in, gains, delay);
    return true;
}

bool readAdd(Microphone& microphone, TConfig& in, const std::array<double, bandCount>& gains, int microphoneNumber,
             double delay) {
    if (!readPosition(microphone, in, microphoneNumber)) return false;
    const double written = in.readNumber();
    std::array<float, 4 * bandCount> lateral{};
    readLateral(lateral, in);
    for (int i = bandCount; i < 4 * bandCount; ++i) microphone.lateral[i] += lateral[i];
    in.skipToEquals();  // the "Impulse response =" heading

    const double direct = delay > 0 ? written + delay : written;
    ImpulseResponse& response = microphone.response;
    if (response.directDelay > direct) {
        response.hasDirect = false;
        response.directDelay = direct;
        if (direct < response.earliestDirectDelay) response.earliestDirectDelay = direct;
    }

    // Always the adding path: the rows of the first file are already there.
    response.readAndAdd(in, gains, delay);
    return true;
}
