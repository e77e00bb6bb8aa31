#include "platform/FormatText.h"

#include <cstdio>

namespace RVUtil::platform {
namespace {

// A copy of an argument list, ended however the scope is left.
struct ArgsCopy {
    explicit ArgsCopy(va_list args) { va_copy(list, args); }
    ~ArgsCopy() { va_end(list); }
    ArgsCopy(const ArgsCopy&) = delete;
    ArgsCopy& operator=(const ArgsCopy&) = delete;
    va_list list;
};

}  // namespace

bool AppendFormatV(std::string& out, const char* format, va_list args) {
    if (format == nullptr) {
        return true;
    }
    // Most texts fit the stack buffer, so they are formatted once; a longer one is formatted
    // again into its place at the end of out.
    char small[512];
    ArgsCopy again(args);
    const int needed = std::vsnprintf(small, sizeof small, format, args);
    if (needed >= 0 && static_cast<std::size_t>(needed) < sizeof small) {
        out.append(small, static_cast<std::size_t>(needed));
    } else if (needed > 0) {
        const std::size_t old = out.size();
        out.resize(old + static_cast<std::size_t>(needed));
        std::vsnprintf(out.data() + old, static_cast<std::size_t>(needed) + 1, format, again.list);
    }
    return needed >= 0;
}

std::string FormatText(const char* format, ...) {
    std::string text;
    va_list args;
    va_start(args, format);
    AppendFormatV(text, format, args);
    va_end(args);
    return text;
}

}  // namespace RVUtil::platform
