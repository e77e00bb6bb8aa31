// The decoding both fetchers share: the encoding test, DecodeBody's results and buffers, the
// body limit and the memory the decoders hold; then gzip bodies in detail.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>

#include "RVUtil/BodyLimit.h"
#include "decoding/ContentDecoding.h"
#include "support/ChildProcess.h"
#include "support/CompressedBodies.h"

namespace {

using rvtest::Bytes;
using rvtest::Concat;
using RVUtil::FailureKind;
using RVUtil::decoding::ContentEncoding;
using RVUtil::decoding::DecodedBody;

DecodedBody Decode(ContentEncoding kind, const Bytes& body) {
    return RVUtil::decoding::DecodeBody(kind, std::as_bytes(std::span(body)));
}

TEST(ContentDecodingTest, EncodingIsFoundAnywhereInTheValueGzipFirst) {
    const struct {
        const char* value;
        ContentEncoding kind;
    } cases[] = {
        {"GZIP", ContentEncoding::Gzip},       {"x-gzip", ContentEncoding::Gzip},
        {"zstd, gzip", ContentEncoding::Gzip}, {"ZStd", ContentEncoding::Zstd},
        {"deflate", ContentEncoding::None},    {"", ContentEncoding::None},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(RVUtil::decoding::EncodingOf(c.value), c.kind) << c.value;
    }
}

// Failures say that the data did not decode, in libzstd's words and with its error code.
TEST(ContentDecodingTest, DamagedZstdBodiesFailInLibzstdsWords) {
    const Bytes plain = rvtest::TextBytes(50000);
    const Bytes recorded = rvtest::Zstd(plain);
    const Bytes stream = rvtest::Zstd(plain, false);
    const auto corrupt = [](Bytes b) {
        std::for_each(b.begin() + b.size() / 2, b.begin() + b.size() / 2 + 16,
                      [](std::uint8_t& x) { x ^= 0xa5; });
        return b;
    };
    const struct {
        const char* what;
        Bytes body;
    } cases[] = {
        {"corrupt, size recorded", corrupt(recorded)},
        {"corrupt, no size recorded", corrupt(stream)},
        {"cut short, size recorded", Bytes(recorded.begin(), recorded.end() - 5)},
        {"second frame cut short", Concat({stream, Bytes(stream.begin(), stream.begin() + 20)})},
        {"garbage after a frame with its size", Concat({recorded, rvtest::ToBytes("<html>")})},
        {"zero bytes after a frame", Concat({stream, Bytes(16, 0)})},
        {"not zstd", rvtest::ToBytes("plain text, never compressed")},
        {"empty", {}},
    };
    for (const auto& c : cases) {
        const DecodedBody r = Decode(ContentEncoding::Zstd, c.body);
        EXPECT_EQ(r.data, nullptr) << c.what;
        EXPECT_EQ(r.failure.kind, FailureKind::Decoding) << c.what;
        EXPECT_EQ(r.failure.code != 0, !c.body.empty()) << c.what;  // libzstd's error code
        EXPECT_EQ(r.failure.words.rfind("zstd: ", 0), 0U) << r.failure.words;
    }
}

// A host's lower limit holds for every decoder and every way through it: a body of exactly
// the limit decodes, one byte more fails with nothing to release and says that the limit
// ended it.
TEST(ContentDecodingTest, TheBodyLimitHoldsForEveryDecoder) {
    constexpr std::size_t kLimit = std::size_t{8} << 20;
    struct Lowered {
        Lowered() { RVUtil::RVUtil_gfnSetBodyLimit(kLimit); }
        ~Lowered() { RVUtil::RVUtil_gfnSetBodyLimit(0); }  // the default again
    } lowered;
    const auto zeros = [](std::size_t n) { return Bytes(n, 0); };
    const Bytes half = rvtest::Zstd(zeros(kLimit / 2));
    const Bytes one = rvtest::ZeroStreamMember(1);
    const Bytes eight = Concat({one, one, one, one, one, one, one, one});
    const struct {
        const char* what;
        ContentEncoding kind;
        Bytes fits;
        Bytes over;
    } cases[] = {
        {"gzip", ContentEncoding::Gzip, rvtest::ZeroStreamMember(8),
         rvtest::ZeroStreamMember(8, 1)},
        {"gzip, wrong trailer", ContentEncoding::Gzip, rvtest::ZeroStreamMember(8, 0, 16),
         rvtest::ZeroStreamMember(8, 1, 16)},
        {"gzip, members", ContentEncoding::Gzip, eight,
         Concat({eight, rvtest::ZeroStreamMember(0, 1)})},
        {"zstd", ContentEncoding::Zstd, rvtest::Zstd(zeros(kLimit)),
         rvtest::Zstd(zeros(kLimit + 1))},
        {"zstd, no size", ContentEncoding::Zstd, rvtest::Zstd(zeros(kLimit), false),
         rvtest::Zstd(zeros(kLimit + 1), false)},
        {"zstd, mixed", ContentEncoding::Zstd,
         Concat({half, rvtest::Zstd(zeros(kLimit / 2), false)}),
         Concat({half, rvtest::Zstd(zeros(kLimit / 2 + 1), false)})},
        {"zstd, claims", ContentEncoding::Zstd, {}, rvtest::ZstdFrameClaiming(kLimit + 1)},
        {"zstd, claims", ContentEncoding::Zstd, {}, rvtest::ZstdFrameClaiming(1ULL << 40)},
        {"zstd, claims", ContentEncoding::Zstd, {}, rvtest::ZstdFrameClaiming(~0ULL - 5)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (!c.fits.empty()) {
            const DecodedBody r = Decode(c.kind, c.fits);
            ASSERT_EQ(r.size, kLimit);
            ASSERT_NE(r.data, nullptr);
            EXPECT_TRUE(std::all_of(r.data.get(), r.data.get() + kLimit,
                                    [](std::uint8_t x) { return x == 0; }));
            EXPECT_EQ(r.failure.kind, FailureKind::None);
        }
        const DecodedBody r = Decode(c.kind, c.over);
        EXPECT_EQ(r.data, nullptr);
        EXPECT_EQ(r.failure.kind, FailureKind::BodyLimit) << r.failure.words;
        EXPECT_EQ(r.failure.code, static_cast<long>(kLimit));
    }
}

// In a fresh process each (decode_peak), so that the peak resident size is the decoding's
// own: 150 MiB of zeros under a limit of 100 MiB, in every form the decoders take, fails at the
// limit with the peak's growth under 1.2 times the limit, however right or wrong the first
// guess of the size was (a gzip size trailer that tells the truth, 16, or just under the
// limit; zstd frames with or without their sizes); and a large body whose size trailer is
// wrong (it speaks of the last member only) decodes holding its output about once, though it
// no longer fits where the first guess put it.
TEST(ContentDecodingTest, DecodingHoldsItsOutputAboutOnce) {
#if defined(__SANITIZE_ADDRESS__)
    // AddressSanitizer marks a fresh large array in its shadow memory, an eighth of its size.
    constexpr long kShadowEighths = 1;
#else
    constexpr long kShadowEighths = 0;
#endif
    constexpr long kLimitKiB = 100L << 10;
    const struct {
        const char* which;
        long result;
    } cases[] = {{"gzip", 0},
                 {"gzip-trailer-16", 0},
                 {"gzip-trailer-99m", 0},
                 {"zstd", 0},
                 {"zstd-no-size", 0},
                 {"zstd-frames", 0},
                 {"zstd-frames-no-size", 0},
                 {"gzip-members", 512L << 20}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.which);
        rvtest::ChildProcess child({DECODE_PEAK_PATH, c.which});
        const std::string line = child.ReadLine(std::chrono::seconds(240));
        long result = -1;
        long before = 0;
        long peak = 0;
        char kind[32] = {};
        ASSERT_EQ(std::sscanf(line.c_str(), "%ld %ld %ld %31s", &result, &before, &peak, kind), 4)
            << line;
        EXPECT_EQ(result, c.result);
        const long held = c.result > 0 ? c.result / 1024 : kLimitKiB;
        EXPECT_STREQ(kind, c.result > 0 ? "None" : "BodyLimit");
        EXPECT_LT(peak - before,
                  held * (c.result > 0 ? 105 : 120) / 100 + held * kShadowEighths / 8);
    }
}

// The gzip decoder beneath DecodeBody: sizes, header fields and damage. Members, padding and
// wrong size trailers are judged by the gzip fuzz target against zlib from its seeds.
void ExpectDecodes(const Bytes& in, const Bytes& expected) {
    const DecodedBody d = Decode(ContentEncoding::Gzip, in);
    ASSERT_NE(d.data, nullptr);
    ASSERT_EQ(d.size, expected.size());
    EXPECT_TRUE(Bytes(d.data.get(), d.data.get() + d.size) == expected);
    EXPECT_EQ(d.failure.kind, FailureKind::None);
}

// words: what the failure says, or only how it starts.
void ExpectFails(const Bytes& in, const std::string& words = "gzip: ") {
    const DecodedBody d = Decode(ContentEncoding::Gzip, in);
    EXPECT_EQ(d.data, nullptr);
    EXPECT_EQ(d.size, 0U);
    EXPECT_EQ(d.failure.kind, FailureKind::Decoding);
    EXPECT_EQ(d.failure.words.rfind(words, 0), 0U) << d.failure.words;
}

TEST(GzipBodyTest, DecodesBodiesOfEverySize) {
    for (const Bytes& plain :
         {Bytes{}, Bytes{'x'}, rvtest::TextBytes(100000), rvtest::RandomBytes(3 << 20)}) {
        SCOPED_TRACE(plain.size());
        ExpectDecodes(rvtest::Gzip(plain), plain);
    }
}

TEST(GzipBodyTest, HeaderFieldsAreSkippedAndTheHeaderCrcChecked) {
    const Bytes plain = rvtest::TextBytes(5000);
    rvtest::MemberOptions all;
    all.extra = Bytes(300, 'e');
    all.name = "body.html";
    all.comment = "served compressed";
    all.headerCrc = true;
    ExpectDecodes(rvtest::GzipMember(plain, all), plain);

    all.wrongHeaderCrc = true;
    ExpectFails(rvtest::GzipMember(plain, all), "gzip: bad header in member 1");
    rvtest::MemberOptions reserved;
    reserved.extraFlags = 0x20;
    ExpectFails(rvtest::GzipMember(plain, reserved), "gzip: bad header in member 1");

    Bytes otherMethod = rvtest::GzipMember(plain);
    otherMethod[2] = 7;
    ExpectFails(otherMethod, "gzip: bad header in member 1");
}

TEST(GzipBodyTest, EmptyOrDamagedBodiesFailWithNothingToRelease) {
    ExpectFails({}, "gzip: empty body");
    const Bytes plain = rvtest::TextBytes(3000);
    rvtest::MemberOptions named;
    named.name = "n";
    const Bytes good = rvtest::GzipMember(plain, named);

    rvtest::MemberOptions wrongCrc;
    wrongCrc.crc = rvtest::Crc32(plain) ^ 0x100;
    ExpectFails(Concat({good, rvtest::GzipMember(plain, wrongCrc)}),
                "gzip: bad CRC-32 in member 2");
    Bytes flipped = good;
    flipped[good.size() / 2] ^= 0x55;
    ExpectFails(flipped);
    for (std::size_t cut = 1; cut < good.size(); ++cut) {
        SCOPED_TRACE(cut);
        ExpectFails(Bytes(good.begin(), good.begin() + static_cast<long>(cut)));
    }
    // A second member cut short, or anything but zero bytes after the last, spoils the body.
    ExpectFails(Concat({good, Bytes(good.begin(), good.end() - 3)}),
                "gzip: no trailer in member 2");
    ExpectFails(Concat({good, Bytes{0, 0, 1}}), "gzip: bad header in member 2");
}

}  // namespace
