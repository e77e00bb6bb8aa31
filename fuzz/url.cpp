// URL cracking as CRVHttpFetcher offers it to hosts, with its buffer contract: a writable
// URL buffer of 2048 bytes, a host buffer of 256 and a path buffer of 2048, each allocated
// at exactly that size so that a write past it is caught. Checked: what is delivered fits
// and is terminated, nothing is delivered on failure, the canonical form written back is
// its own canonical form and cracks the same way again.
#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

#include "RVUtil/CRVHttpFetcher.h"
#include "support/FuzzCheck.h"
#include "transport/UrlCracker.h"

namespace {

constexpr std::size_t kUrlBuffer = 2048;
constexpr std::size_t kHostBuffer = 256;
constexpr std::size_t kPathBuffer = 2048;
constexpr char kUntouched = 0x5a;
constexpr unsigned short kUntouchedPort = 0x5a5a;

class Cracker : public RVUtil::CRVHttpFetcher {
  public:
    using CRVHttpFetcher::CrackUrl;
};

struct Cracked {
    RVUtil::CRVHttpFetcher::Protocol protocol;
    std::unique_ptr<char[]> url{new char[kUrlBuffer]};
    std::unique_ptr<char[]> host{new char[kHostBuffer]};
    std::unique_ptr<char[]> path{new char[kPathBuffer]};
    unsigned short port = kUntouchedPort;

    // The URL as a host would pass it: the first 2047 bytes of text, terminated.
    Cracked(Cracker& cracker, std::string_view text) {
        const std::size_t length = std::min(text.size(), kUrlBuffer - 1);
        std::memcpy(url.get(), text.data(), length);
        url[length] = '\0';
        std::memset(host.get(), kUntouched, kHostBuffer);
        std::memset(path.get(), kUntouched, kPathBuffer);
        protocol = cracker.CrackUrl(url.get(), host.get(), path.get(), &port);
    }
};

bool Untouched(const char* buffer, std::size_t size) {
    return std::all_of(buffer, buffer + size, [](char c) { return c == kUntouched; });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using RVUtil::CRVHttpFetcher;
    static Cracker cracker;
    const std::string_view text = rvfuzz::Text(data, size);

    // The transport's own canonical form, on the whole text: a fixed point.
    std::string canonical;
    if (RVUtil::transport::CanonicalizeUrl(text, &canonical)) {
        std::string twice;
        FUZZ_CHECK(RVUtil::transport::CanonicalizeUrl(canonical, &twice) && twice == canonical);
        RVUtil::transport::UrlParts parts;
        (void)RVUtil::transport::CrackUrl(canonical, &parts);
    }

    const Cracked first(cracker, text);
    if (first.protocol == CRVHttpFetcher::PROTOCOL_UNKNOWN) {
        FUZZ_CHECK(Untouched(first.host.get(), kHostBuffer));
        FUZZ_CHECK(Untouched(first.path.get(), kPathBuffer));
        FUZZ_CHECK(first.port == kUntouchedPort);
        return 0;
    }
    FUZZ_CHECK(std::memchr(first.host.get(), '\0', kHostBuffer) != nullptr);
    FUZZ_CHECK(std::memchr(first.path.get(), '\0', kPathBuffer) != nullptr);
    FUZZ_CHECK(first.path[0] == '/' && first.port != 0);

    // The canonical form left in the URL buffer cracks to the same parts.
    const Cracked second(cracker, first.url.get());
    FUZZ_CHECK(second.protocol == first.protocol && second.port == first.port);
    FUZZ_CHECK(std::strcmp(second.url.get(), first.url.get()) == 0);
    FUZZ_CHECK(std::strcmp(second.host.get(), first.host.get()) == 0);
    FUZZ_CHECK(std::strcmp(second.path.get(), first.path.get()) == 0);

    // Parts not asked for are not delivered, and the answer stays the same.
    std::unique_ptr<char[]> url(new char[kUrlBuffer]);
    std::memcpy(url.get(), first.url.get(), kUrlBuffer);
    FUZZ_CHECK(cracker.CrackUrl(url.get(), nullptr, nullptr, nullptr) == first.protocol);
    return 0;
}
