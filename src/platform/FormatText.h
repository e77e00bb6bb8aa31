#pragma once

#include <cstdarg>
#include <string>

// printf-style formatting into std::string, for the framework string's Format and for the
// log's records.
namespace RVUtil::platform {

// Appends the text of format and args to out. False, with out as it was, when the
// arguments cannot be formatted (an encoding error); a null format appends nothing.
bool AppendFormatV(std::string& out, const char* format, va_list args);

// The text of format and its arguments; empty when they cannot be formatted.
std::string FormatText(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace RVUtil::platform
