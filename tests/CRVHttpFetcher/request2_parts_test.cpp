// The pieces of the streaming request that need no server: the header map and the declared
// length.
#include <gtest/gtest.h>

#include <string>

#include "CRVHttpFetcher/request2/DeclaredLength.h"
#include "CRVHttpFetcher/request2/ResponseHeaderMap.h"

namespace {

using namespace RVUtil::request2;

ResponseHeaderMap parsed(const std::string& block) {
    ResponseHeaderMap map;
    ParseHeaderBlock(block.data(), block.size(), &map);
    return map;
}

TEST(ResponseHeaderMapTest, MergesNamesOfAnyCaseAndSplitsAtEveryLf) {
    EXPECT_EQ(HeaderNameHash{}("Content-Length"), HeaderNameHash{}("cONTENT-lENGTH"));
    EXPECT_FALSE(HeaderNameEqual{}("a_b", "A-B")) << "only letters fold";
    // LF ends a line, with or without a CR before it; a CR alone is part of its line, and
    // the text after the last LF is no line.
    const ResponseHeaderMap map = parsed(
        "HTTP/1.1 200 OK\nSet-Cookie: a=1\nX:\r\nSET-COOKIE:b=2\r\n: v\r\n"
        "C: x:y\rz\r\n\r\nD: 4");
    ASSERT_EQ(map.size(), 4u);
    const auto cookie = map.find("set-cookie");
    ASSERT_NE(cookie, map.end());
    EXPECT_EQ(cookie->first, "Set-Cookie") << "the first spelling names the entry";
    EXPECT_EQ(cookie->second, " a=1; b=2");
    EXPECT_EQ(map.at("x"), "");
    EXPECT_EQ(map.at(""), " v");
    EXPECT_EQ(map.at("c"), " x:y\rz") << "split at the first colon";
    // The given length bounds the text: an LF beyond it is not seen.
    ResponseHeaderMap cut;
    ParseHeaderBlock("A: 1\r\nB: 2\r\n", 11, &cut);
    EXPECT_EQ(cut.size(), 1u);
}

TEST(DeclaredLengthTest, ReadsLikeStoulIntoThirtyTwoBits) {
    // clang-format off
    const std::pair<const char*, std::optional<std::uint32_t>> cases[] = {
        {" 10;  10", 10u}, {"\t\n\v\f\r 7", 7u}, {"+5", 5u}, {"007x", 7u}, {"0x10", 0u},
        {"4294967295", 4294967295u}, {"-1", 4294967295u}, {"-4294967295", 1u},
        {"4294967296", {}}, {"-4294967296", {}}, {"123456789012345678901", {}},
        {"", {}}, {" ", {}}, {"-", {}}, {"+ 5", {}}, {"abc", {}}};
    // clang-format on
    for (const auto& [text, value] : cases) {
        EXPECT_EQ(ReadUnsignedLong32(text), value) << '"' << text << '"';
    }
    EXPECT_EQ(DeclaredContentLength(parsed("CONTENT-LENGTH: 12\r\n")), 12u);
    EXPECT_EQ(DeclaredContentLength(parsed("Content-Length: none\r\n")), 0u);
    EXPECT_EQ(DeclaredContentLength(parsed("Content-Type: 12\r\n")), 0u);
}

}  // namespace
