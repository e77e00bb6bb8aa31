// The pieces of the streaming request that need no server: the header map, the declared
// length, and the sized query of the header block.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "CRVHttpFetcher/request2/DeclaredLength.h"
#include "CRVHttpFetcher/request2/HeaderBlockQuery.h"
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

// A stand-in for the sized query whose block may grow between queries (blocks[i] is what
// query i sees, the last one for the rest), or that fails with another error.
struct ScriptedQuery {
    std::vector<std::string> blocks;
    DWORD otherError = 0;
    std::vector<DWORD> offered;  // the buffer size each call was given (0: none)

    bool operator()(char* buffer, DWORD* length, DWORD* error) {
        const std::string& block = blocks[std::min(offered.size(), blocks.size() - 1)];
        offered.push_back(buffer ? *length : 0);
        if (otherError != 0 || buffer == nullptr || *length < block.size() + 1) {
            *length = static_cast<DWORD>(block.size() + 1);
            *error = otherError != 0 ? otherError : kErrorInsufficientBuffer;
            return false;
        }
        std::memcpy(buffer, block.c_str(), block.size() + 1);
        *length = static_cast<DWORD>(block.size());
        return true;
    }
};

TEST(HeaderBlockQueryTest, AsksAgainUntilTheBlockFitsOrCannotBeHad) {
    ScriptedQuery growing{{"A: 1\r\n", "A: 1\r\nB: 2\r\n", "A: 1\r\nB: 2\r\nC: 3\r\n"}, 0, {}};
    std::string seen;
    EXPECT_TRUE(WithRawHeaderBlock(
        growing, [&](const char* text, DWORD length) { seen.assign(text, length); }));
    EXPECT_EQ(seen, "A: 1\r\nB: 2\r\nC: 3\r\n");
    EXPECT_EQ(growing.offered, (std::vector<DWORD>{0, 7, 13, 19}));

    bool used = false;
    const auto use = [&](const char*, DWORD) { used = true; };
    ScriptedQuery missing{{"A: 1\r\n"}, kErrorHeaderNotFound, {}};
    EXPECT_FALSE(WithRawHeaderBlock(missing, use));
    EXPECT_EQ(missing.offered.size(), 1u);
    // A query that refuses the very size it asked for would never finish.
    EXPECT_FALSE(WithRawHeaderBlock(
        [](char*, DWORD* length, DWORD* error) {
            *length = 16;
            *error = kErrorInsufficientBuffer;
            return false;
        },
        use));
    EXPECT_FALSE(used);
}

}  // namespace
