#pragma once

#include <cstdarg>
#include <string>

namespace RVUtil::log {

// How a record's text is made: the name of its level, the text of its format and arguments,
// and its control characters made visible.

// FATAL, ERROR, WARNING, INFO, NOTICE or DEBUG; null for a level without a name.
const char* LevelName(int level);

// The text of a printf-style format and its arguments.
std::string FormatV(const char* format, va_list args);

// Control characters would let a logged URL, header value or message break its record
// into several lines (or forge a record of its own); each becomes a visible escape:
// \r, \n, \t, or \xNN.
std::string EscapeControls(std::string text);

}  // namespace RVUtil::log
