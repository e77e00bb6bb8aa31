// zstd decoding (DecodeBody) against libzstd's streaming decoder, under a body limit of
// 1 MiB: frames with or without a recorded size, several frames, skippable frames.
// Whatever the decoder hands over must be what the streaming decoder reads, and what the
// streaming decoder reads within the limit must be handed over; what it reads past the limit,
// from frames whose bound passes the limit too, must fail for the limit.

// ZSTD_decompressBound, as the decoder uses it, is in libzstd's advanced interface.
#define ZSTD_STATIC_LINKING_ONLY
#include <zstd.h>
#include <zstd_errors.h>

#include <cstring>
#include <span>
#include <string>

#include "decoding/ContentDecoding.h"
#include "support/FuzzCheck.h"

namespace {

constexpr std::size_t kLimit = std::size_t{1} << 20;

struct Reading {
    enum { Read, Refused, OverLimit, Unjudged } verdict = Refused;
    std::string out;
};

// Unjudged: the frame asks for a larger window than the streaming decoder grants by default
// (the one-shot path needs none).
Reading Stream(std::string_view in) {
    static ZSTD_DCtx* const context = ZSTD_createDCtx();
    ZSTD_DCtx_reset(context, ZSTD_reset_session_only);
    ZSTD_inBuffer input{in.data(), in.size(), 0};
    Reading reading;
    std::size_t pending = 1;  // not at the end of a frame
    for (;;) {
        char buffer[65536];
        ZSTD_outBuffer output{buffer, sizeof buffer, 0};
        pending = ZSTD_decompressStream(context, &output, &input);
        if (ZSTD_isError(pending)) {
            const bool window =
                ZSTD_getErrorCode(pending) == ZSTD_error_frameParameter_windowTooLarge;
            reading.verdict = window ? Reading::Unjudged : Reading::Refused;
            return reading;
        }
        reading.out.append(buffer, output.pos);
        if (reading.out.size() > kLimit) {
            reading.verdict = Reading::OverLimit;
            return reading;
        }
        // All input taken, and the last frame ended or nothing is left to flush. A frame
        // that ends exactly as the buffer fills must stop here: asked once more with no
        // input, the decoder would wait for the next frame's header and say so.
        if (input.pos == input.size && (pending == 0 || output.pos < output.size)) {
            break;
        }
    }
    reading.verdict = pending == 0 && !in.empty() ? Reading::Read : Reading::Refused;
    return reading;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const RVUtil::decoding::DecodedBody decoded = RVUtil::decoding::DecodeBody(
        RVUtil::decoding::ContentEncoding::Zstd, std::as_bytes(std::span(data, size)), kLimit);
    const RVUtil::Failure& failure = decoded.failure;
    const Reading expected = Stream(rvfuzz::Text(data, size));
    // Output comes with no failure, and a failure with no output.
    FUZZ_CHECK((decoded.data != nullptr) == !failure);
    if (decoded.size > 0) {
        FUZZ_CHECK(expected.verdict != Reading::Refused);
    }
    if (expected.verdict == Reading::Read) {
        FUZZ_CHECK(failure.kind == RVUtil::FailureKind::None);
        FUZZ_CHECK(decoded.size == expected.out.size());
        FUZZ_CHECK(decoded.size == 0 ||
                   std::memcmp(decoded.data.get(), expected.out.data(), expected.out.size()) == 0);
    }
    if (expected.verdict == Reading::Refused) {
        FUZZ_CHECK(failure.kind != RVUtil::FailureKind::None);
    }
    // Room up to the limit, and output past it before anything went wrong: the limit ended it.
    const unsigned long long bound = ZSTD_decompressBound(data, size);
    if (expected.verdict == Reading::OverLimit && bound != ZSTD_CONTENTSIZE_ERROR &&
        bound > kLimit) {
        FUZZ_CHECK(failure.kind == RVUtil::FailureKind::BodyLimit);
    }
    return 0;
}
