#include "decoding/GzipMember.h"

#include <libdeflate.h>

#include <cstdint>
#include <cstring>
#include <initializer_list>

namespace RVUtil::decoding {

namespace {

constexpr unsigned char kId1 = 0x1f;
constexpr unsigned char kId2 = 0x8b;
constexpr unsigned char kMethodDeflate = 8;
constexpr unsigned char kFlagHeaderCrc = 0x02;
constexpr unsigned char kFlagExtra = 0x04;
constexpr unsigned char kFlagName = 0x08;
constexpr unsigned char kFlagComment = 0x10;
constexpr unsigned char kFlagsReserved = 0xe0;
constexpr std::size_t kFixedHeaderSize = 10;

}  // namespace

GzipHeaderLength MeasureGzipHeader(const unsigned char* p, std::size_t n) {
    const GzipHeaderLength incomplete{};
    const GzipHeaderLength invalid{0, true};
    // The fixed part is checked as far as it has arrived.
    const unsigned char fixed[] = {kId1, kId2, kMethodDeflate};
    for (std::size_t i = 0; i < sizeof fixed && i < n; ++i) {
        if (p[i] != fixed[i]) {
            return invalid;
        }
    }
    if (n > 3 && (p[3] & kFlagsReserved) != 0) {
        return invalid;
    }
    if (n < kFixedHeaderSize) {
        return incomplete;
    }
    const unsigned char flags = p[3];
    std::size_t pos = kFixedHeaderSize;
    if ((flags & kFlagExtra) != 0) {
        if (n - pos < 2) {
            return incomplete;
        }
        const std::size_t extra = std::size_t{p[pos]} | std::size_t{p[pos + 1]} << 8;
        pos += 2;
        if (n - pos < extra) {
            return incomplete;
        }
        pos += extra;
    }
    for (const unsigned char flag : {kFlagName, kFlagComment}) {
        if ((flags & flag) != 0) {
            const void* end = std::memchr(p + pos, 0, n - pos);
            if (end == nullptr) {
                return incomplete;
            }
            pos = static_cast<std::size_t>(static_cast<const unsigned char*>(end) - p) + 1;
        }
    }
    if ((flags & kFlagHeaderCrc) != 0) {
        if (n - pos < 2) {
            return incomplete;
        }
        const std::uint32_t crc = libdeflate_crc32(0, p, pos);
        if ((crc & 0xffffu) != (std::uint32_t{p[pos]} | std::uint32_t{p[pos + 1]} << 8)) {
            return invalid;
        }
        pos += 2;
    }
    return GzipHeaderLength{pos, false};
}

}  // namespace RVUtil::decoding
