#include "decoding/StreamDecoder.h"

#include <libdeflate.h>
#include <zlib.h>
#include <zstd.h>
#include <zstd_errors.h>

#include <cstdint>
#include <cstring>
#include <new>
#include <string>

#include "decoding/GzipMember.h"

namespace RVUtil::decoding {

namespace {

// Output is handed on in pieces of at most this size.
constexpr std::size_t kOutputPiece = 64 * 1024;
// The largest member header taken (fixed part, extra field, name, comment): a header is
// held whole before it is read, so it must not grow without end.
constexpr std::size_t kMaxHeader = 1 << 20;
// Windows up to 8 MiB: what zstd's levels make without long-range mode.
constexpr int kMaxZstdWindowLog = 23;

std::span<const std::byte> Piece(const unsigned char* data, std::size_t size) {
    return {reinterpret_cast<const std::byte*>(data), size};
}

class GzipStream final : public StreamDecoder {
  public:
    GzipStream() : m_output(new unsigned char[kOutputPiece]) {
        if (inflateInit2(&m_z, -MAX_WBITS) != Z_OK) {
            throw std::bad_alloc();
        }
    }
    ~GzipStream() override { inflateEnd(&m_z); }
    GzipStream(const GzipStream&) = delete;
    GzipStream& operator=(const GzipStream&) = delete;

    bool Feed(std::span<const std::byte> in, const Output& out) override {
        auto p = reinterpret_cast<const unsigned char*>(in.data());
        std::size_t n = in.size();
        m_any = m_any || n > 0;
        while (n > 0) {
            std::size_t used = 0;
            bool ok = true;
            switch (m_state) {
                case State::Header:
                    ok = ReadHeader(p, n, &used);
                    break;
                case State::Data:
                    ok = Inflate(p, n, &used, out);
                    break;
                case State::Trailer:
                    ok = ReadTrailer(p, n, &used);
                    break;
                case State::Between:
                    // Zero bytes after a member are padding; anything else starts a member.
                    m_state = *p == 0 ? State::Padding : State::Header;
                    break;
                case State::Padding:
                    if (std::any_of(p, p + n, [](unsigned char b) { return b != 0; })) {
                        return Fail(0, "gzip: bytes after the last member");
                    }
                    used = n;
                    break;
            }
            if (!ok) {
                return false;
            }
            p += used;
            n -= used;
        }
        return true;
    }

    bool Finish() override {
        if (m_state == State::Between || m_state == State::Padding) {
            return true;
        }
        return Fail(0, m_any ? "gzip: the body ends inside a member" : "gzip: empty body");
    }

  private:
    enum class State { Header, Data, Trailer, Between, Padding };

    // Gathers the member header; *used counts only the bytes that belong to it.
    bool ReadHeader(const unsigned char* p, std::size_t n, std::size_t* used) {
        const std::size_t before = m_held.size();
        const std::size_t taken = std::min(n, kMaxHeader + 1 - before);
        m_held.append(reinterpret_cast<const char*>(p), taken);
        const auto held = reinterpret_cast<const unsigned char*>(m_held.data());
        const GzipHeaderLength header = MeasureGzipHeader(held, m_held.size());
        if (header.invalid) {
            return Fail(0, "gzip: not a gzip member header");
        }
        if (header.length == 0) {
            if (m_held.size() > kMaxHeader) {
                return Fail(0, "gzip: member header over 1 MiB");
            }
            *used = taken;
            return true;
        }
        *used = header.length - before;
        m_held.clear();
        inflateReset(&m_z);
        m_crc = 0;
        m_state = State::Data;
        return true;
    }

    bool Inflate(const unsigned char* p, std::size_t n, std::size_t* used, const Output& out) {
        m_z.next_in = const_cast<unsigned char*>(p);
        m_z.avail_in = static_cast<uInt>(std::min<std::size_t>(n, UINT32_MAX));
        const uInt given = m_z.avail_in;
        for (;;) {
            m_z.next_out = m_output.get();
            m_z.avail_out = kOutputPiece;
            const int result = inflate(&m_z, Z_NO_FLUSH);
            const std::size_t produced = kOutputPiece - m_z.avail_out;
            if (result != Z_OK && result != Z_STREAM_END && result != Z_BUF_ERROR) {
                return Fail(result, std::string("gzip: ") +
                                        (m_z.msg != nullptr ? m_z.msg : "corrupt deflate data"));
            }
            if (produced > 0) {
                m_crc =
                    static_cast<std::uint32_t>(libdeflate_crc32(m_crc, m_output.get(), produced));
                if (!out(Piece(m_output.get(), produced))) {
                    return false;
                }
            }
            if (result == Z_STREAM_END) {
                m_state = State::Trailer;
                break;
            }
            if (m_z.avail_in == 0 && m_z.avail_out > 0) {
                break;  // everything given is decoded; more input is needed
            }
        }
        *used = given - m_z.avail_in;
        return true;
    }

    bool ReadTrailer(const unsigned char* p, std::size_t n, std::size_t* used) {
        constexpr std::size_t kTrailer = 8;  // CRC-32, then the size (not checked)
        *used = std::min(n, kTrailer - m_held.size());
        m_held.append(reinterpret_cast<const char*>(p), *used);
        if (m_held.size() < kTrailer) {
            return true;
        }
        const auto t = reinterpret_cast<const unsigned char*>(m_held.data());
        const std::uint32_t crc = std::uint32_t{t[0]} | std::uint32_t{t[1]} << 8 |
                                  std::uint32_t{t[2]} << 16 | std::uint32_t{t[3]} << 24;
        m_held.clear();
        if (crc != m_crc) {
            return Fail(0, "gzip: bad CRC-32");
        }
        m_state = State::Between;
        return true;
    }

    z_stream m_z{};
    std::unique_ptr<unsigned char[]> m_output;
    State m_state = State::Header;
    std::string m_held;  // a header or trailer not complete yet
    std::uint32_t m_crc = 0;
    bool m_any = false;
};

class ZstdStream final : public StreamDecoder {
  public:
    ZstdStream() : m_d(ZSTD_createDCtx()), m_output(new unsigned char[ZSTD_DStreamOutSize()]) {
        if (m_d == nullptr ||
            ZSTD_isError(ZSTD_DCtx_setParameter(m_d, ZSTD_d_windowLogMax, kMaxZstdWindowLog))) {
            ZSTD_freeDCtx(m_d);
            throw std::bad_alloc();
        }
    }
    ~ZstdStream() override { ZSTD_freeDCtx(m_d); }
    ZstdStream(const ZstdStream&) = delete;
    ZstdStream& operator=(const ZstdStream&) = delete;

    bool Feed(std::span<const std::byte> in, const Output& out) override {
        ZSTD_inBuffer input{in.data(), in.size(), 0};
        m_any = m_any || in.size() > 0;
        const std::size_t room = ZSTD_DStreamOutSize();
        for (;;) {
            ZSTD_outBuffer output{m_output.get(), room, 0};
            const std::size_t result = ZSTD_decompressStream(m_d, &output, &input);
            if (ZSTD_isError(result)) {
                return Fail(static_cast<long>(ZSTD_getErrorCode(result)),
                            std::string("zstd: ") + ZSTD_getErrorName(result));
            }
            m_left = result;
            if (output.pos > 0 && !out(Piece(m_output.get(), output.pos))) {
                return false;
            }
            // A full output may leave decoded bytes behind in the decoder.
            if (input.pos == input.size && output.pos < room) {
                return true;
            }
        }
    }

    bool Finish() override {
        if (!m_any) {
            return Fail(0, "zstd: empty body");
        }
        return m_left == 0 ? true
                           : Fail(ZSTD_error_srcSize_wrong, "zstd: the body ends inside a frame");
    }

  private:
    ZSTD_DCtx* m_d;
    std::unique_ptr<unsigned char[]> m_output;
    std::size_t m_left = 0;
    bool m_any = false;
};

}  // namespace

std::unique_ptr<StreamDecoder> StreamDecoder::Make(ContentEncoding kind) {
    try {
        switch (kind) {
            case ContentEncoding::Gzip:
                return std::make_unique<GzipStream>();
            case ContentEncoding::Zstd:
                return std::make_unique<ZstdStream>();
            case ContentEncoding::None:
                break;
        }
    } catch (const std::bad_alloc&) {
    }
    return nullptr;
}

}  // namespace RVUtil::decoding
