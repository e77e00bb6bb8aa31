// The two families of read functions over the same responses: whatever a server sends, the
// curl fetcher and the own fetcher answer alike, but where ReadFamilies.h says they differ on
// purpose. Each family reads the whole input in turn, with a long-lived fetcher of its own,
// from the same loopback server, and the end-to-end checks hold for both.
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ReadFamilies.h"
#include "support/EndToEnd.h"

namespace {

using rvfuzz::Outcome;
using rvtest::CurlFamily;
using rvtest::InetFamily;

constexpr const char* kDecodeFailure = "(the body decoded to nothing)";

// The codes an outcome may stand for: its own, and for a POST the family's answer to a status
// other than 200 (kPostNot200) also stands for ERR_HTTP_STATUS, since a family that answers
// ERR_REQUEST there cannot tell such a status from a failed request.
template <class Family>
unsigned CodesOf(const Outcome& outcome) {
    unsigned codes = 1u << outcome.code;
    if (outcome.post && outcome.code == Family::kPostNot200) {
        codes |= 1u << RVUtil::ERR_HTTP_STATUS;
    }
    return codes;
}

// The full form's message with the family's own words for a body that decoded to nothing
// (none, for a family that leaves the message alone) put in common. The POST forms write no
// message.
template <class Family>
std::string MessageOf(const Outcome& outcome) {
    const char* own = Family::kDecodeFailureMessage != nullptr ? Family::kDecodeFailureMessage
                                                               : Outcome::kUntouchedMessage;
    const bool decodeFailure = !outcome.post && outcome.code == RVUtil::ERR_DECOMPRESS;
    return decodeFailure && outcome.message == own ? kDecodeFailure : outcome.message;
}

// The first bytes of a body, visible.
std::string Shown(const std::optional<std::string>& body) {
    if (!body) {
        return "(none)";
    }
    std::string shown;
    for (const char c : std::string_view(*body).substr(0, 40)) {
        char escaped[8];
        std::snprintf(escaped, sizeof escaped, c >= 0x20 && c < 0x7f ? "%c" : "\\x%02x",
                      static_cast<unsigned char>(c));
        shown += escaped;
    }
    return body->size() > 40 ? shown + "..." : shown;
}

void ReportAnswer(const char* family, const Outcome& outcome) {
    const std::string expiry =
        outcome.expiry == Outcome::kGraceExpiry ? "now + 10 s" : std::to_string(outcome.expiry);
    rvfuzz::Report("  %-4s code %d, size %ld, body \"%s\", message \"%s\", expiry %s\n", family,
                   static_cast<int>(outcome.code), outcome.size, Shown(outcome.body).c_str(),
                   outcome.message.c_str(), expiry.c_str());
}

// The one way the two read an answer differently on purpose (ReadFamilies.h,
// kKeepsErrorAnswers): the curl fetcher reads the body of an answer whose status is not 200,
// the own fetcher leaves it unread. A body there that fails fails the curl family's request
// alone, so its ERR_REQUEST stands beside the own family's status; the two connections are
// no longer alike after it.
bool ErrorBodyReadByOneAlone(const Outcome& curl, const Outcome& own) {
    static_assert(CurlFamily::kKeepsErrorAnswers && !InetFamily::kKeepsErrorAnswers);
    return curl.code == RVUtil::ERR_REQUEST && own.code == RVUtil::ERR_HTTP_STATUS;
}

void Compare(const std::vector<rvfuzz::ScriptedResponse>& responses,
             const std::vector<Outcome>& curl, const std::vector<Outcome>& own) {
    FUZZ_CHECK(curl.size() == responses.size() && own.size() == responses.size());
    for (std::size_t i = 0; i < curl.size(); ++i) {
        const Outcome& c = curl[i];
        const Outcome& o = own[i];
        const bool same = (CodesOf<CurlFamily>(c) & CodesOf<InetFamily>(o)) != 0 &&
                          MessageOf<CurlFamily>(c) == MessageOf<InetFamily>(o) &&
                          c.size == o.size && c.body == o.body && c.expiry == o.expiry;
        if (ErrorBodyReadByOneAlone(c, o)) {
            return;
        }
        if (!same) {
            rvfuzz::Report("response %zu (%s) answered differently:\n", i,
                           c.post ? "POST form" : "full form");
            ReportAnswer(CurlFamily::kName, c);
            ReportAnswer(InetFamily::kName, o);
        }
        FUZZ_CHECK(same);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input = rvfuzz::Text(data, size);
    const std::vector<Outcome> curl = rvfuzz::RunWithLongLivedFetcher<CurlFamily>(input);
    const std::vector<Outcome> own = rvfuzz::RunWithLongLivedFetcher<InetFamily>(input);
    Compare(rvfuzz::SplitResponses(input), curl, own);
    return 0;
}
