#include "log/RecordText.h"

#include <algorithm>

#include "log/PXLog.h"
#include "platform/Ascii.h"
#include "platform/FormatText.h"

namespace RVUtil::log {

const char* LevelName(int level) {
    switch (level) {
        case CPXLog::LVL_FATAL:
            return "FATAL";
        case CPXLog::LVL_ERROR:
            return "ERROR";
        case CPXLog::LVL_WARNING:
            return "WARNING";
        case CPXLog::LVL_INFO:
            return "INFO";
        case CPXLog::LVL_NOTICE:
            return "NOTICE";
        case CPXLog::LVL_DEBUG:
            return "DEBUG";
        default:
            return nullptr;
    }
}

// An encoding error in the arguments keeps at least the format.
std::string FormatV(const char* format, va_list args) {
    std::string text;
    if (!platform::AppendFormatV(text, format, args)) {
        text = format;
    }
    return text;
}

std::string EscapeControls(std::string text) {
    if (std::none_of(text.begin(), text.end(), ascii::IsControl)) {
        return text;
    }
    std::string escaped;
    escaped.reserve(text.size() + 16);
    for (const char c : text) {
        if (!ascii::IsControl(c)) {
            escaped += c;
        } else if (c == '\r') {
            escaped += "\\r";
        } else if (c == '\n') {
            escaped += "\\n";
        } else if (c == '\t') {
            escaped += "\\t";
        } else {
            static const char kHex[] = "0123456789abcdef";
            const auto byte = static_cast<unsigned char>(c);
            escaped += "\\x";
            escaped += kHex[byte >> 4];
            escaped += kHex[byte & 0xf];
        }
    }
    return escaped;
}

}  // namespace RVUtil::log
