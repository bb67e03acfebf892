#pragma once
#include <iosfwd>

/// Root of the foundation classes: a small virtual protocol of naming, streaming and comparison.
class TObject {
public:
    virtual ~TObject() = default;
    /// The class's name as text ("TObject").
    virtual const char* className() const { return "TObject"; }
    /// True when name is the name of this class or of one of its bases.
    virtual bool isKindOf(const char* name) const;
    /// Every object is valid unless a class says otherwise (none does).
    virtual bool isValid() const { return true; }
    /// Reads the object from a stream; false when nothing usable was read.
    virtual bool read(std::istream&) { return false; }
    /// Writes the object to a stream; false when the class has nothing to write.
    virtual bool write(std::ostream&) const { return false; }
    /// Opens the named file, reads the object from it and answers what read answered.
    virtual bool load(const char* fileName);
    /// Creates or replaces the named file with the object; true when written and the stream is good.
    virtual bool save(const char* fileName) const;
    /// Orders two objects: -1, 0 or 1 (0 for plain objects).
    virtual int compare(const TObject&) const { return 0; }
};
