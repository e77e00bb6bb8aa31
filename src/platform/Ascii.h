#pragma once

#include <string_view>

// ASCII character rules for protocol text (header names, URLs, numbers on the wire). They
// never consult the locale: HTTP is ASCII whatever the host's language settings are.
namespace RVUtil::ascii {

constexpr char ToLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}
constexpr char ToUpper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}
constexpr bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}
// Space and horizontal tab: the blanks that HTTP allows around values.
constexpr bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}
// The characters isspace accepts in the "C" locale.
constexpr bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
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

// s without the blanks at either end.
constexpr std::string_view TrimBlanks(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) {
        s.remove_prefix(1);
    }
    while (!s.empty() && IsBlank(s.back())) {
        s.remove_suffix(1);
    }
    return s;
}

}  // namespace RVUtil::ascii
