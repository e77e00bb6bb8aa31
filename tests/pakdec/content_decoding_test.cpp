// The decoding both fetchers share: the encoding test and DecodeBody's results and buffers.
// (Gzip bodies go to the gzip decoder, pakdec_test.cpp; the fetchers' suites decode both.)
#include <gtest/gtest.h>

#include <memory>

#include "pakdec/ContentDecoding.h"
#include "support/CompressedBodies.h"

namespace {

using rvtest::Bytes;
using RVUtil::ContentEncoding;

struct Result {
    long rc = 0;
    BYTE* out = nullptr;
    ~Result() { delete[] out; }
};

void Decode(ContentEncoding kind, Bytes body, Result& r) {
    r.rc = RVUtil::DecodeBody(kind, body.empty() ? nullptr : body.data(),
                              static_cast<long>(body.size()), &r.out);
}

TEST(ContentDecodingTest, EncodingIsFoundAnywhereInTheValueGzipFirst) {
    const struct {
        const char* value;
        ContentEncoding kind;
    } cases[] = {
        {"gzip", ContentEncoding::Gzip},       {"GZIP", ContentEncoding::Gzip},
        {"x-gzip", ContentEncoding::Gzip},     {"zstd, gzip", ContentEncoding::Gzip},
        {"gzip, zstd", ContentEncoding::Gzip}, {"zstd", ContentEncoding::Zstd},
        {"ZStd", ContentEncoding::Zstd},       {"br", ContentEncoding::None},
        {"deflate", ContentEncoding::None},    {"", ContentEncoding::None},
        {"identity", ContentEncoding::None},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(RVUtil::EncodingOf(CString(c.value)), c.kind) << c.value;
    }
}

TEST(ContentDecodingTest, NoEncodingLeavesTheSlotAlone) {
    BYTE marker = 0;
    BYTE* out = &marker;
    Bytes body = rvtest::TextBytes(100);
    EXPECT_EQ(RVUtil::DecodeBody(ContentEncoding::None, body.data(), 100, &out), 0);
    EXPECT_EQ(out, &marker);
}

TEST(ContentDecodingTest, ZstdFrameWithRecordedSizeDecodesExactly) {
    const Bytes plain = rvtest::TextBytes(1 << 20);
    Result r;
    Decode(ContentEncoding::Zstd, rvtest::Zstd(plain), r);
    ASSERT_EQ(r.rc, static_cast<long>(plain.size()));
    EXPECT_TRUE(Bytes(r.out, r.out + r.rc) == plain);
}

// Failures still hand over the array they decoded into; the caller releases it.
TEST(ContentDecodingTest, ZstdFailuresLeaveTheArrayToTheCaller) {
    const Bytes plain = rvtest::TextBytes(50000);
    Bytes corrupt = rvtest::Zstd(plain);
    for (std::size_t i = corrupt.size() / 2; i < corrupt.size() / 2 + 16; ++i) {
        corrupt[i] ^= 0xa5;
    }
    // A second frame needs room the first frame's size did not provide.
    Bytes twoFrames = rvtest::Zstd(plain);
    const Bytes second = rvtest::Zstd(rvtest::TextBytes(10, 2));
    twoFrames.insert(twoFrames.end(), second.begin(), second.end());

    const struct {
        const char* what;
        Bytes body;
        bool negative;
    } cases[] = {
        {"no recorded size", rvtest::Zstd(plain, false), false},
        {"corrupt", corrupt, true},
        {"two frames", twoFrames, true},
        {"empty", {}, false},
    };
    for (const auto& c : cases) {
        Result r;
        Decode(ContentEncoding::Zstd, c.body, r);
        EXPECT_TRUE(c.negative ? r.rc < 0 : r.rc <= 0) << c.what << ": " << r.rc;
        EXPECT_NE(r.out, nullptr) << c.what;
    }
}

TEST(ContentDecodingTest, ZstdClaimAboveTheLimitIsRefusedBeforeAllocating) {
    for (std::uint64_t claim : {std::uint64_t{RVUtil::kMaxDecodedBodySize} + 1,
                                std::uint64_t{1} << 40, ~std::uint64_t{0} - 5}) {
        SCOPED_TRACE(claim);
        Result r;
        r.out = reinterpret_cast<BYTE*>(&r);  // must be replaced by null
        Decode(ContentEncoding::Zstd, rvtest::ZstdHeaderClaiming(claim), r);
        EXPECT_EQ(r.rc, 0);
        EXPECT_EQ(r.out, nullptr);
    }
}

}  // namespace
