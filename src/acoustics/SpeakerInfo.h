#pragma once
#include <array>
#include <cstdint>
#include <iosfwd>
#include <string_view>

#include "foundation/TArray.h"
#include "foundation/TFilename.h"
#include "model/EntityList.h"
#include "run/RunParameters.h"

/// A loudspeaker: its directivity balloon and band powers, read from a .spk file.
///
/// The balloon has 18 rows (meridian planes through the main axis, 10° apart,
/// measured from the loudspeaker's +Y toward +Z) of 36 columns (10° steps
/// from the main axis; columns 19 to 35 lie in the opposite half-plane).
/// Until a file has been read the loudspeaker is omnidirectional at 110 dB.
class SpeakerInfo {
public:
    /// Number of meridian planes of the balloon.
    static constexpr int rowCount = 18;
    /// Number of directions in each meridian plane.
    static constexpr int columnCount = 36;
    /// The power of every band before a file sets it: 10^11, that is 110 dB.
    static constexpr double defaultPower = 1e11;

    using DirectivityTable = std::array<std::array<std::array<std::int32_t, bandCount>, columnCount>, rowCount>;

    SpeakerInfo() { bandPower.fill(defaultPower); }
    virtual ~SpeakerInfo() = default;
    SpeakerInfo(const SpeakerInfo&) = delete;
    SpeakerInfo& operator=(const SpeakerInfo&) = delete;

    /// Finds the file (as named, else beside the model file) and reads it; true when the directivity was read.
    /// Sets name and alias; a failed load leaves an omnidirectional 110 dB loudspeaker and never stops a run.
    bool load(std::string_view fileName);

    /// Reads the .spk contents from in (messages quote nameForMessages); answers loaded.
    ///
    /// A number that cannot be read leaves its target as it was (a band power
    /// its previous value, a directivity entry 0) and, the stream having failed,
    /// ends the reading quietly, as the end of the file does. Table values are
    /// stored as thousandths truncated toward zero, saturated to the 32-bit range.
    /// A band power that would not be finite keeps the band's previous power.
    bool read(std::istream& in, std::string_view nameForMessages);

    /// Relative intensity by row, column and band, as the file's value × 1000 (valid only while loaded).
    DirectivityTable directivity{};
    /// Radiated power per band, linear: 10^(Lw/10).
    std::array<double, bandCount> bandPower{};
    /// The file name as the source gave it; the key of the list of loaded loudspeakers.
    TFilename name{260};
    /// The file actually read when it is not name, "omni.spk" when none could be read, else empty.
    TFilename alias{260};
    /// Index of the first band block read (-1 when a read file held none).
    std::int32_t firstBand = 0;
    /// Index of the last band block read (-1 when a read file held none).
    std::int32_t lastBand = 9;
    /// Whether directivity holds valid data.
    bool loaded = false;
    /// Faces of the cabinet in the loudspeaker's own frame (+X the main axis).
    EntityList geometry;
};

/// The loudspeakers loaded so far in the process; owns them until clearSpeakers or the program's end.
TArray<SpeakerInfo>& speakerList();

/// The loaded loudspeaker of that file name (ignoring case), or a new one loaded now; never null.
SpeakerInfo* findOrLoadSpeaker(std::string_view fileName);

/// Destroys every loaded loudspeaker, last slot first; pointers to them become dangling.
void clearSpeakers();
