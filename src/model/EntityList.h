#pragma once
#include <cstdint>
#include <iosfwd>
#include <string>

#include "model/Entity.h"

/// A list of entities, read from and written to the model file between its keyword and "End".
class EntityList : public Entity {
public:
    EntityList() = default;
    /// Destroys every child.
    ~EntityList() override;

    int typeCode() const override { return EntityType::list; }
    const char* typeName() const override { return "EntityList"; }
    bool isSameAs(const Entity&) const override { return false; }
    /// Prints the children, one a line, and the closing "End".
    void write(std::ostream& out) const override;
    /// Reads records up to "End" or the end of the stream, keeping every valid entity.
    void read(std::istream& in) override;
    void exportDxf(std::ostream& out) const override;
    void extendBox(Coord& min, Coord& max) const override;
    /// True when the list has at least one child.
    bool isValid() const override { return count > 0; }

    /// Makes child the first entry.
    virtual void prepend(Entity* child);
    /// Makes child the last entry.
    virtual void append(Entity* child);
    /// Unlinks child (destroying it when destroy is set); false when it is not in the list.
    virtual bool remove(Entity* child, bool destroy);
    /// Unlinks and answers the first child (null when empty); the caller owns it.
    Entity* takeFirst();

    std::uint32_t count = 0;
    Entity* first = nullptr;
    Entity* last = nullptr;

    /// The record counter quoted in the reader's messages.
    static std::uint32_t lineNumber;
    /// The line of the stream's file where reading stands (from 1), or 0 when the stream cannot tell.
    static unsigned fileLine(std::istream& in);
    /// The nesting depth of the list writer.
    static std::int32_t writeDepth;

private:
    void readBody(std::istream& in);
};

/// Creates an empty entity for a model-file keyword (any case); null for an unknown word.
Entity* createEntity(const std::string& keyword);

/// Reads one white-space separated word, keeping at most maxLength characters of it; false at the end.
bool readWord(std::istream& in, std::string& word, std::size_t maxLength);
