#include "config/IniReader.h"

namespace morvane {

namespace {

bool IsSpace(char c) {
    const auto b = static_cast<unsigned char>(c);
    return (b >= 0x09 && b <= 0x0D) || b == 0x20;
}

int DigitValue(char c, int base) {
    int v = -1;
    if (c >= '0' && c <= '9') v = c - '0';
    else if (c >= 'a' && c <= 'f') v = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F') v = c - 'A' + 10;
    return v < base ? v : -1;
}

bool IsQuote(char c) { return c == '"' || c == '\''; }

bool StartsWithHexPrefix(std::string_view text) {
    return text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
}

}  // namespace

void TrimText(std::string& text, bool left, bool right) {
    if (text.empty()) return;
    size_t marks = 0;
    while (text.compare(marks, 3, "\xEF\xBB\xBF") == 0) marks += 3;
    text.erase(0, marks);
    if (left) {
        size_t start = 0;
        while (start < text.size() && IsSpace(text[start])) ++start;
        text.erase(0, start);
    }
    if (right) {
        size_t end = text.size();
        while (end > 0 && IsSpace(text[end - 1])) --end;
        text.resize(end);
    }
}

namespace {

void AppendUtf8(std::string& out, uint32_t code) {
    if (code < 0x80) {
        out.push_back(static_cast<char>(code));
    } else if (code < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (code >> 6)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (code >> 12)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (code >> 18)));
        out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
}

}  // namespace

std::string DecodeSettingsText(std::string_view bytes) {
    const bool little = bytes.substr(0, 2) == "\xFF\xFE";
    const bool big = bytes.substr(0, 2) == "\xFE\xFF";
    if (!little && !big) return std::string(bytes);
    auto unit = [&](size_t at) -> uint32_t {
        const auto lo = static_cast<uint8_t>(bytes[at + (little ? 0 : 1)]);
        const auto hi = static_cast<uint8_t>(bytes[at + (little ? 1 : 0)]);
        return lo | hi << 8;
    };
    std::string out;
    out.reserve(bytes.size() / 2);
    for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
        uint32_t code = unit(i);
        if (code >= 0xD800 && code < 0xDC00 && i + 3 < bytes.size()) {
            const uint32_t low = unit(i + 2);
            if (low >= 0xDC00 && low < 0xE000) {
                code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
                i += 2;
            }
        }
        if (code >= 0xD800 && code < 0xE000) code = 0xFFFD;  // a lone surrogate
        AppendUtf8(out, code);
    }
    return out;
}

std::string TextModeContent(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') continue;
        out.push_back(bytes[i]);
    }
    return out;
}

std::string_view WholeLines(std::string_view content) { return content.substr(0, content.rfind('\n') + 1); }

IniSections ParseIni(std::string_view content, IniLineObserver* observer) {
    IniSections sections;
    std::string current;
    size_t start = 0;
    size_t number = 0;
    while (start <= content.size()) {
        ++number;
        size_t end = content.find('\n', start);
        if (end == std::string_view::npos) end = content.size();
        std::string line(content.substr(start, end - start));
        start = end + 1;

        if (const size_t semicolon = line.find(';'); semicolon != std::string::npos) line.resize(semicolon);
        if (const size_t slashes = line.rfind(" //"); slashes != std::string::npos) line.resize(slashes);
        TrimText(line, true, true);
        if (line.empty()) continue;

        if (line.front() == '[' && line.back() == ']') {
            current = line.substr(1, line.size() - 2);
            TrimText(current, true, true);
            sections[current];
            if (observer) observer->Line({number, true, current, {}, {}, true});
            continue;
        }
        const size_t equals = line.find('=');
        std::string key = line.substr(0, equals);
        std::string value = equals == std::string::npos ? std::string() : line.substr(equals + 1);
        TrimText(key, false, true);
        TrimText(value, true, false);
        if (!observer) {
            sections[current].emplace(std::move(key), std::move(value));
            continue;
        }
        const bool kept = sections[current].emplace(key, value).second;
        observer->Line({number, false, current, key, value, kept});
    }
    return sections;
}

int32_t ClampTriState(int32_t value) { return (value < -1 || value > 1) ? -1 : value; }

std::string ResolveIniPath(std::string_view modulePath, std::string_view name) {
    if (name.find(':') != std::string_view::npos) return std::string(name);
    if (name.empty()) {
        const size_t dot = modulePath.rfind('.');
        return std::string(modulePath.substr(0, dot)) + ".ini";
    }
    const size_t slash = modulePath.rfind('\\');
    if (slash == std::string_view::npos) return std::string(name);
    return std::string(modulePath.substr(0, slash + 1)) + std::string(name);
}

bool ParseIniInt(std::string_view text, int32_t& value, size_t* used) {
    const int base = StartsWithHexPrefix(text) ? 16 : 10;
    size_t i = 0;
    while (i < text.size() && IsSpace(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    if (base == 16 && StartsWithHexPrefix(text.substr(i))) i += 2;

    constexpr int64_t kLimit = 2147483648LL;  // the magnitude of INT32_MIN
    int64_t magnitude = 0;
    bool anyDigit = false;
    for (int d; i < text.size() && (d = DigitValue(text[i], base)) >= 0; ++i) {
        anyDigit = true;
        magnitude = magnitude * base + d;
        if (magnitude > kLimit) return false;
    }
    if (!anyDigit) return false;
    if (!negative && magnitude == kLimit) return false;
    value = static_cast<int32_t>(negative ? -magnitude : magnitude);
    if (used) *used = i;
    return true;
}

const std::string* IniReader::Find(const char* section, const char* key) const {
    const auto s = sections.find(section);
    if (s == sections.end()) return nullptr;
    const auto k = s->second.find(key);
    return k == s->second.end() ? nullptr : &k->second;
}

int32_t IniReader::ReadInt(const char* section, const char* key, int32_t fallback) const {
    const std::string* stored = Find(section, key);
    const std::string text = stored ? *stored : std::to_string(fallback);
    int32_t value;
    return ParseIniInt(text, value) ? value : fallback;
}

std::string_view Unquoted(std::string_view value) {
    if (!value.empty() && IsQuote(value.front())) value.remove_prefix(1);
    if (!value.empty() && IsQuote(value.back())) value.remove_suffix(1);
    return value;
}

std::string IniReader::ReadText(const char* section, const char* key, const char* fallback) const {
    const std::string* stored = Find(section, key);
    if (stored == nullptr || stored->empty()) return fallback;
    if (stored->size() == 1 && IsQuote(stored->front())) return fallback;  // only a quote
    return std::string(Unquoted(*stored).substr(0, kMaxTextLength));
}

bool IniReader::ReadBool(const char* section, const char* key) const { return ReadInt(section, key, 0) == 1; }

int32_t IniReader::ReadTriState(const char* section, const char* key) const {
    return ClampTriState(ReadInt(section, key, -1));
}

}  // namespace morvane
