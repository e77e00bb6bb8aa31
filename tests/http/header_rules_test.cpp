// The header rules both fetchers share: which request headers may go on the wire, and how
// a response's header block is cut into recorded lines.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "http/HeaderPairs.h"
#include "http/PairArray.h"
#include "http/ParsedHead.h"

namespace {

using RVUtil::http::HeaderRefusal;

std::vector<std::string> Flat(const CStringArray& pairs) {
    std::vector<std::string> out;
    for (INT_PTR i = 0; i < pairs.GetSize(); ++i) {
        out.emplace_back(pairs[i].GetString(), static_cast<std::size_t>(pairs[i].GetLength()));
    }
    return out;
}
std::vector<std::string> Flat(const RVUtil::http::HeaderList& pairs) {
    return Flat(RVUtil::http::PairArrayOf(pairs));
}

TEST(RequestHeaderRule, RefusesWhatCouldEndTheLineOrTheName) {
    struct Case {
        std::string name;
        std::string value;
        HeaderRefusal expected;
    };
    const std::vector<Case> cases = {
        {"X-A", "v", HeaderRefusal::None},
        {"X-A", "", HeaderRefusal::None},
        {"X-A", "a: b; c=\"d\"\t", HeaderRefusal::None},  // colons and tabs in values are fine
        {"", "v", HeaderRefusal::EmptyName},
        {"X A", "v", HeaderRefusal::NameNotToken},
        {"X-A:", "v", HeaderRefusal::NameNotToken},
        {"X\tA", "v", HeaderRefusal::NameNotToken},
        {"X\r\nA", "v", HeaderRefusal::NameNotToken},
        {"X-A", "v\r\nInjected: yes", HeaderRefusal::LineBreakOrNul},
        {"X-A", "v\nGET /smuggled HTTP/1.1", HeaderRefusal::LineBreakOrNul},
        {"X-A", "v\r", HeaderRefusal::LineBreakOrNul},
        {"X-A", std::string("v\0w", 3), HeaderRefusal::LineBreakOrNul},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(RVUtil::http::CheckRequestHeader(c.name, c.value), c.expected)
            << '[' << c.name << "] [" << c.value << ']';
    }

    using RVUtil::http::RefusalReason;
    EXPECT_STREQ(RefusalReason(HeaderRefusal::EmptyName), "empty name");
    EXPECT_STREQ(RefusalReason(HeaderRefusal::LineBreakOrNul), "CR, LF or NUL in the value");
    EXPECT_EQ(RVUtil::http::RefusedHeaderRecord(nullptr, "v"),
              "Request header refused (empty name): -");
    EXPECT_EQ(RVUtil::http::RefusedHeaderRecord("X-A", "v"), std::nullopt);
}

TEST(RequestHeaderRule, PairsReplaceByExactNameAndResponseLookupIgnoresCase) {
    RVUtil::http::HeaderList pairs;
    RVUtil::http::SetRequestPair(pairs, "Accept", "a");
    RVUtil::http::SetRequestPair(pairs, "Accept", "b");
    RVUtil::http::SetRequestPair(pairs, "accept", "c");
    EXPECT_EQ(Flat(pairs), (std::vector<std::string>{"Accept", "b", "accept", "c"}));
    EXPECT_FALSE(RVUtil::http::RemoveRequestPair(pairs, "ACCEPT"));
    EXPECT_TRUE(RVUtil::http::RemoveRequestPair(pairs, "Accept"));
    EXPECT_EQ(Flat(pairs), (std::vector<std::string>{"accept", "c"}));

    CStringArray response;
    for (const char* item : {"Set-Cookie", "a=1", "set-cookie", "b=2"}) {
        response.Add(item);
    }
    EXPECT_EQ(RVUtil::http::FindResponseValue(response, "SET-COOKIE"), "a=1");
    EXPECT_EQ(RVUtil::http::FindResponseValue(response, "Absent"), "");
    // The list and the exported array answer alike, and go one into the other unchanged.
    const RVUtil::http::HeaderList list = RVUtil::http::HeaderListOf(response);
    EXPECT_EQ(RVUtil::http::FindResponseValue(list, "SET-COOKIE"), "a=1");
    EXPECT_EQ(RVUtil::http::FindResponseValue(list, "Absent"), "");
    EXPECT_EQ(Flat(list), Flat(response));
}

// A line ends at LF, one CR before it is dropped, and a CR elsewhere belongs to its line
// (LF-only and mixed heads end to end: the hostile-server cases of
// tests/fetch/read_functions_test.cpp).
TEST(HeaderLines, OnlyNameColonSpaceValueLinesAreRecorded) {
    const RVUtil::http::ParsedHead head(
        "HTTP/1.1 200 OK\r\nA:1\r\nB: \r\nC:  two\r\nD: x\ry\r\r\n: e\r\nF: unended");
    CStringArray pairs;
    RVUtil::http::RecordFields(head.View(), pairs);
    EXPECT_EQ(Flat(pairs), (std::vector<std::string>{"B", "", "C", " two", "D", "x\ry\r"}));
    // Every line with a colon is a field, as received; FindHeader's rule then needs a name
    // and the space after the colon, and the first such line of a name wins.
    EXPECT_EQ(head.View().FieldCount(), 5u);
    EXPECT_EQ(head.View().Field(0).value, "1");
    EXPECT_EQ(head.Find("a"), std::nullopt);
    EXPECT_EQ(head.Find("c"), " two");
    EXPECT_TRUE(RVUtil::http::RecordHeaderLine("X: 1", pairs));
    EXPECT_FALSE(RVUtil::http::RecordHeaderLine("X:1", pairs));
}

// The status line and the fields as a reader shows them, from heads with CR LF, LF alone,
// a repeated name, an obs-fold line and a reason phrase holding a colon.
TEST(ParsedHead, ReadsStatusFieldsAndFirstValueOnce) {
    struct Case {
        const char* block;
        int status;
        const char* reason;
        std::vector<std::string> shown;  // name, value, ...
        const char* found;               // Find("x-a"), or null for none
    };
    const Case cases[] = {
        {"HTTP/1.1 200 OK\r\nX-A: 1\r\nx-a: 2\r\n\r\n", 200, "OK", {"X-A", "1", "x-a", "2"}, "1"},
        {"HTTP/1.0 404 Not Found\nX-A:  sp \n fold: ed\n\n",
         404,
         "Not Found",
         {"X-A", "sp", " fold", "ed"},
         " sp "},
        {"HTTP/1.1 200 A: b\r\nX-A:n\r\n\r\n", 200, "A: b", {"X-A", "n"}, nullptr},
        {"garbage\r\n\r\n", 0, "", {}, nullptr},
    };
    for (const Case& c : cases) {
        // Moved before it is read: the index holds offsets, not pointers.
        RVUtil::http::ParsedHead kept(c.block);
        const RVUtil::http::ParsedHead head = std::move(kept);
        const RVUtil::http::HeadView view = head.View();
        EXPECT_EQ(view.Status(), c.status) << c.block;
        EXPECT_EQ(view.Reason(), c.reason) << c.block;
        std::vector<std::string> shown;
        view.ForEachHeader([&](std::string_view name, std::string_view value) {
            shown.emplace_back(name);
            shown.emplace_back(value);
        });
        EXPECT_EQ(shown, c.shown) << c.block;
        EXPECT_EQ(head.Find("x-a"),
                  c.found ? std::optional<std::string_view>(c.found) : std::nullopt)
            << c.block;
    }
}

}  // namespace
