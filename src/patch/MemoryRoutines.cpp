// The C library's memory and string routines for the whole plug-in, as integer code: the
// C library's own (Windows' and Wine's alike) may use SSE registers, which integer hooks
// leave as the game has them. Plain string instructions: short, and quick enough for the
// names and records the plug-in copies. The direction flag is clear in every routine the
// compiler calls.
#include <cstddef>
#include <cstdint>

extern "C" {

void* memcpy(void* to, const void* from, size_t count) {
    void* at = to;
    asm volatile("rep movsb" : "+D"(at), "+S"(from), "+c"(count) : : "memory");
    return to;
}

void* memmove(void* to, const void* from, size_t count) {
    const auto t = reinterpret_cast<uintptr_t>(to), f = reinterpret_cast<uintptr_t>(from);
    if (t - f >= count) return memcpy(to, from, count);  // no overlap that a forward copy spoils
    // Backward, from the last byte: the direction flag set for this copy alone.
    void* at = static_cast<char*>(to) + count - 1;
    from = static_cast<const char*>(from) + count - 1;
    asm volatile("std; rep movsb; cld" : "+D"(at), "+S"(from), "+c"(count) : : "memory", "cc");
    return to;
}

void* memset(void* to, int value, size_t count) {
    void* at = to;
    asm volatile("rep stosb" : "+D"(at), "+c"(count) : "a"(value) : "memory");
    return to;
}

int memcmp(const void* a, const void* b, size_t count) {
    const auto* x = static_cast<const unsigned char*>(a);
    const auto* y = static_cast<const unsigned char*>(b);
    for (size_t i = 0; i < count; ++i) {
        if (x[i] != y[i]) return x[i] < y[i] ? -1 : 1;
    }
    return 0;
}

void* memchr(const void* text, int value, size_t count) {
    const auto* at = static_cast<const unsigned char*>(text);
    for (size_t i = 0; i < count; ++i) {
        if (at[i] == static_cast<unsigned char>(value)) return const_cast<unsigned char*>(at + i);
    }
    return nullptr;
}

size_t strlen(const char* text) {
    size_t length = 0;
    while (text[length] != '\0') ++length;
    return length;
}

size_t wcslen(const wchar_t* text) {
    size_t length = 0;
    while (text[length] != L'\0') ++length;
    return length;
}

char* strchr(const char* text, int value) {
    for (;; ++text) {
        if (*text == static_cast<char>(value)) return const_cast<char*>(text);
        if (*text == '\0') return nullptr;
    }
}

int strncmp(const char* a, const char* b, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        const auto x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        if (x != y) return x < y ? -1 : 1;
        if (x == '\0') return 0;
    }
    return 0;
}

int strcmp(const char* a, const char* b) { return strncmp(a, b, SIZE_MAX); }

char* strcpy(char* to, const char* from) { return static_cast<char*>(memcpy(to, from, strlen(from) + 1)); }

char* strstr(const char* text, const char* part) {
    const size_t length = strlen(part);
    for (; *text != '\0' || length == 0; ++text) {
        if (strncmp(text, part, length) == 0) return const_cast<char*>(text);
        if (*text == '\0') break;
    }
    return nullptr;
}

}  // extern "C"
