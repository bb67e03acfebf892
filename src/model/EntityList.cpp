#include "model/EntityList.h"

#include <algorithm>
#include <cctype>
#include <istream>
#include <ostream>
#include <strings.h>

#include "foundation/GetArea.h"
#include "model/Face.h"
#include "model/Opening.h"
#include "model/Receiver.h"
#include "model/Source.h"
#include "model/Wall.h"
#include "ui/Messages.h"

std::uint32_t EntityList::lineNumber = 0;
std::int32_t EntityList::writeDepth = 0;

namespace {
constexpr std::size_t maxKeyword = 79;
constexpr std::size_t maxSkippedLine = 2047;
// Lists read each nested list recursively; a file nesting them deeper than
// this is no model and would only exhaust the stack.
constexpr unsigned maxNesting = 1000;
unsigned nesting = 0;

bool is(const std::string& word, const char* keyword) { return strcasecmp(word.c_str(), keyword) == 0; }

// The rest of a line that is not read: at most maxSkippedLine characters.
// A longer line cannot be skipped safely and ends the reading of the file;
// the user is told where, since everything after it is lost to the model.
void skipLine(std::istream& in) {
    std::size_t length = 0;
    for (int c = in.get(); c != '\n'; c = in.get()) {
        if (c == std::char_traits<char>::eof()) return;
        // The carriage return of a Windows line end belongs to the line end.
        if (c == '\r' && in.peek() == '\n') continue;
        if (++length > maxSkippedLine) {
            in.setstate(std::ios::failbit);
            reportError("Line %u is longer than %u characters: the model file is read no further",
                        EntityList::lineNumber, static_cast<unsigned>(maxSkippedLine));
            return;
        }
    }
}
}  // namespace

bool readWord(std::istream& in, std::string& word, std::size_t maxLength) {
    word.clear();
    // The common case in the buffer's memory: a stream tied to none, the word ended there by white space. What
    // is in memory is taken as the stream would take it; the rest (the end of the memory, of the input) the
    // stream's own way below.
    bool started = false;
    if (in.good() && !in.tie()) {
        std::streambuf& buffer = *in.rdbuf();
        const char* const first = GetArea::next(buffer);
        const char* const end = GetArea::end(buffer);
        const char* p = first;
        while (p < end && std::isspace(static_cast<unsigned char>(*p))) ++p;
        const char* const start = p;
        while (p < end && !std::isspace(static_cast<unsigned char>(*p))) ++p;
        word.assign(start, std::min<std::size_t>(static_cast<std::size_t>(p - start), maxLength));
        GetArea::take(buffer, p - first);
        started = p > start;
        if (started && p < end) return true;
    }
    // A word begun in memory goes on where it stopped; skipping white space there would meet the end of the input
    // first and fail the stream.
    if (!started) in >> std::ws;
    for (int c = in.peek(); c != std::char_traits<char>::eof() && !std::isspace(c); c = in.peek()) {
        if (word.size() < maxLength) word += static_cast<char>(c);
        in.get();
    }
    if (word.empty()) in.setstate(std::ios::failbit);
    return !word.empty();
}

Entity* createEntity(const std::string& keyword) {
    if (is(keyword, "EntityList")) return new EntityList;
    if (is(keyword, "Face")) return new Face;
    if (is(keyword, "Wall")) return new Wall;
    if (is(keyword, "Hole")) return new Hole;
    if (is(keyword, "Door")) return new Door;
    if (is(keyword, "Source")) return new Source;
    if (is(keyword, "Receiver")) return new Receiver;
    return nullptr;
}

EntityList::~EntityList() {
    // Iterative, so that a list of a million faces does not recurse.
    for (Entity* child = first; child;) {
        Entity* following = child->next;
        delete child;
        child = following;
    }
}

namespace {
// How far fileLine has counted the lines of the stream being read, so that a
// file of many unknown entities is counted once, not once per entity. A
// reading of a whole list starts the count afresh: another stream may since
// stand at the same address.
thread_local const std::istream* counted = nullptr;
thread_local std::streamoff countedTo = 0;
thread_local unsigned countedLines = 1;
}  // namespace

unsigned EntityList::fileLine(std::istream& in) {
    const std::ios::iostate state = in.rdstate();
    in.clear();
    const std::streamoff at = in.tellg();
    unsigned line = 0;
    if (at >= 0) {
        if (counted != &in || at < countedTo) {
            counted = &in;
            countedTo = 0;
            countedLines = 1;
        }
        in.seekg(countedTo);
        for (; countedTo < at; ++countedTo)
            if (in.get() == '\n') ++countedLines;
        line = countedLines;
        in.seekg(at);
    }
    in.clear(state);
    return line;
}

void EntityList::read(std::istream& in) {
    if (nesting == maxNesting) {
        in.setstate(std::ios::failbit);
        reportError("Lists nested deeper than %u levels in line %u: the model file is read no further", maxNesting,
                    lineNumber);
        return;
    }
    if (nesting == 0) counted = nullptr;
    ++nesting;
    readBody(in);
    --nesting;
}

void EntityList::readBody(std::istream& in) {
    std::string word;
    ++lineNumber;
    if (!readWord(in, word, maxKeyword)) return;
    while (!is(word, "End")) {
        Entity* entity = createEntity(word);
        if (!entity) {
            if (!is(word, "Ray") && !is(word, "Text")) {
                reportError("Unknown entity in line %u: '%s'", lineNumber, word.c_str());
                // The count above is of records; a record may span lines.
                if (const unsigned line = fileLine(in))
                    reportWarning("The unknown entity '%s' is in line %u of the file", word.c_str(), line);
            }
            skipLine(in);
            ++lineNumber;
            if (!in || !readWord(in, word, maxKeyword)) return;
            continue;
        }
        entity->read(in);
        if (entity->isValid())
            append(entity);
        else
            delete entity;
        if (lineNumber % 10000 == 0) showStatus("Reading line %u...", lineNumber);
        ++lineNumber;
        if (!in || !readWord(in, word, maxKeyword)) return;
    }
}

void EntityList::write(std::ostream& out) const {
    ++writeDepth;
    for (const Entity* child = first; child; child = child->next) {
        out << '\n' << std::flush << std::string(writeDepth, ' ') << child->typeName() << ' ';
        child->write(out);
    }
    --writeDepth;
    out << '\n' << std::string(std::max(writeDepth, 0), ' ') << "End";
    if (writeDepth == 0) out << '\n';
}

void EntityList::exportDxf(std::ostream& out) const {
    for (const Entity* child = first; child; child = child->next) child->exportDxf(out);
}

void EntityList::extendBox(Coord& min, Coord& max) const {
    for (const Entity* child = first; child; child = child->next) child->extendBox(min, max);
}

void EntityList::prepend(Entity* child) {
    if (!first) {
        append(child);
        return;
    }
    child->next = first;
    first = child;
    ++count;
}

void EntityList::append(Entity* child) {
    child->next = nullptr;
    if (last)
        last->next = child;
    else
        first = child;
    last = child;
    ++count;
}

bool EntityList::remove(Entity* child, bool destroy) {
    Entity* before = nullptr;
    Entity* at = first;
    while (at && at != child) {
        before = at;
        at = at->next;
    }
    if (!at) return false;
    (before ? before->next : first) = child->next;
    if (last == child) last = before;
    --count;
    if (destroy)
        delete child;
    else
        child->next = nullptr;
    return true;
}

Entity* EntityList::takeFirst() {
    Entity* child = first;
    if (child) remove(child, false);
    return child;
}
