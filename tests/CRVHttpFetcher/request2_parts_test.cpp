// The pieces of the streaming request that need no server: the header map, the declared
// length, and the sized query of the header block.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "AllocationFailure.h"
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

TEST(ResponseHeaderMapTest, NamesDifferingInLetterCaseShareOneEntry) {
    EXPECT_EQ(HeaderNameHash{}("Content-Length"), HeaderNameHash{}("cONTENT-lENGTH"));
    EXPECT_TRUE(HeaderNameEqual{}("Set-Cookie", "SET-cookie"));
    EXPECT_FALSE(HeaderNameEqual{}("Set-Cookie", "Set-Cookie2"));
    EXPECT_FALSE(HeaderNameEqual{}("a_b", "A-B")) << "only letters fold";

    const ResponseHeaderMap map = parsed(
        "HTTP/1.1 200 OK\r\nSet-Cookie: a=1\r\nX:\r\nSET-COOKIE:b=2\r\n: empty name\r\n"
        "set-cookie:  c=3\r\n\r\n");
    ASSERT_EQ(map.size(), 3u);
    const auto cookie = map.find("set-cookie");
    ASSERT_NE(cookie, map.end());
    EXPECT_EQ(cookie->first, "Set-Cookie") << "the first spelling names the entry";
    EXPECT_EQ(cookie->second, " a=1; b=2;   c=3");
    EXPECT_EQ(map.at("x"), "");
    EXPECT_EQ(map.at(""), " empty name");
}

TEST(ResponseHeaderMapTest, SplitsAtEveryCrAndStopsWithoutOne) {
    // A CR without LF ends a line too; the text after the last CR is no line.
    const ResponseHeaderMap map = parsed("A: 1\rB: 2\r\nC: x:y\r\n\rD: 4");
    ASSERT_EQ(map.size(), 3u);
    EXPECT_EQ(map.at("A"), " 1");
    EXPECT_EQ(map.at("b"), " 2");
    EXPECT_EQ(map.at("C"), " x:y") << "split at the first colon";
    EXPECT_EQ(map.count("D"), 0u);
    // The given length bounds the text: a CR beyond it is not seen.
    ResponseHeaderMap cut;
    const std::string text = "A: 1\r\nB: 2\r\n";
    ParseHeaderBlock(text.data(), 8, &cut);
    EXPECT_EQ(cut.size(), 1u);
}

TEST(DeclaredLengthTest, ReadsLikeStoulIntoThirtyTwoBits) {
    struct Case {
        const char* text;
        std::optional<std::uint32_t> value;
    };
    const Case cases[] = {
        {" 10;  10", 10u},
        {"\t\n\v\f\r 7", 7u},
        {"+5", 5u},
        {"007x", 7u},
        {"4294967295", 4294967295u},
        {"-1", 4294967295u},
        {"-4294967295", 1u},
        {"4294967296", std::nullopt},
        {"-4294967296", std::nullopt},
        {"123456789012345678901234567890", std::nullopt},
        {"", std::nullopt},
        {" ", std::nullopt},
        {"-", std::nullopt},
        {"+ 5", std::nullopt},
        {"0x10", 0u},
        {"abc", std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ReadUnsignedLong32(c.text), c.value) << '"' << c.text << '"';
    }
    EXPECT_EQ(DeclaredContentLength(parsed("CONTENT-LENGTH: 12\r\n")), 12u);
    EXPECT_EQ(DeclaredContentLength(parsed("Content-Length: none\r\n")), 0u);
    EXPECT_EQ(DeclaredContentLength(parsed("Content-Type: 12\r\n")), 0u);
}

// A scripted stand-in for the sized query: a block whose size may change between queries.
struct ScriptedQuery {
    std::vector<std::string> blocks;  // the block as each query sees it
    std::size_t calls = 0;
    std::vector<DWORD> offered;  // the buffer size each call was given (0: none)
    DWORD otherError = 0;        // fail the first call with this instead

    bool operator()(char* buffer, DWORD* length, DWORD* error) {
        const std::string& block = blocks[std::min(calls, blocks.size() - 1)];
        ++calls;
        offered.push_back(buffer ? *length : 0);
        if (otherError != 0) {
            *error = otherError;
            return false;
        }
        if (buffer == nullptr || *length < block.size() + 1) {
            *length = static_cast<DWORD>(block.size() + 1);
            *error = kErrorInsufficientBuffer;
            return false;
        }
        std::memcpy(buffer, block.c_str(), block.size() + 1);
        *length = static_cast<DWORD>(block.size());
        return true;
    }
};

TEST(HeaderBlockQueryTest, AsksAgainWithEachSizeUntilTheBlockFits) {
    ScriptedQuery query;
    query.blocks = {"A: 1\r\n", "A: 1\r\nB: 2\r\n", "A: 1\r\nB: 2\r\nC: 3\r\n"};
    std::string seen;
    EXPECT_TRUE(WithRawHeaderBlock(
        query, [&](const char* text, DWORD length) { seen.assign(text, length); }));
    EXPECT_EQ(seen, "A: 1\r\nB: 2\r\nC: 3\r\n");
    EXPECT_EQ(query.offered, (std::vector<DWORD>{0, 7, 13, 19}));
}

TEST(HeaderBlockQueryTest, GoesOnWithoutHeadersWhenTheQueryCannotSucceed) {
    bool used = false;
    const auto use = [&](const char*, DWORD) { used = true; };
    ScriptedQuery missing;
    missing.blocks = {"A: 1\r\n"};
    missing.otherError = kErrorHeaderNotFound;
    EXPECT_FALSE(WithRawHeaderBlock(missing, use));
    EXPECT_EQ(missing.calls, 1u);

    // A query that refuses the very size it asked for would never finish.
    int calls = 0;
    EXPECT_FALSE(WithRawHeaderBlock(
        [&](char*, DWORD* length, DWORD* error) {
            ++calls;
            *length = 16;
            *error = kErrorInsufficientBuffer;
            return false;
        },
        use));
    EXPECT_EQ(calls, 2);
    EXPECT_FALSE(used);

    // The buffer cannot be had: the allocation failure reaches the caller.
    ScriptedQuery query;
    query.blocks = {"A: 1\r\n"};
    query.offered.reserve(4);
    bool refused = false;
    {
        rvtest::FailAllocationsFrom failing(1);
        try {
            WithRawHeaderBlock(query, use);
        } catch (const std::bad_alloc&) {
            refused = true;
        }
    }
    EXPECT_TRUE(refused);
    EXPECT_FALSE(used);
}

}  // namespace
