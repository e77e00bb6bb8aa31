// gzip decoding (PakdecA, libdeflate) against zlib: every member in turn, zero bytes after
// the last member ignored, size trailers not trusted. Whatever one decoder accepts the
// other must accept, with the same bytes.
#include <zlib.h>

#include <cstring>
#include <optional>
#include <string>

#include "decoding/Pakdec.h"
#include "support/FuzzCheck.h"

namespace {

bool AllZero(std::string_view bytes) {
    return bytes.find_first_not_of('\0') == std::string_view::npos;
}

// zlib's reading of the body. It checks each size trailer, which PakdecA does not (they
// are wrong for all but the last member of many bodies): a member whose data and CRC-32
// are right but whose size trailer is wrong counts as read.
std::optional<std::string> Inflate(std::string_view in) {
    z_stream stream{};
    if (inflateInit2(&stream, 16 + MAX_WBITS) != Z_OK) {
        return std::nullopt;
    }
    std::string out;
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
    if (!ok) {
        return std::nullopt;
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    BYTE* decoded = nullptr;
    int decodedLength = -1;
    const int result =
        PakdecA(static_cast<int>(size), const_cast<BYTE*>(data), &decoded, &decodedLength);
    const std::optional<std::string> expected = Inflate(rvfuzz::Text(data, size));
    FUZZ_CHECK((result != 0) == expected.has_value());
    if (result != 0) {
        FUZZ_CHECK(decoded != nullptr && decodedLength >= 0);
        FUZZ_CHECK(static_cast<std::size_t>(decodedLength) == expected->size());
        FUZZ_CHECK(std::memcmp(decoded, expected->data(), expected->size()) == 0);
    } else {
        FUZZ_CHECK(decoded == nullptr);
    }
    delete[] decoded;
    return 0;
}
