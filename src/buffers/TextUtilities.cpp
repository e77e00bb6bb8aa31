#include "RVUtil/TextUtilities.h"

#include <sys/random.h>

#include <cstdint>
#include <cstdio>

namespace RVUtil {

namespace {

// The 8-4-4-4-12 lower-case text of a fresh random (version 4) GUID, from the kernel's
// random source. When that source cannot deliver (it can only be unready very early in a
// machine's start), the answer is an empty string rather than an identifier that is not
// fresh.
CString FreshGuidText() {
    std::uint8_t b[16];
    std::size_t filled = 0;
    while (filled < sizeof b) {
        const ssize_t n = getrandom(b + filled, sizeof b - filled, 0);
        if (n <= 0) {
            return CString();
        }
        filled += static_cast<std::size_t>(n);
    }
    b[6] = static_cast<std::uint8_t>((b[6] & 0x0f) | 0x40);  // version 4: random
    b[8] = static_cast<std::uint8_t>((b[8] & 0x3f) | 0x80);  // the standard's variant
    char text[37];
    std::snprintf(text, sizeof text,
                  "%02x%02x%02x%02x-%02x%02x-%02x%02x-%02x%02x-%02x%02x%02x%02x%02x%02x", b[0],
                  b[1], b[2], b[3], b[4], b[5], b[6], b[7], b[8], b[9], b[10], b[11], b[12], b[13],
                  b[14], b[15]);
    return CString(text);
}

}  // namespace

CString RVUtil_gfnGenerateGUID() {
    CString text = FreshGuidText();
    text.Remove('-');
    return text;
}

CString RVUtil_gfnGenerateGUID2() {
    return FreshGuidText();
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
