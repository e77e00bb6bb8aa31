// End to end through CCurlHttpFetcher and RVUtil_gfnCurlReadHTML (and its POST form): one
// fetcher serves every response of every input, as a host keeps one for its thread, so
// whatever a response leaves behind on the fetcher meets the next one.
#include "ReadFamilies.h"
#include "support/EndToEnd.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    rvfuzz::RunWithLongLivedFetcher<rvtest::CurlFamily>(rvfuzz::Text(data, size));
    return 0;
}
