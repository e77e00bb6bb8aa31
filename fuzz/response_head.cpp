// The transport's response head: where the head ends, found in one piece and as the bytes
// arrive, must agree; a head that reads must read alike under both rules for unreadable
// lengths where the rule does not matter, and again from its own raw block; the header
// lines recorded from that block must be those of the head as it was received.
#include "support/FuzzCheck.h"
#include "support/Pairs.h"
#include "transport/ResponseHead.h"

namespace {

using RVUtil::transport::ResponseHead;

bool SameHead(const ResponseHead& a, const ResponseHead& b) {
    return a.status == b.status && a.parsed.View().Code() == b.parsed.View().Code() &&
           a.parsed.Raw() == b.parsed.Raw() && a.framing == b.framing &&
           a.contentLength == b.contentLength && a.keepAlive == b.keepAlive;
}

// The end of the head found while the input arrives in pieces of 1, 2, 3... bytes.
std::size_t HeadEndInPieces(std::string_view input) {
    std::size_t seen = 0;
    for (std::size_t piece = 1; seen < input.size(); ++piece) {
        const std::size_t before = seen;
        seen = std::min(input.size(), seen + piece);
        if (const std::size_t end =
                RVUtil::transport::FindResponseHeadEnd(input.substr(0, seen), before)) {
            return end;
        }
    }
    return 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace RVUtil::transport;
    const std::string_view input = rvfuzz::Text(data, size);
    const std::size_t end = FindResponseHeadEnd(input);
    FUZZ_CHECK(end <= input.size());
    FUZZ_CHECK(HeadEndInPieces(input) == end);

    // Unterminated text must be read without harm as well.
    ResponseHead any;
    (void)ParseResponseHead(input, &any);
    if (end == 0) {
        return 0;
    }
    const std::string_view head = input.substr(0, end);
    ResponseHead strict;
    ResponseHead lenient;
    const InetError strictResult = ParseResponseHead(head, &strict, UnreadableLength::Refuse);
    const InetError lenientResult = ParseResponseHead(head, &lenient, UnreadableLength::Ignore);
    if (strictResult != kInetOk) {
        return 0;
    }
    FUZZ_CHECK(lenientResult == kInetOk && SameHead(strict, lenient));
    FUZZ_CHECK(strict.status >= 0 && strict.status <= 999 &&
               strict.parsed.View().Code().size() == 3);

    ResponseHead again;
    FUZZ_CHECK(ParseResponseHead(strict.parsed.Raw(), &again) == kInetOk &&
               SameHead(strict, again));
    FUZZ_CHECK(
        rvfuzz::SamePairs(rvfuzz::RecordedPairs(head), rvfuzz::RecordedPairs(strict.parsed.Raw())));
    return 0;
}
