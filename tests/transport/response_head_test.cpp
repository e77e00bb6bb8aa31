// Response heads as they come off the wire, well-formed or not, and where a chunked body
// ends.
#include <gtest/gtest.h>

#include <string>

#include "transport/ChunkedDecoder.h"
#include "transport/ResponseHead.h"

namespace {

using namespace RVUtil::transport;

ResponseHead Parsed(std::string_view head) {
    ResponseHead out;
    EXPECT_EQ(ParseResponseHead(head, &out), kInetOk) << head;
    return out;
}

// The response_head fuzz target checks a scan resumed where an earlier one stopped.
TEST(ResponseHeadTest, FindsTheEndWithEitherLineEnding) {
    EXPECT_EQ(FindResponseHeadEnd("HTTP/1.1 200 OK\r\nA: b\r\n\r\nbody"), 25u);
    EXPECT_EQ(FindResponseHeadEnd("HTTP/1.1 200 OK\nA: b\n\nbody"), 22u);
    EXPECT_EQ(FindResponseHeadEnd("HTTP/1.1 200 OK\r\nA: b\r\n"), 0u);
}

TEST(ResponseHeadTest, KeepsTheHeadExactlyAsReceived) {
    const std::string head =
        "HTTP/1.1 404 Not Found\r\nB:tight\n folded on\r\nA:  two\r\nContent-Length: 3\n\r\n";
    const ResponseHead h = Parsed(head);
    EXPECT_EQ(h.status, 404);
    EXPECT_EQ(h.parsed.View().Code(), "404");
    EXPECT_EQ(h.parsed.Raw(), head);
    EXPECT_EQ(h.framing, BodyFraming::Length);
    EXPECT_EQ(h.contentLength, 3u);
    EXPECT_TRUE(h.keepAlive);
}

// Which framing a head gives its body, and whether the connection stays; an unreadable
// length can be taken as none, the body then running until the close.
TEST(ResponseHeadTest, ChoosesTheBodyFramingAndKeepAlive) {
    using enum BodyFraming;
    constexpr auto kIgnore = UnreadableLength::Ignore;
    const struct {
        const char* head;
        BodyFraming framing;
        bool keepAlive;
        std::uint64_t length = 0;
        UnreadableLength rule = UnreadableLength::Refuse;
    } cases[] = {
        {"HTTP/1.1 200 OK\r\nTransfer-Encoding:  Chunked \r\nContent-Length: 9\r\n\r\n", Chunked,
         true},
        {"HTTP/1.1 200 OK\r\n\r\n", UntilClose, false},
        {"HTTP/1.1 204 No Content\r\nContent-Length: 5\r\n\r\n", None, true},
        {"HTTP/1.1 304 Not Modified\r\n\r\n", None, true},
        {"HTTP/1.1 200 OK\r\nConnection: Close\r\nContent-Length: 0\r\n\r\n", Length, false},
        {"HTTP/1.0 200 OK\r\nContent-Length: 0\r\n\r\n", Length, false},
        {"HTTP/1.0 200 OK\r\nConnection: keep-alive\r\nContent-Length: 0\r\n\r\n", Length, true},
        // The same length twice, or as a list of equal values, is one length.
        {"HTTP/1.1 200\r\nContent-Length: 10\r\ncontent-length: 10, 10\r\n\r\n", Length, true, 10},
        {"HTTP/1.1 200 OK\r\nContent-Length: 1x\r\n\r\n", UntilClose, false, 0, kIgnore},
        {"HTTP/1.1 200 OK\r\nContent-Length: 5\r\nContent-Length: 6\r\n\r\n", UntilClose, false, 0,
         kIgnore},
        {"HTTP/1.1 200 OK\r\nContent-Length: 99999999999999999999999\r\n\r\n", UntilClose, false, 0,
         kIgnore},
        {"HTTP/1.1 200 OK\r\nContent-Length: x\r\nTransfer-Encoding: chunked\r\n\r\n", Chunked,
         true, 0, kIgnore},
    };
    for (const auto& c : cases) {
        ResponseHead h;
        ASSERT_EQ(ParseResponseHead(c.head, &h, c.rule), kInetOk) << c.head;
        EXPECT_EQ(h.framing, c.framing) << c.head;
        EXPECT_EQ(h.keepAlive, c.keepAlive) << c.head;
        EXPECT_EQ(h.parsed.Raw(), c.head);
        if (c.framing == Length) {
            EXPECT_EQ(h.contentLength, c.length) << c.head;
        }
    }
}

TEST(ResponseHeadTest, RefusesWhatIsNotAnHttpResponse) {
    for (const char* bad :
         {"ICY 200 OK\r\n\r\n", "HTTP/1.1 20 OK\r\n\r\n", "HTTP/1.1 2000 OK\r\n\r\n",
          "HTTP/1.1 abc OK\r\n\r\n", "HTTP/x.1 200 OK\r\n\r\n", "\r\n\r\n", "<html>\n\n",
          "HTTP/1.1 200 OK\r\nContent-Length: 1x\r\n\r\n",
          "HTTP/1.1 200 OK\r\nContent-Length: \r\n\r\n",
          "HTTP/1.1 200 OK\r\nContent-Length: 5\r\nContent-Length: 6\r\n\r\n",
          "HTTP/1.1 200 OK\r\nContent-Length: 99999999999999999999999\r\n\r\n",
          // What one reader would take one way and another reader another way.
          "HTTP/1.2 200 OK\r\n\r\n", "HTTP/2 200 OK\r\n\r\n", "HTTP/1.1 099 OK\r\n\r\n",
          "HTTP/1.1 200OK\r\n\r\n", "http/1.1 200 OK\r\n\r\n", "HTTP/1.1 101 Up\r\n\r\n",
          "HTTP/1.1 200 OK\r\nno colon\r\n\r\n", "HTTP/1.1 200 OK\r\n first: fold\r\n\r\n",
          "HTTP/1.1 200 OK\r\nX: a\rb\r\n\r\n",
          "HTTP/1.1 200 OK\r\nTransfer-Encoding: gzip\r\n\r\n",
          "HTTP/1.1 200 OK\r\nTransfer-Encoding: gzip, chunked\r\n\r\n"}) {
        ResponseHead out;
        EXPECT_EQ(ParseResponseHead(bad, &out), kInetInvalidResponse) << bad;
    }
    ResponseHead out;
    EXPECT_EQ(ParseResponseHead(std::string_view("HTTP/1.1 200 OK\r\nX: a\0b\r\n\r\n", 27), &out),
              kInetInvalidResponse);
}

// The bytes after a chunked body belong to the next response on the connection.
TEST(ChunkedDecoderTest, LeavesTheBytesAfterTheBody) {
    const std::string_view in = "3\r\nabc\r\n0\r\n\r\nNEXT";
    char out[16];
    std::size_t consumed = 0;
    std::size_t produced = 0;
    EXPECT_EQ(ChunkedDecoder().Decode(in.data(), in.size(), out, sizeof out, &consumed, &produced),
              ChunkedDecoder::Status::Done);
    EXPECT_EQ(in.substr(consumed), "NEXT");
}

}  // namespace
