// Header lines and header pairs. A block must give the same recorded pairs with its bare LF
// ends written as CR LF (a line ends at LF, one CR before it removed); every recorded name
// is non-empty and free of colons and line ends. A request header the rule accepts must
// come back, once written as "name: value", as exactly that one pair: no accepted header
// can end its line early or start another.
#include <string>

#include "RVUtil/CStringArray.h"
#include "http/HeaderLines.h"
#include "http/HeaderPairs.h"
#include "support/FuzzCheck.h"
#include "support/Pairs.h"

namespace {

std::string WithCrLf(std::string_view block) {
    std::string out;
    out.reserve(block.size() * 2);
    for (std::size_t i = 0; i < block.size(); ++i) {
        if (block[i] == '\n' && (i == 0 || block[i - 1] != '\r')) {
            out += '\r';
        }
        out += block[i];
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace RVUtil;
    const std::string_view block = rvfuzz::Text(data, size);
    const CStringArray pairs = rvfuzz::RecordedPairs(block);
    FUZZ_CHECK(pairs.GetSize() % 2 == 0);
    FUZZ_CHECK(rvfuzz::SamePairs(pairs, rvfuzz::RecordedPairs(WithCrLf(block))));
    for (INT_PTR i = 0; i < pairs.GetSize(); i += 2) {
        const std::string& name = pairs[i].str();
        FUZZ_CHECK(!name.empty() && name.find_first_of(":\n") == std::string::npos);
        FUZZ_CHECK(pairs[i + 1].str().find('\n') == std::string::npos);
    }

    // The first colon splits the input into a request header's name and value.
    const std::size_t colon = block.find(':');
    const std::string_view name = block.substr(0, colon);
    const std::string_view value = colon == std::string_view::npos ? "" : block.substr(colon + 1);
    if (http::CheckRequestHeader(name, value) == http::HeaderRefusal::None) {
        const std::string line = std::string(name) + ": " + std::string(value) + "\r\n";
        const CStringArray back = rvfuzz::RecordedPairs(line);
        FUZZ_CHECK(back.GetSize() == 2 && back[0].str() == name && back[1].str() == value);
    }
    return 0;
}
