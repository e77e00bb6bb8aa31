// The gzip decoder: sizes, header fields, damage and arguments. Members, padding and wrong
// size trailers are judged by the gzip fuzz target against zlib from its seeds.
#include <gtest/gtest.h>

#include <memory>

#include "decoding/Pakdec.h"
#include "support/CompressedBodies.h"

namespace {

using rvtest::Bytes;

struct Decoded {
    int rc = 0;
    std::unique_ptr<BYTE[]> data;
    int length = -1;
    Bytes bytes() const { return Bytes(data.get(), data.get() + length); }
};

Decoded Pakdec(Bytes in) {
    Decoded d;
    BYTE* out = reinterpret_cast<BYTE*>(&d);  // must be replaced, never released
    d.rc = PakdecA(static_cast<int>(in.size()), in.empty() ? nullptr : in.data(), &out, &d.length);
    d.data.reset(out);
    return d;
}

void ExpectDecodes(const Bytes& in, const Bytes& expected) {
    const Decoded d = Pakdec(in);
    ASSERT_NE(d.rc, 0);
    ASSERT_NE(d.data, nullptr);
    ASSERT_EQ(d.length, static_cast<int>(expected.size()));
    EXPECT_TRUE(d.bytes() == expected);
}

void ExpectFails(const Bytes& in) {
    Decoded d = Pakdec(in);
    EXPECT_EQ(d.rc, 0);
    EXPECT_EQ(d.data, nullptr);
    EXPECT_EQ(d.length, 0);
}

using rvtest::Concat;

TEST(PakdecTest, DecodesBodiesOfEverySize) {
    for (const Bytes& plain :
         {Bytes{}, Bytes{'x'}, rvtest::TextBytes(100000), rvtest::RandomBytes(3 << 20)}) {
        SCOPED_TRACE(plain.size());
        ExpectDecodes(rvtest::Gzip(plain), plain);
    }
}

TEST(PakdecTest, HeaderFieldsAreSkippedAndTheHeaderCrcChecked) {
    const Bytes plain = rvtest::TextBytes(5000);
    rvtest::MemberOptions all;
    all.extra = Bytes(300, 'e');
    all.name = "body.html";
    all.comment = "served compressed";
    all.headerCrc = true;
    ExpectDecodes(rvtest::GzipMember(plain, all), plain);

    all.wrongHeaderCrc = true;
    ExpectFails(rvtest::GzipMember(plain, all));
    rvtest::MemberOptions reserved;
    reserved.extraFlags = 0x20;
    ExpectFails(rvtest::GzipMember(plain, reserved));

    Bytes otherMethod = rvtest::GzipMember(plain);
    otherMethod[2] = 7;
    ExpectFails(otherMethod);
}

TEST(PakdecTest, DamagedBodiesFailWithNothingToRelease) {
    const Bytes plain = rvtest::TextBytes(3000);
    rvtest::MemberOptions named;
    named.name = "n";
    const Bytes good = rvtest::GzipMember(plain, named);

    rvtest::MemberOptions wrongCrc;
    wrongCrc.crc = rvtest::Crc32(plain) ^ 0x100;
    ExpectFails(rvtest::GzipMember(plain, wrongCrc));
    Bytes flipped = good;
    flipped[good.size() / 2] ^= 0x55;
    ExpectFails(flipped);
    for (std::size_t cut = 1; cut < good.size(); ++cut) {
        SCOPED_TRACE(cut);
        ExpectFails(Bytes(good.begin(), good.begin() + static_cast<long>(cut)));
    }
    // A second member cut short, or anything but zero bytes after the last, spoils the body.
    ExpectFails(Concat({good, Bytes(good.begin(), good.end() - 3)}));
    ExpectFails(Concat({good, Bytes{0, 0, 1}}));
}

TEST(PakdecTest, EmptyOrMissingArgumentsFail) {
    ExpectFails({});
    Bytes body = rvtest::Gzip(rvtest::TextBytes(10));
    BYTE* out = nullptr;
    int length = 7;
    EXPECT_EQ(PakdecA(-1, body.data(), &out, &length), 0);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(length, 0);
    EXPECT_EQ(PakdecA(static_cast<int>(body.size()), body.data(), nullptr, &length), 0);
    EXPECT_EQ(PakdecA(static_cast<int>(body.size()), body.data(), &out, nullptr), 0);
    EXPECT_EQ(out, nullptr);
}

}  // namespace
