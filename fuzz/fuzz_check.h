// Checks inside fuzz targets: a broken property prints what failed and aborts, so libFuzzer keeps
// the input as a crash.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string_view>

#define QM_FUZZ_CHECK(condition)                                                                     \
    do {                                                                                             \
        if (!(condition)) {                                                                          \
            std::fprintf(stderr, "%s:%d: property failed: %s\n", __FILE__, __LINE__, #condition);    \
            std::abort();                                                                            \
        }                                                                                            \
    } while (false)

namespace qm::fuzz {

// Reads the input front to back; past the end every read gives 0, so a short input is still usable.
class Input {
public:
    Input(const unsigned char* data, std::size_t size) : data_(data), size_(size) {}

    unsigned Byte() { return pos_ < size_ ? data_[pos_++] : 0u; }
    unsigned Bits16() { return Byte() | (Byte() << 8); }
    unsigned Bits32() { return Bits16() | (Bits16() << 16); }
    std::size_t Left() const { return size_ - pos_; }
    const unsigned char* Rest() const { return data_ + pos_; }
    // The next `n` bytes (fewer at the end) as text.
    std::string_view Text(std::size_t n)
    {
        n = n < Left() ? n : Left();
        std::string_view text(reinterpret_cast<const char*>(data_ + pos_), n);
        pos_ += n;
        return text;
    }
    std::string_view RestText() { return Text(Left()); }

private:
    const unsigned char* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

} // namespace qm::fuzz
