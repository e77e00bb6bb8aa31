// gzip decoding (DecodeBody for gzip, libdeflate) against zlib under a body limit of 128 KiB:
// every member in turn, zero bytes after the last member ignored, size trailers not trusted.
// Whatever one decoder accepts within the limit the other must accept, with the same bytes; a
// failure blames the limit only when zlib's output passes it, or nearly so, or when zlib
// refuses the stream (libdeflate may read on where zlib stops).
#include <zlib.h>

#include <cstring>
#include <span>
#include <string>

#include "decoding/ContentDecoding.h"
#include "support/FuzzCheck.h"

namespace {

constexpr std::size_t kLimit = std::size_t{128} << 10;
// Output the decoder may count against the limit that zlib never produces, from a body that is
// cut short: libdeflate checks a stored block's length (up to 65535) against the room left
// before it checks the input holds it, and reads up to a bit buffer (8 bytes) of zeros past
// the end before it gives up, each of which deflate inflates into at most 1032 bytes.
constexpr std::size_t kUnseenOutput = 65535 + 8 * 1032;

struct Reading {
    bool ok = false;
    std::string out;  // when not ok, what came out before zlib stopped
};

bool AllZero(std::string_view bytes) {
    return bytes.find_first_not_of('\0') == std::string_view::npos;
}

// zlib's reading of the body. It checks each size trailer, which the decoder does not (they
// are wrong for all but the last member of many bodies): a member whose data and CRC-32
// are right but whose size trailer is wrong counts as read.
Reading Inflate(std::string_view in) {
    Reading reading;
    z_stream stream{};
    if (inflateInit2(&stream, 16 + MAX_WBITS) != Z_OK) {
        return reading;
    }
    std::string& out = reading.out;
    std::size_t at = 0;
    bool ok = true;
    while (ok) {
        stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data() + at));
        stream.avail_in = static_cast<uInt>(in.size() - at);
        int result = Z_OK;
        while (result == Z_OK) {
            char buffer[16384];
            stream.next_out = reinterpret_cast<Bytef*>(buffer);
            stream.avail_out = sizeof buffer;
            result = inflate(&stream, Z_NO_FLUSH);
            out.append(buffer, sizeof buffer - stream.avail_out);
            if (out.size() > kLimit + kUnseenOutput) {  // past anything the checks tell apart
                inflateEnd(&stream);
                return reading;
            }
        }
        const bool sizeOnly = result == Z_DATA_ERROR && stream.msg != nullptr &&
                              std::strcmp(stream.msg, "incorrect length check") == 0;
        ok = result == Z_STREAM_END || sizeOnly;
        at = in.size() - stream.avail_in;
        if (!ok || AllZero(in.substr(at))) {
            break;
        }
        ok = inflateReset(&stream) == Z_OK;
    }
    inflateEnd(&stream);
    reading.ok = ok;
    return reading;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const RVUtil::decoding::DecodedBody decoded = RVUtil::decoding::DecodeBody(
        RVUtil::decoding::ContentEncoding::Gzip, std::as_bytes(std::span(data, size)), kLimit);
    const RVUtil::Failure& failure = decoded.failure;
    const Reading expected = Inflate(rvfuzz::Text(data, size));
    const bool over = expected.out.size() > kLimit;
    FUZZ_CHECK(!failure == (expected.ok && !over));
    if (!failure) {
        FUZZ_CHECK(decoded.data != nullptr);
        FUZZ_CHECK(decoded.size == expected.out.size());
        FUZZ_CHECK(std::memcmp(decoded.data.get(), expected.out.data(), expected.out.size()) == 0);
    } else {
        FUZZ_CHECK(decoded.data == nullptr);
        // Near the limit a body cut short may fail either way.
        if (expected.out.size() + kUnseenOutput <= kLimit) {
            // A stream zlib refuses may still be one libdeflate reads on (a code-length
            // repeat past the end of its table, for one), and with room for no more than
            // the limit it can run out of room before it finds the fault: the limit may
            // then be what stops it.
            FUZZ_CHECK(failure.kind == RVUtil::FailureKind::Decoding ||
                       (failure.kind == RVUtil::FailureKind::BodyLimit && !expected.ok));
        }
        if ((expected.ok && over) || expected.out.size() > kLimit + kUnseenOutput) {
            FUZZ_CHECK(failure.kind == RVUtil::FailureKind::BodyLimit);
        }
    }
    return 0;
}
