#pragma once
#include <array>

#include "acoustics/Microphone.h"
#include "foundation/TConfig.h"
#include "run/RunParameters.h"

/// Reads a results file's microphone section (after its heading) into a microphone, the first file of a sum:
/// position, direct wave, lateral ratios and the impulse response (weighted by gains, shifted by delay seconds).
/// False after "Can't find Position of Microphone_%d in file %s" when the section has no "=".
bool readFirst(Microphone& microphone, TConfig& in, const std::array<double, bandCount>& gains, int microphoneNumber,
               double delay);

/// Reads a microphone section like readFirst but adds it to the microphone: lateral ratios and response rows are
/// summed, the direct wave kept when earlier. False, as readFirst, when the section has no "=".
bool readAdd(Microphone& microphone, TConfig& in, const std::array<double, bandCount>& gains, int microphoneNumber,
             double delay);
