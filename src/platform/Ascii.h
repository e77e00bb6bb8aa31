#pragma once

#include <string>
#include <string_view>

// ASCII character rules for protocol text (header names, URLs, numbers on the wire) and for
// the framework string's case folding and trimming. They never consult the locale: HTTP is
// ASCII whatever the host's language settings are. Header-only, so that rvfetch, which
// links only the shared library, can use them too.
namespace RVUtil::ascii {

constexpr char ToLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}
constexpr char ToUpper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}
constexpr bool IsAlpha(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
constexpr bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}
constexpr bool IsAlnum(char c) {
    return IsAlpha(c) || IsDigit(c);
}
// The value of one hexadecimal digit, either letter case; -1 for any other character.
constexpr int HexDigitValue(char c) {
    if (IsDigit(c)) {
        return c - '0';
    }
    const char lower = ToLower(c);
    return (lower >= 'a' && lower <= 'f') ? lower - 'a' + 10 : -1;
}
// Space and horizontal tab: the blanks that HTTP allows around values.
constexpr bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}
constexpr bool IsLineEnd(char c) {
    return c == '\r' || c == '\n';
}
// What a pasted URL or proxy setting may carry around it.
constexpr bool IsBlankOrLineEnd(char c) {
    return IsBlank(c) || IsLineEnd(c);
}
// The characters isspace accepts in the "C" locale.
constexpr bool IsSpace(char c) {
    return IsBlank(c) || IsLineEnd(c) || c == '\v' || c == '\f';
}
// Control characters: 0x00 to 0x1f and DEL.
constexpr bool IsControl(char c) {
    return static_cast<unsigned char>(c) < 0x20 || c == 0x7f;
}

constexpr bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (ToLower(a[i]) != ToLower(b[i])) {
            return false;
        }
    }
    return true;
}

inline std::string Lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        c = ToLower(c);
    }
    return out;
}

// s without the characters at its start (TrimLeft), its end (TrimRight) or both (Trim) for
// which drop is true.
template <class Drop>
constexpr std::string_view TrimLeft(std::string_view s, Drop drop) {
    while (!s.empty() && drop(s.front())) {
        s.remove_prefix(1);
    }
    return s;
}
template <class Drop>
constexpr std::string_view TrimRight(std::string_view s, Drop drop) {
    while (!s.empty() && drop(s.back())) {
        s.remove_suffix(1);
    }
    return s;
}
template <class Drop>
constexpr std::string_view Trim(std::string_view s, Drop drop) {
    return TrimRight(TrimLeft(s, drop), drop);
}
constexpr std::string_view TrimBlanks(std::string_view s) {
    return Trim(s, IsBlank);
}

}  // namespace RVUtil::ascii
