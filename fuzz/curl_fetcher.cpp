// End to end through CCurlHttpFetcher and RVUtil_gfnCurlReadHTML: one fetcher serves every
// response of every input, as a host keeps one for its thread, so whatever a response
// leaves behind on the fetcher meets the next one.
#include "RVUtil/CCurlHttpFetcher.h"
#include "RVUtil/CurlReadFunctions.h"
#include "support/EndToEnd.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    rvfuzz::RunWithLongLivedFetcher<RVUtil::CCurlHttpFetcher>(
        rvfuzz::Text(data, size),
        [](auto&&... args) { return RVUtil::RVUtil_gfnCurlReadHTML(args...); });
    return 0;
}
