#include "decoding/GzipBody.h"

#include <cxxabi.h>
#include <libdeflate.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "buffers/LargeBuffer.h"
#include "decoding/GzipMember.h"

// Decisions where the gzip format leaves room:
// - ISIZE (the size trailer) is only a first guess of the output size: it is wrong for
//   every member but the last of a multi-member body, wraps above 4 GiB, and some servers
//   write it wrongly. It is therefore not checked; the CRC-32 of every member is.
// - Bytes after the last member: zero bytes (padding) are ignored; anything else must be
//   a complete, valid member, or the whole body fails.
// - An empty input fails. A valid body that decodes to nothing succeeds with length 0.
// - The output never exceeds the body limit; a body that would fails, and memory is taken
//   only as real output arrives, so a claim alone makes nothing resident near the limit.
//   Nor is output held twice on the way to the limit (see Output).
namespace RVUtil::decoding {

namespace {

constexpr std::size_t kFixedHeaderSize = 10;
constexpr std::size_t kTrailerSize = 8;  // CRC-32, ISIZE
// The byte every output array has beyond its size (see DecodedBody), copied in last.
std::uint8_t g_spare = 0;
// Deflate cannot expand one input byte into more than this; a larger ISIZE is a lie.
constexpr std::size_t kMaxDeflateRatio = 1032;

std::uint32_t ReadLe32(const std::uint8_t* p) {
    return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
           std::uint32_t{p[3]} << 24;
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

// Whether the output found more room for a member that did not fit, and if not, which end
// its room had already reached: the body limit, or all that the input left can produce (so
// that decoding the member again could not help).
enum class Full { No, AtLimit, AtDeflateBound };

// The output. It starts as a new[] array sized by the first guess, so that a body whose guess
// was right is handed over as it is. The first member that does not fit is decoded again,
// with every member after it, into a GrowingOutput with room for all that the rest of the
// input can produce within the limit; the members before it stay in the array, and the two
// parts are joined only once, in the array handed over. The output is held at most once
// within the limit: a member is decoded again only where it gets more room than it had, and
// the pages of the failed attempt are given back first.
class Output {
  public:
    Output(std::size_t guess, std::size_t limit)
        : m_array(new std::uint8_t[guess + 1]), m_arrayCapacity(guess), m_limit(limit) {
        buffers::AdviseLargeBuffer(m_array.get(), guess);
    }

    std::uint8_t* Next() const {
        return m_grown ? m_grown->data() + m_grownSize : m_array.get() + m_arraySize;
    }
    std::size_t Room() const {
        return m_grown ? m_grown->capacity() - m_grownSize : m_arrayCapacity - m_arraySize;
    }
    void Commit(std::size_t decoded) { (m_grown ? m_grownSize : m_arraySize) += decoded; }
    std::size_t size() const { return m_arraySize + m_grownSize; }
    std::size_t Limit() const { return m_limit; }

    // The member at hand did not fit in Room(); gives it more, or says why there is none.
    Full Spill(std::size_t inputLeft) {
        const std::size_t toLimit = m_limit - size();
        const std::size_t toBound = inputLeft * kMaxDeflateRatio;  // n < 2^31: no overflow
        if (m_grown || std::min(toLimit, toBound) <= Room()) {
            return toLimit <= toBound ? Full::AtLimit : Full::AtDeflateBound;
        }
        buffers::ReleasePages(Next(), Room());
        m_grown.emplace(std::min(toLimit, toBound));
        return Full::No;
    }

    // The output in a new[] array. The first array goes out as it is unless the guess
    // overshot by more than an eighth (a lying ISIZE).
    std::unique_ptr<std::uint8_t[]> Release() {
        if (!m_grown && m_arrayCapacity - m_arraySize <= m_arrayCapacity / 8) {
            return std::move(m_array);
        }
        return buffers::HandOver({{m_array.get(), m_arraySize},
                                  {m_grown ? m_grown->data() : nullptr, m_grownSize},
                                  {&g_spare, 1}});
    }

  private:
    std::unique_ptr<std::uint8_t[]> m_array;
    std::size_t m_arrayCapacity;
    std::size_t m_arraySize = 0;
    std::optional<buffers::GrowingOutput> m_grown;
    std::size_t m_grownSize = 0;
    std::size_t m_limit;
};

// The first guess: the last member's ISIZE, which for the usual single member is the
// whole size, within what the input can possibly produce and the limit.
std::size_t FirstGuess(const std::uint8_t* in, std::size_t n, std::size_t limit) {
    const std::size_t claimed = ReadLe32(in + n - 4);
    return std::min({claimed, n * kMaxDeflateRatio, limit});
}

bool AllZero(const std::uint8_t* p, std::size_t n) {
    return std::all_of(p, p + n, [](std::uint8_t b) { return b == 0; });
}

// Why one member did not decode; its number is added to the words.
struct MemberFailure {
    FailureKind kind;
    long code;
    std::string_view what;
};

// Decodes the member that starts at in[at] into out: its header, its deflate data, its
// CRC-32. at then points past the member. Nothing when it decoded, else why not.
std::optional<MemberFailure> DecodeMember(libdeflate_decompressor* d, const std::uint8_t* in,
                                          std::size_t n, std::size_t& at, Output& out) {
    const std::size_t header = MeasureGzipHeader(in + at, n - at).length;
    if (header == 0) {
        return MemberFailure{FailureKind::Decoding, 0, "bad header"};
    }
    at += header;
    std::size_t usedIn = 0;
    std::size_t usedOut = 0;
    for (;;) {
        const libdeflate_result r = libdeflate_deflate_decompress_ex(d, in + at, n - at, out.Next(),
                                                                     out.Room(), &usedIn, &usedOut);
        if (r == LIBDEFLATE_SUCCESS) {
            break;
        }
        if (r != LIBDEFLATE_INSUFFICIENT_SPACE) {
            return MemberFailure{FailureKind::Decoding, static_cast<long>(r), "bad deflate data"};
        }
        // Too little room: decode this member again where there is more (the decoder is
        // one-shot).
        const Full full = out.Spill(n - at);
        if (full == Full::AtLimit) {
            return MemberFailure{FailureKind::BodyLimit, static_cast<long>(out.Limit()),
                                 "output over the body limit"};
        }
        if (full == Full::AtDeflateBound) {
            return MemberFailure{FailureKind::Decoding, static_cast<long>(r),
                                 "more output than deflate allows"};
        }
    }
    at += usedIn;
    if (n - at < kTrailerSize) {
        return MemberFailure{FailureKind::Decoding, 0, "no trailer"};
    }
    if (libdeflate_crc32(0, out.Next(), usedOut) != ReadLe32(in + at)) {
        return MemberFailure{FailureKind::Decoding, 0, "bad CRC-32"};
    }
    at += kTrailerSize;
    out.Commit(usedOut);
    return std::nullopt;
}

// Decodes every member of the n bytes at in into one array.
DecodedBody DecodeMembers(const std::uint8_t* in, std::size_t n, std::size_t limit) {
    libdeflate_decompressor* d = ThreadDecompressor();
    if (d == nullptr) {
        return DecodedBody::Failed(FailureKind::OutOfMemory, 0, {"gzip: no decompressor"});
    }
    if (n < kFixedHeaderSize + kTrailerSize) {
        return DecodedBody::Failed(FailureKind::Decoding, 0,
                                   {"gzip: ", std::to_string(n), " bytes hold no member"});
    }
    Output out(FirstGuess(in, n, limit), limit);
    std::size_t at = 0;
    for (int member = 1;; ++member) {
        if (const std::optional<MemberFailure> failed = DecodeMember(d, in, n, at, out)) {
            return DecodedBody::Failed(
                failed->kind, failed->code,
                {"gzip: ", failed->what, " in member ", std::to_string(member)});
        }
        if (at == n || AllZero(in + at, n - at)) {
            break;
        }
    }
    DecodedBody decoded;
    decoded.size = out.size();
    decoded.data = out.Release();
    return decoded;
}

}  // namespace

DecodedBody DecodeGzip(std::span<const std::byte> body, std::size_t limit) {
    if (body.empty()) {
        return DecodedBody::Failed(FailureKind::Decoding, 0, {"gzip: empty body"});
    }
    // Larger than any body the limit lets through as received.
    if (body.size() > INT_MAX) {
        return DecodedBody::OverLimit("gzip", limit);
    }
    try {
        return DecodeMembers(reinterpret_cast<const std::uint8_t*>(body.data()), body.size(),
                             limit);
    } catch (const abi::__forced_unwind&) {
        throw;
    } catch (...) {
        return DecodedBody::Failed(FailureKind::OutOfMemory, 0, {"gzip: out of memory"});
    }
}

}  // namespace RVUtil::decoding
