#include "decoding/DecompressAnswer.h"

#include <new>
#include <utility>

namespace RVUtil::decoding {

DecompressAnswer AnswerDecompress(ContentEncoding kind, std::span<const std::byte> body,
                                  std::uint64_t limit, BYTE** out) {
    if (kind == ContentEncoding::None) {
        return {};
    }
    if (out == nullptr) {
        return {0, {FailureKind::Internal, 0, "no place for the decoded body"}};
    }
    DecodedBody decoded = DecodeBody(kind, body, static_cast<std::size_t>(limit));
    if (decoded.data != nullptr) {
        *out = decoded.data.release();
        if (decoded.size == 0) {
            return {0, {FailureKind::Decoding, 0, "the body decodes to nothing"}};
        }
        return {static_cast<long>(decoded.size), {}};  // at most the limit: a 32-bit count
    }
    if (kind == ContentEncoding::Zstd && decoded.failure.kind == FailureKind::Decoding) {
        // libzstd's error results are its codes negated, as a size_t; hosts have read them as
        // 32-bit numbers, which gives the negated code.
        *out = new (std::nothrow) BYTE[0];
        return {-decoded.failure.code, std::move(decoded.failure)};
    }
    *out = nullptr;
    return {0, std::move(decoded.failure)};
}

}  // namespace RVUtil::decoding
