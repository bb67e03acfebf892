#pragma once
#include <algorithm>
#include <streambuf>
#include <string>

/// Gives a text out a few characters at a time, as a file's buffer does at the ends of its blocks: a number or a
/// word that goes on past what is in memory must be read across the refill.
class ChunkBuffer : public std::streambuf {
public:
    ChunkBuffer(const std::string& text, std::size_t chunk) : text_(text), chunk_(chunk) {
        setg(text_.data(), text_.data(), text_.data());
    }

private:
    int_type underflow() override {
        char* at = egptr();
        if (at == text_.data() + text_.size()) return traits_type::eof();
        setg(at, at, at + std::min(chunk_, static_cast<std::size_t>(text_.data() + text_.size() - at)));
        return traits_type::to_int_type(*at);
    }
    std::string text_;
    std::size_t chunk_;
};
