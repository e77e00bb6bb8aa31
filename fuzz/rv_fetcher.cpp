// End to end through CRVHttpFetcher and RVUtil_gfnReadHTML (and its POST form): one fetcher
// serves every response of every input, as a host keeps one for its thread, so whatever a
// response leaves behind on the fetcher (its pooled connection above all) meets the next one.
#include "ReadFamilies.h"
#include "support/EndToEnd.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    rvfuzz::RunWithLongLivedFetcher<rvtest::InetFamily>(rvfuzz::Text(data, size));
    return 0;
}
