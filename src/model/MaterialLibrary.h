#pragma once
#include <array>
#include <cstddef>
#include <istream>
#include <string>

#include "run/RunParameters.h"

/// The acoustic data of every material number: absorption, transmission loss and scattering per octave band.
///
/// The library is filled once from the material file and only read after
/// that, so tracing threads may share it without locking. The tables are
/// plain fixed arrays indexed directly by the material number.
class MaterialLibrary {
public:
    /// The number of material rows (material numbers 0..1023).
    static constexpr unsigned materialCount = 1024;
    /// The longest line the material file may have; a longer one ends the reading.
    static constexpr std::size_t maxLineLength = 511;
    /// The transmission loss (dB) that means "no transmission".
    static constexpr float noTransmission = 999.9f;
    /// The scattering of a defined material whose line gives no scattering group.
    static constexpr float defaultScattering = 0.1f;
    /// The name of the shared material file, beside the model or in the current directory.
    static constexpr const char* sharedFileName = "tolveno.mat";

    /// One value per octave band, band 0 = 31.5 Hz.
    using Row = std::array<float, bandCount>;
    /// One row per material number.
    using Table = std::array<Row, materialCount>;

    /// The row of every material the file does not define, and of every number above 1023.
    static constexpr Row undefinedRow{};

    /// All tables 0, then the material file of parameters.modelFile is searched and read (reported either way).
    MaterialLibrary();
    /// All tables 0, then the material lines of in are read; no file is searched and nothing is reported.
    explicit MaterialLibrary(std::istream& in);

    /// Reads material lines into the tables until the end, a failed read, a line too long or a number outside 0..1023.
    void read(std::istream& in);

    /// The name of the file the tables were read from ("" when none was).
    const std::string& fileName() const { return fileName_; }

    // A face may carry any material number the model file allows (0..65535),
    // but only 0..1023 have rows. A number beyond them gets the row of an
    // undefined material (all zeros), exactly like a number within range that
    // the file does not define: a typo in a model then neither crashes nor
    // reads past the tables, and behaves like any other missing material.

    /// The absorption coefficients of material m (zeros when undefined or m > 1023).
    const Row& absorptionOf(unsigned m) const { return m < materialCount ? absorption_[m] : undefinedRow; }
    /// The transmission losses (dB) of material m (zeros when undefined or m > 1023).
    const Row& transmissionLossOf(unsigned m) const { return m < materialCount ? transmissionLoss_[m] : undefinedRow; }
    /// The scattering coefficients of material m (zeros when undefined or m > 1023).
    const Row& scatteringOf(unsigned m) const { return m < materialCount ? scattering_[m] : undefinedRow; }

    /// Whether the material file gave material m its absorption.
    bool isDefined(unsigned m) const { return m < materialCount && defined_[m]; }

    /// The absorption coefficient of material m in band k (0 <= k < bandCount).
    float absorption(unsigned m, int k) const { return absorptionOf(m)[static_cast<std::size_t>(k)]; }
    /// The transmission loss (dB) of material m in band k (0 <= k < bandCount).
    float transmissionLoss(unsigned m, int k) const { return transmissionLossOf(m)[static_cast<std::size_t>(k)]; }
    /// The scattering coefficient of material m in band k (0 <= k < bandCount).
    float scattering(unsigned m, int k) const { return scatteringOf(m)[static_cast<std::size_t>(k)]; }

private:
    void load();
    void readLine(unsigned m, const char* line);

    Table absorption_{};
    Table transmissionLoss_{};
    Table scattering_{};
    std::array<bool, materialCount> defined_{};
    std::string fileName_;
};

/// The material library of the process, created (and its file loaded) on first use.
///
/// The run preparation calls it once the model is loaded, before any tracing
/// thread starts; afterwards it is only read.
MaterialLibrary& materials();
/// Whether the library of the process exists.
bool materialsLoaded();
/// Drops the library of the process, so that the next materials() loads afresh.
void resetMaterials();
