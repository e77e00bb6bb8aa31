// End to end through CRVHttpFetcher and RVUtil_gfnReadHTML: one fetcher serves every
// response of every input, as a host keeps one for its thread, so whatever a response
// leaves behind on the fetcher (its pooled connection above all) meets the next one.
#include "RVUtil/CRVHttpFetcher.h"
#include "RVUtil/InetReadFunctions.h"
#include "support/EndToEnd.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    rvfuzz::RunWithLongLivedFetcher<RVUtil::CRVHttpFetcher>(
        rvfuzz::Text(data, size),
        [](auto&&... args) { return RVUtil::RVUtil_gfnReadHTML(args...); });
    return 0;
}
