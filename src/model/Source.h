#pragma once
#include "foundation/TFilename.h"
#include "model/Entity.h"

/// A source: a position, the point its loudspeaker is aimed at, a roll and the loudspeaker file.
class Source : public Entity {
public:
    /// The longest loudspeaker file name.
    static constexpr std::size_t maxNameLength = 259;

    int typeCode() const override { return EntityType::source; }
    const char* typeName() const override { return "Source"; }
    bool isSameAs(const Entity& other) const override;
    void write(std::ostream& out) const override;
    /// Reads position, aim point and roll, then the rest of the line as the loudspeaker file name.
    void read(std::istream& in) override;
    void extendBox(Coord& min, Coord& max) const override { extendBoxBy(position, min, max); }
    bool isValid() const override { return true; }

    Coord position;
    Coord aimPoint;
    double roll = 0;
    TFilename speakerFile{260};
};
