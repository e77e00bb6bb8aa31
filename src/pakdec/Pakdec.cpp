#include "pakdec/Pakdec.h"

#include <cxxabi.h>
#include <libdeflate.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "pakdec/ContentDecoding.h"
#include "pakdec/LargeBuffer.h"

// Decisions where the gzip format leaves room:
// - ISIZE (the size trailer) is only a first guess of the output size: it is wrong for
//   every member but the last of a multi-member body, wraps above 4 GiB, and some servers
//   write it wrongly. It is therefore not checked; the CRC-32 of every member is.
// - Bytes after the last member: zero bytes (padding) are ignored; anything else must be
//   a complete, valid member, or the whole body fails.
// - An empty input fails. A valid body that decodes to nothing succeeds with length 0.
// - The output never exceeds kMaxDecodedBodySize; a body that would fails, and the buffer
//   grows only as real output arrives, so a claim alone allocates nothing near the limit.
namespace {

constexpr BYTE kId1 = 0x1f;
constexpr BYTE kId2 = 0x8b;
constexpr BYTE kMethodDeflate = 8;
constexpr BYTE kFlagHeaderCrc = 0x02;
constexpr BYTE kFlagExtra = 0x04;
constexpr BYTE kFlagName = 0x08;
constexpr BYTE kFlagComment = 0x10;
constexpr BYTE kFlagsReserved = 0xe0;
constexpr std::size_t kFixedHeaderSize = 10;
constexpr std::size_t kTrailerSize = 8;  // CRC-32, ISIZE
// Deflate cannot expand one input byte into more than this; a larger ISIZE is a lie.
constexpr std::size_t kMaxDeflateRatio = 1032;
constexpr std::size_t kMinGrowth = std::size_t{64} << 10;

std::uint32_t ReadLe32(const BYTE* p) {
    return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
           std::uint32_t{p[3]} << 24;
}

// The length of the member header at p, or 0 when it is no valid, complete header.
std::size_t ParseHeader(const BYTE* p, std::size_t n) {
    if (n < kFixedHeaderSize || p[0] != kId1 || p[1] != kId2 || p[2] != kMethodDeflate) {
        return 0;
    }
    const BYTE flags = p[3];
    if ((flags & kFlagsReserved) != 0) {
        return 0;
    }
    std::size_t pos = kFixedHeaderSize;
    if ((flags & kFlagExtra) != 0) {
        if (n - pos < 2) {
            return 0;
        }
        const std::size_t extra = std::size_t{p[pos]} | std::size_t{p[pos + 1]} << 8;
        pos += 2;
        if (n - pos < extra) {
            return 0;
        }
        pos += extra;
    }
    for (const BYTE flag : {kFlagName, kFlagComment}) {
        if ((flags & flag) != 0) {
            const void* end = std::memchr(p + pos, 0, n - pos);
            if (end == nullptr) {
                return 0;
            }
            pos = static_cast<std::size_t>(static_cast<const BYTE*>(end) - p) + 1;
        }
    }
    if ((flags & kFlagHeaderCrc) != 0) {
        if (n - pos < 2) {
            return 0;
        }
        const std::uint32_t crc = libdeflate_crc32(0, p, pos);
        if ((crc & 0xffffu) != (std::uint32_t{p[pos]} | std::uint32_t{p[pos + 1]} << 8)) {
            return 0;
        }
        pos += 2;
    }
    return pos;
}

struct DecompressorDeleter {
    void operator()(libdeflate_decompressor* d) const { libdeflate_free_decompressor(d); }
};

// One decompressor per thread, kept between calls: small bodies would otherwise pay for
// its allocation each time.
libdeflate_decompressor* ThreadDecompressor() {
    thread_local std::unique_ptr<libdeflate_decompressor, DecompressorDeleter> d(
        libdeflate_alloc_decompressor());
    return d.get();
}

struct FreeDeleter {
    void operator()(BYTE* p) const { std::free(p); }
};

// The output. It starts as the caller's new[] array sized by the first guess, so that a
// body whose guess was right is handed over without a copy. Once it must grow it moves to
// malloc memory, which realloc grows in place (mremap for large blocks) instead of holding
// old and new copies at once, and is copied into an exact new[] array at the end.
class Output {
  public:
    explicit Output(std::size_t capacity) : m_array(new BYTE[capacity]), m_capacity(capacity) {
        RVUtil::AdviseLargeBuffer(m_array.get(), capacity);
    }

    BYTE* data() { return m_array ? m_array.get() : m_grown.get(); }
    std::size_t capacity() const { return m_capacity; }

    // Makes room for more than the current capacity, keeping the first `keep` bytes; false
    // when the limit is reached or memory runs out.
    bool Grow(std::size_t keep, std::size_t inputLeft) {
        if (m_capacity >= RVUtil::kMaxDecodedBodySize) {
            return false;
        }
        const std::size_t wanted =
            std::max({m_capacity * 2, m_capacity + inputLeft * 4, m_capacity + kMinGrowth});
        const std::size_t next = std::min(wanted, RVUtil::kMaxDecodedBodySize);
        if (m_array) {
            BYTE* grown = static_cast<BYTE*>(std::malloc(next));
            if (grown == nullptr) {
                return false;
            }
            std::memcpy(grown, m_array.get(), keep);
            m_grown.reset(grown);
            m_array.reset();
        } else {
            BYTE* grown = static_cast<BYTE*>(std::realloc(m_grown.get(), next));
            if (grown == nullptr) {
                return false;
            }
            (void)m_grown.release();
            m_grown.reset(grown);
        }
        m_capacity = next;
        RVUtil::AdviseLargeBuffer(m_grown.get(), next);
        return true;
    }

    // The first `size` bytes in a new[] array the caller owns. The first array goes out as
    // it is unless the guess overshot by more than an eighth (a lying ISIZE).
    BYTE* Release(std::size_t size) {
        if (m_array && m_capacity - size <= m_capacity / 8) {
            return m_array.release();
        }
        BYTE* exact = new BYTE[size];
        std::memcpy(exact, data(), size);
        return exact;
    }

  private:
    std::unique_ptr<BYTE[]> m_array;
    std::unique_ptr<BYTE, FreeDeleter> m_grown;
    std::size_t m_capacity;
};

// The first guess: the last member's ISIZE, which for the usual single member is the
// whole size, within what the input can possibly produce and the limit.
std::size_t FirstGuess(const BYTE* in, std::size_t n) {
    const std::size_t claimed = ReadLe32(in + n - 4);
    return std::min({claimed, n * kMaxDeflateRatio, RVUtil::kMaxDecodedBodySize});
}

bool AllZero(const BYTE* p, std::size_t n) {
    return std::all_of(p, p + n, [](BYTE b) { return b == 0; });
}

// Decodes every member of in into one new[] array and its size; null on any failure.
BYTE* Decode(const BYTE* in, std::size_t n, std::size_t* decodedSize) {
    libdeflate_decompressor* d = ThreadDecompressor();
    if (d == nullptr || n < kFixedHeaderSize + kTrailerSize) {
        return nullptr;
    }
    Output out(FirstGuess(in, n));
    std::size_t inPos = 0;
    std::size_t outPos = 0;
    for (;;) {
        const std::size_t header = ParseHeader(in + inPos, n - inPos);
        if (header == 0) {
            return nullptr;
        }
        inPos += header;
        std::size_t usedIn = 0;
        std::size_t usedOut = 0;
        for (;;) {
            const libdeflate_result r =
                libdeflate_deflate_decompress_ex(d, in + inPos, n - inPos, out.data() + outPos,
                                                 out.capacity() - outPos, &usedIn, &usedOut);
            if (r == LIBDEFLATE_SUCCESS) {
                break;
            }
            // Too little room: grow and decode this member again (the decoder is one-shot).
            if (r != LIBDEFLATE_INSUFFICIENT_SPACE || !out.Grow(outPos, n - inPos)) {
                return nullptr;
            }
        }
        inPos += usedIn;
        if (n - inPos < kTrailerSize ||
            libdeflate_crc32(0, out.data() + outPos, usedOut) != ReadLe32(in + inPos)) {
            return nullptr;
        }
        inPos += kTrailerSize;
        outPos += usedOut;
        if (inPos == n || AllZero(in + inPos, n - inPos)) {
            break;
        }
    }
    *decodedSize = outPos;
    return out.Release(outPos);
}

}  // namespace

int PakdecA(int inLength, BYTE* in, BYTE** out, int* outLength) {
    if (out == nullptr || outLength == nullptr) {
        return 0;
    }
    *out = nullptr;
    *outLength = 0;
    if (in == nullptr || inLength <= 0) {
        return 0;
    }
    try {
        std::size_t size = 0;
        BYTE* decoded = Decode(in, static_cast<std::size_t>(inLength), &size);
        if (decoded == nullptr) {
            return 0;
        }
        *out = decoded;
        *outLength = static_cast<int>(size);  // at most kMaxDecodedBodySize: fits
        return 1;
    } catch (const abi::__forced_unwind&) {
        throw;
    } catch (...) {
        return 0;  // out of memory
    }
}
