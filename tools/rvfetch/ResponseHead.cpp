#include "ResponseHead.h"

#include "http/ParsedHead.h"
#include "platform/Ascii.h"

namespace rvfetch {

namespace ascii = RVUtil::ascii;

std::optional<std::string_view> ResponseHead::Header(std::string_view name) const {
    for (const auto& [each, value] : headers) {
        if (ascii::EqualsNoCase(each, name)) {
            return value;
        }
    }
    return std::nullopt;
}

std::optional<std::uint64_t> ResponseHead::ContentLength() const {
    const auto length = Header("Content-Length");
    if (!length || Header("Transfer-Encoding") || length->empty() || length->size() > 18) {
        return std::nullopt;
    }
    std::uint64_t n = 0;
    for (const char c : *length) {
        if (!ascii::IsDigit(c)) {
            return std::nullopt;
        }
        n = n * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return n;
}

bool ResponseHead::HasVerdict() const {
    const auto verdict = Header("RV_Error");
    return verdict && !verdict->empty();
}

ResponseHead ReadResponseHead(std::string_view block) {
    RVUtil::http::HeadIndex index;
    index.Read(block);
    const RVUtil::http::HeadView view(block, index);
    ResponseHead head;
    head.status = view.Status();
    head.reason = std::string(ascii::TrimBlanks(view.Reason()));
    view.ForEachHeader([&head](std::string_view name, std::string_view value) {
        head.headers.emplace_back(name, value);
    });
    return head;
}

}  // namespace rvfetch
