#pragma once
// Names put together in a buffer of fixed size, as std::snprintf would with "%s" and "%02d",
// without the C library's formatter: its floating-point paths run on the x87, and integer
// code reaches none of it (cmake/CheckRuntimeReach.py).
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace morvane {

// A number written as "%02d" writes it: at least two digits, a sign before them.
struct TwoDigits {
    int32_t value;
};

// Text appended to an array: what does not fit is cut, and it always ends in a NUL.
class NameText {
public:
    template <size_t N>
    explicit NameText(char (&buffer)[N]) : buffer_(buffer), size_(N) {
        static_assert(N > 0);
        buffer_[0] = '\0';
    }

    NameText& operator<<(std::string_view text) {
        for (const char c : text) Put(c);
        return *this;
    }
    NameText& operator<<(TwoDigits number) {
        const int32_t value = number.value;
        uint32_t magnitude = value < 0 ? 0u - static_cast<uint32_t>(value) : static_cast<uint32_t>(value);
        char digits[10];
        size_t count = 0;
        do {
            digits[count++] = static_cast<char>('0' + magnitude % 10);
            magnitude /= 10;
        } while (magnitude != 0);
        if (value < 0) Put('-');
        if (value >= 0 && count < 2) Put('0');
        while (count > 0) Put(digits[--count]);
        return *this;
    }

    // The whole text fitted, its NUL included.
    bool whole() const { return length_ < size_; }

private:
    void Put(char c) {
        if (length_ + 1 < size_) {
            buffer_[length_] = c;
            buffer_[length_ + 1] = '\0';
        }
        ++length_;
    }

    char* buffer_;
    size_t size_;
    size_t length_ = 0;  // of the whole text, cut or not
};

}  // namespace morvane
