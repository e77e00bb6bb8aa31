#include "RVUtil/TextUtilities.h"

#include <uuid/uuid.h>

namespace RVUtil {

namespace {

// The 8-4-4-4-12 lower-case text of a fresh random GUID. libuuid reports no failure (it
// falls back to its own generator when the system's random source is unavailable); the
// nil GUID is what a broken generator would leave, so it gives an empty string rather
// than an identifier that is not fresh.
CString freshGuidText() {
    uuid_t guid;
    uuid_generate_random(guid);
    if (uuid_is_null(guid)) {
        return CString();
    }
    char text[37];
    uuid_unparse_lower(guid, text);
    return CString(text);
}

}  // namespace

CString RVUtil_gfnGenerateGUID() {
    CString text = freshGuidText();
    text.Remove('-');
    return text;
}

CString RVUtil_gfnGenerateGUID2() {
    return freshGuidText();
}

CString RVUtil_TimeFormatter_HHMMSS(double dTime) {
    // NaN fails the comparison as well.
    if (!(dTime > 0)) {
        return CString();
    }
    // An integer part beyond a signed 32-bit number is no HHMMSS time; converting it would
    // be undefined, so it gives the same empty answer as a value not above zero.
    if (dTime >= 2147483648.0) {
        return CString();
    }
    const int n = static_cast<int>(dTime);  // truncates toward zero
    CString text;
    text.Format("%02d%02d%02d", n / 10000, n % 10000 / 100, n % 100);
    return text;
}

}  // namespace RVUtil
