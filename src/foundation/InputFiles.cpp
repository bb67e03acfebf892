#include "foundation/InputFiles.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <mutex>
#include <sstream>

#include "foundation/ByteForm.h"

namespace {
// What a look at a name found: a file or not, its size, and whether it opened (then its bytes).
struct Copy {
    bool file = false;
    bool opens = false;
    std::int64_t size = -1;
    std::string bytes;
};

enum class Source { disk, recording, copies };

struct State {
    std::mutex mutex;
    Source source = Source::disk;
    std::map<std::string, Copy, std::less<>> copies;
};

State& state() {
    static State s;
    return s;
}

std::int64_t sizeOnDisk(const std::string& name) {
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(name, error);
    return error ? -1 : static_cast<std::int64_t>(size);
}

bool fileOnDisk(const std::string& name) {
    std::error_code error;
    return !name.empty() && std::filesystem::exists(name, error) && !std::filesystem::is_directory(name, error);
}

Copy copyOf(const std::string& name) {
    Copy copy;
    copy.file = fileOnDisk(name);
    if (!copy.file) return copy;
    copy.size = sizeOnDisk(name);
    std::ifstream in(name, std::ios::binary);
    copy.opens = in.is_open();
    if (copy.opens) copy.bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return copy;
}

// The copy of name, made now when recording and not yet looked at; nullptr when the disk is the source.
const Copy* kept(const std::string& name) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    if (s.source == Source::disk) return nullptr;
    auto found = s.copies.find(name);
    if (found != s.copies.end()) return &found->second;
    // A name process 0 never looked at is no file for the others.
    static const Copy none;
    if (s.source == Source::copies) return &none;
    return &s.copies.emplace(name, copyOf(name)).first->second;
}

// A stream that owns its buffer.
class OwningStream : public std::istream {
public:
    explicit OwningStream(std::unique_ptr<std::streambuf> buffer) : std::istream(buffer.get()), buffer_(std::move(buffer)) {}

private:
    std::unique_ptr<std::streambuf> buffer_;
};
}  // namespace

namespace InputFiles {
bool isFile(const std::string& name) {
    const Copy* copy = kept(name);
    return copy ? copy->file : fileOnDisk(name);
}

std::int64_t size(const std::string& name) {
    const Copy* copy = kept(name);
    if (copy) return copy->size;
    return fileOnDisk(name) ? sizeOnDisk(name) : -1;
}

std::unique_ptr<std::streambuf> openBuffer(const std::string& name) {
    if (const Copy* copy = kept(name)) {
        if (!copy->opens) return nullptr;
        return std::make_unique<std::stringbuf>(copy->bytes, std::ios::in);
    }
    auto file = std::make_unique<std::filebuf>();
    if (!file->open(name, std::ios::in | std::ios::binary)) return nullptr;
    return file;
}

std::unique_ptr<std::istream> open(const std::string& name) {
    std::unique_ptr<std::streambuf> buffer = openBuffer(name);
    if (!buffer) return nullptr;
    return std::make_unique<OwningStream>(std::move(buffer));
}

void startRecording() {
    State& s = state();
    std::lock_guard lock(s.mutex);
    s.source = Source::recording;
    s.copies.clear();
}

std::string packRecord() {
    State& s = state();
    std::lock_guard lock(s.mutex);
    std::string out;
    ByteForm::put(out, static_cast<std::uint64_t>(s.copies.size()));
    for (const auto& [name, copy] : s.copies) {
        ByteForm::put(out, static_cast<std::uint64_t>(name.size()));
        out += name;
        ByteForm::put(out, static_cast<std::uint8_t>(copy.file));
        ByteForm::put(out, static_cast<std::uint8_t>(copy.opens));
        ByteForm::put(out, copy.size);
        ByteForm::put(out, static_cast<std::uint64_t>(copy.bytes.size()));
        out += copy.bytes;
    }
    return out;
}

bool readOnlyFrom(std::string_view packed) {
    auto text = [&packed](std::string& to) {
        std::uint64_t length = 0;
        if (!ByteForm::get(packed, length) || length > packed.size()) return false;
        to.assign(packed.substr(0, length));
        packed.remove_prefix(length);
        return true;
    };
    std::map<std::string, Copy, std::less<>> copies;
    std::uint64_t count = 0;
    if (!ByteForm::get(packed, count)) return false;
    for (std::uint64_t i = 0; i < count; ++i) {
        std::string name;
        Copy copy;
        std::uint8_t file = 0, opens = 0;
        if (!text(name) || !ByteForm::get(packed, file) || !ByteForm::get(packed, opens) ||
            !ByteForm::get(packed, copy.size) || !text(copy.bytes))
            return false;
        copy.file = file != 0;
        copy.opens = opens != 0;
        copies.emplace(std::move(name), std::move(copy));
    }
    if (!packed.empty()) return false;
    State& s = state();
    std::lock_guard lock(s.mutex);
    s.source = Source::copies;
    s.copies = std::move(copies);
    return true;
}

void useDisk() {
    State& s = state();
    std::lock_guard lock(s.mutex);
    s.source = Source::disk;
    s.copies.clear();
}
}  // namespace InputFiles
