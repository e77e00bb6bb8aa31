// zstd decoding (DecodeBody) against libzstd's streaming decoder, under a body limit of
// 16 MiB: frames with or without a recorded size, several frames, skippable frames.
// Whatever the decoder hands over must be what the streaming decoder reads, and what the
// streaming decoder reads within the limit must be handed over.
#include <zstd.h>
#include <zstd_errors.h>

#include <cstring>
#include <string>

#include "RVUtil/BodyLimit.h"
#include "decoding/ContentDecoding.h"
#include "support/FuzzCheck.h"

namespace {

constexpr std::size_t kLimit = std::size_t{16} << 20;

struct Reading {
    enum { Read, Refused, Unjudged } verdict = Refused;
    std::string out;
};

// Unjudged: the output passes the limit, or the frame asks for a larger window than the
// streaming decoder grants by default (the one-shot path needs none).
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
            reading.verdict = Reading::Unjudged;
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
    static const long long limit = RVUtil::RVUtil_gfnSetBodyLimit(kLimit);
    (void)limit;
    BYTE* decoded = nullptr;
    const long length = RVUtil::DecodeBody(RVUtil::ContentEncoding::Zstd, const_cast<BYTE*>(data),
                                           static_cast<long>(size), &decoded);
    const Reading expected = Stream(rvfuzz::Text(data, size));
    if (length > 0) {
        FUZZ_CHECK(decoded != nullptr && expected.verdict != Reading::Refused);
    }
    if (expected.verdict == Reading::Read && !expected.out.empty()) {
        FUZZ_CHECK(length > 0 && static_cast<std::size_t>(length) == expected.out.size());
        FUZZ_CHECK(std::memcmp(decoded, expected.out.data(), expected.out.size()) == 0);
    }
    delete[] decoded;
    return 0;
}
