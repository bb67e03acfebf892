#include "model/Source.h"

#include <algorithm>
#include <istream>
#include <ostream>

#include "model/EntityIo.h"
#include "model/EntityList.h"
#include "ui/Messages.h"

bool Source::isSameAs(const Entity& other) const {
    return other.typeCode() == typeCode() && nearlyEqual(position, static_cast<const Source&>(other).position);
}

void Source::write(std::ostream& out) const {
    writePoint(out, position);
    out << ' ';
    writePoint(out, aimPoint);
    out << ' ' << roll << ' ' << speakerFile.str();
}

void Source::read(std::istream& in) {
    readPoint(in, position);
    readPoint(in, aimPoint);
    in >> roll >> std::ws;
    if (!in) return;
    std::string name;
    for (int c = in.get(); c != '\n' && c != std::char_traits<char>::eof(); c = in.get()) {
        name += static_cast<char>(c);
        if (name.size() > maxNameLength + 1) break;
    }
    // A carriage return before the line feed belongs to the line end.
    if (!name.empty() && name.back() == '\r') name.pop_back();
    if (name.size() > maxNameLength) {
        // A name this long cannot be a file name: the model file is read no further.
        in.setstate(std::ios::failbit);
        reportError("Loudspeaker file name longer than %u characters in line %u: the model file is read no further",
                    static_cast<unsigned>(maxNameLength), EntityList::lineNumber);
        return;
    }
    // Quotes only protect blanks in the name.
    std::erase(name, '"');
    speakerFile.assign(name);
}
