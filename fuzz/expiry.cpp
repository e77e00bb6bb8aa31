// The VR_Expired reader: any text gives either the grace of an unreadable expiry (now plus
// ten seconds) or a local time from 2000 to 2038-01-17; a well-formed expiry before 2038
// gives exactly its own local time.
#include <cstdio>
#include <ctime>

#include "LocalTime.h"
#include "RVUtil/ExpiredTime.h"
#include "support/FuzzCheck.h"

namespace {

using rvtest::LocalTime;

// The time a strictly written "Exp:YYYY-MM-DD HH:MM:SS LT" names, or -1.
std::int64_t StrictReading(std::string_view text) {
    int year, month, day, hour, minute, second, end = 0;
    const std::string copy(text);
    if (text.size() != 26 ||
        std::sscanf(copy.c_str(), "Exp:%4d-%2d-%2d %2d:%2d:%2d LT%n", &year, &month, &day, &hour,
                    &minute, &second, &end) != 6 ||
        end != 26) {
        return -1;
    }
    for (const std::size_t at : {4, 5, 6, 7, 9, 10, 12, 13, 15, 16, 18, 19, 21, 22}) {
        if (text[at] < '0' || text[at] > '9') {
            return -1;
        }
    }
    if (year < 2000 || year > 2037 || month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 ||
        minute > 59 || second > 59) {
        return -1;
    }
    return LocalTime(year, month, day, hour, minute, second);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::int64_t earliest = LocalTime(2000, 1, 1, 0, 0, 0);
    static const std::int64_t latest = LocalTime(2038, 1, 17, 23, 59, 59);
    const std::string_view text = rvfuzz::Text(data, size);
    const std::time_t before = std::time(nullptr);
    const std::int64_t read = RVUtil::RVUtil_gfnGetExpiredTime(CString(text)).GetTime();
    const std::time_t after = std::time(nullptr);

    const bool grace = read >= before + 10 && read <= after + 10;
    FUZZ_CHECK(grace || (read >= earliest && read <= latest));
    const std::int64_t strict = StrictReading(text);
    FUZZ_CHECK(strict == -1 || read == strict);
    return 0;
}
