#include "decoding/ContentDecoding.h"

#include <string>

#include "RVUtil/BodyLimit.h"
#include "decoding/GzipBody.h"
#include "decoding/ZstdBody.h"
#include "platform/Ascii.h"

namespace RVUtil::decoding {

ContentEncoding EncodingOf(std::string_view contentEncoding) {
    const std::string lower = ascii::Lower(contentEncoding);
    if (lower.find("gzip") != std::string::npos) {
        return ContentEncoding::Gzip;
    }
    if (lower.find("zstd") != std::string::npos) {
        return ContentEncoding::Zstd;
    }
    return ContentEncoding::None;
}

DecodedBody DecodeBody(ContentEncoding kind, std::span<const std::byte> body,
                       std::optional<std::size_t> limit) {
    const std::size_t bound = limit.value_or(static_cast<std::size_t>(RVUtil_gfnGetBodyLimit()));
    switch (kind) {
        case ContentEncoding::Gzip:
            return DecodeGzip(body, bound);
        case ContentEncoding::Zstd:
            return DecodeZstd(body, bound);
        case ContentEncoding::None:
            break;
    }
    return {};
}

}  // namespace RVUtil::decoding
