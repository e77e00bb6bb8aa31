// Proxy settings from the environment: a proxy value that reads must read back the same
// from the address it gives; a no_proxy list must match exactly when one of its entries
// matches on its own, whatever the letter case of the host; and the settings must send a
// target through the proxy exactly when the list does not match it.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <string>

#include "platform/Ascii.h"
#include "platform/NoProxyList.h"
#include "platform/ProxyUrl.h"
#include "platform/SystemProxy.h"
#include "support/FuzzCheck.h"

namespace {

using namespace RVUtil::platform;

bool AnyEntryMatches(std::string_view list, std::string_view host, std::uint16_t port) {
    constexpr std::string_view kSeparators = ", \t\r\n";
    for (std::size_t at = 0; at < list.size();) {
        const std::size_t end = std::min(list.find_first_of(kSeparators, at), list.size());
        if (end > at && NoProxyMatches(list.substr(at, end - at), host, port)) {
            return true;
        }
        at = end + 1;
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const std::string value = input.ConsumeRandomLengthString(256);
    const std::string list = input.ConsumeRandomLengthString(256);
    const std::string host = input.ConsumeRandomLengthString(256);
    const auto port = input.ConsumeIntegral<std::uint16_t>();

    const std::optional<ProxyServer> proxy = ParseProxyUrl(value);
    if (proxy) {
        FUZZ_CHECK(!proxy->host.empty() && proxy->port != 0);
        const std::optional<ProxyServer> again = ParseProxyUrl(proxy->Address());
        FUZZ_CHECK(again && again->scheme == proxy->scheme && again->host == proxy->host &&
                   again->port == proxy->port);
    }

    const bool matches = NoProxyMatches(list, host, port);
    FUZZ_CHECK(matches == AnyEntryMatches(list, host, port));
    std::string upper = host;
    std::transform(upper.begin(), upper.end(), upper.begin(), RVUtil::ascii::ToUpper);
    FUZZ_CHECK(matches == NoProxyMatches(list, upper, port));
    FUZZ_CHECK(!NoProxyMatchesAll(list) || matches);

    SystemProxySettings settings;
    settings.http = proxy;
    settings.noProxy = list;
    const ProxyServer* chosen = settings.ForTarget("http", host, port);
    const bool direct = NoProxyMatches(list, host, port == 0 ? 80 : port);
    FUZZ_CHECK(chosen == (proxy && !direct ? &*settings.http : nullptr));
    FUZZ_CHECK((settings.Named() != nullptr) == (proxy && !NoProxyMatchesAll(list)));
    return 0;
}
