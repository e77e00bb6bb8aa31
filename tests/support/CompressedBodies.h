#pragma once

// gzip and zstd bodies made at test time: the plain ones of loopback/Compression.h, and the
// odd ones made here with zlib (link ZLIB::ZLIB): hand-set header fields, a wrong size
// trailer, a frame that claims a size it does not hold.
#include <zlib.h>

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "RVUtil/WinTypes.h"
#include "loopback/Compression.h"

namespace rvtest {

using loopback::Bytes;
using loopback::Deflate;
using loopback::Gzip;
using loopback::Zstd;

inline Bytes ToBytes(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

// The bodies as text, for a scripted response.
inline std::string AsText(const Bytes& b) {
    return std::string(b.begin(), b.end());
}
inline std::string GzipText(const std::string& s) {
    return AsText(Gzip(ToBytes(s)));
}
inline std::string ZstdText(const std::string& s) {
    return AsText(Zstd(ToBytes(s)));
}

inline Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const auto& p : parts) {
        all.insert(all.end(), p.begin(), p.end());
    }
    return all;
}

inline Bytes RandomBytes(std::size_t n, unsigned seed = 1) {
    std::mt19937 rng(seed);
    Bytes b(n);
    for (auto& c : b) {
        c = static_cast<BYTE>(rng());
    }
    return b;
}

// Compressible text, roughly as a web page or a JSON answer compresses.
inline Bytes TextBytes(std::size_t n, unsigned seed = 1) {
    static const char* const kWords[] = {"fetch",  "request", "status", "\"id\":", "<div>",
                                         "</div>", "expired", "value",  "=",       "\n",
                                         "server", "12345",   "body",   "header",  ", "};
    std::mt19937 rng(seed);
    Bytes b;
    b.reserve(n + 16);
    while (b.size() < n) {
        const std::string w = kWords[rng() % (sizeof kWords / sizeof kWords[0])];
        b.insert(b.end(), w.begin(), w.end());
        b.push_back(' ');
    }
    b.resize(n);
    return b;
}

inline std::uint32_t Crc32(const Bytes& data) {
    return static_cast<std::uint32_t>(crc32(0, data.data(), static_cast<uInt>(data.size())));
}

inline void PutLe32(Bytes& b, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        b.push_back(static_cast<BYTE>(v >> (8 * i)));
    }
}

// One gzip member with a hand-made header and trailer.
struct MemberOptions {
    std::optional<Bytes> extra;          // FEXTRA
    std::optional<std::string> name;     // FNAME
    std::optional<std::string> comment;  // FCOMMENT
    bool headerCrc = false;              // FHCRC
    bool wrongHeaderCrc = false;
    BYTE extraFlags = 0;               // e.g. a reserved bit
    std::optional<std::uint32_t> crc;  // default: the true CRC-32
};

inline Bytes GzipMember(const Bytes& data, const MemberOptions& o = {}) {
    BYTE flags = o.extraFlags;
    flags |= o.extra ? 0x04 : 0;
    flags |= o.name ? 0x08 : 0;
    flags |= o.comment ? 0x10 : 0;
    flags |= o.headerCrc ? 0x02 : 0;
    Bytes b = {0x1f, 0x8b, 8, flags, 0, 0, 0, 0, 0, 3};
    if (o.extra) {
        b.push_back(static_cast<BYTE>(o.extra->size()));
        b.push_back(static_cast<BYTE>(o.extra->size() >> 8));
        b.insert(b.end(), o.extra->begin(), o.extra->end());
    }
    for (const auto* text : {&o.name, &o.comment}) {
        if (*text) {
            b.insert(b.end(), (*text)->begin(), (*text)->end());
            b.push_back(0);
        }
    }
    if (o.headerCrc) {
        std::uint32_t hcrc = Crc32(b) ^ (o.wrongHeaderCrc ? 1u : 0u);
        b.push_back(static_cast<BYTE>(hcrc));
        b.push_back(static_cast<BYTE>(hcrc >> 8));
    }
    const Bytes deflated = Deflate(data, -15);
    b.insert(b.end(), deflated.begin(), deflated.end());
    PutLe32(b, o.crc.value_or(Crc32(data)));
    PutLe32(b, static_cast<std::uint32_t>(data.size()));
    return b;
}

// One gzip member that decodes to `mebibytes` MiB and `tail` more zero bytes, made without
// ever holding that output: the deflate segment of one MiB of zeros, ended by a full flush
// (byte-aligned, not final, no back references across it), is repeated, then a final block
// holds the tail. The CRC comes from combining the pieces' CRCs. `isize` sets a size trailer
// other than the true one.
inline Bytes ZeroStreamMember(std::size_t mebibytes, std::size_t tail = 0,
                              std::optional<std::uint32_t> isize = {}) {
    const Bytes zeros(std::size_t{1} << 20, 0);
    z_stream z{};
    deflateInit2(&z, 9, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY);
    const auto deflateZeros = [&](std::size_t count, int flush) {
        Bytes out(count + 64);
        const uLong before = z.total_out;
        z.next_in = const_cast<BYTE*>(zeros.data());
        z.avail_in = static_cast<uInt>(count);
        z.next_out = out.data();
        z.avail_out = static_cast<uInt>(out.size());
        deflate(&z, flush);
        out.resize(z.total_out - before);
        return out;
    };
    const Bytes segment = deflateZeros(zeros.size(), Z_FULL_FLUSH);
    const Bytes last = deflateZeros(tail, Z_FINISH);
    deflateEnd(&z);

    Bytes b = {0x1f, 0x8b, 8, 0, 0, 0, 0, 0, 2, 3};
    b.reserve(b.size() + segment.size() * mebibytes + last.size() + 8);
    uLong crc = 0;
    const uLong segmentCrc = crc32(0, zeros.data(), static_cast<uInt>(zeros.size()));
    for (std::size_t i = 0; i < mebibytes; ++i) {
        b.insert(b.end(), segment.begin(), segment.end());
        crc = crc32_combine(crc, segmentCrc, static_cast<z_off_t>(zeros.size()));
    }
    b.insert(b.end(), last.begin(), last.end());
    crc = crc32_combine(crc, crc32(0, zeros.data(), static_cast<uInt>(tail)),
                        static_cast<z_off_t>(tail));
    PutLe32(b, static_cast<std::uint32_t>(crc));
    PutLe32(b, isize.value_or(static_cast<std::uint32_t>((mebibytes << 20) + tail)));
    return b;
}

// A zstd frame that claims `size` content bytes (8-byte size field) and holds one empty last
// block.
inline Bytes ZstdFrameClaiming(std::uint64_t size) {
    Bytes b = {0x28, 0xb5, 0x2f, 0xfd, 0xc0, 0x58};  // magic, descriptor, window
    for (int i = 0; i < 8; ++i) {
        b.push_back(static_cast<BYTE>(size >> (8 * i)));
    }
    b.insert(b.end(), {0x01, 0x00, 0x00});  // last, raw, 0 bytes
    return b;
}

}  // namespace rvtest
