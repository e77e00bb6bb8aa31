// Response heads and chunked bodies as they come off the wire, well-formed or not.
#include <gtest/gtest.h>

#include <string>

#include "transport/ChunkedDecoder.h"
#include "transport/ResponseHead.h"

namespace {

using namespace RVUtil::transport;

ResponseHead parsed(std::string_view head) {
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
        "HTTP/1.1 404 Not Found\r\nB:tight\nno colon line\r\nA:  two\r\nContent-Length: 3\n\r\n";
    const ResponseHead h = parsed(head);
    EXPECT_EQ(h.status, 404);
    EXPECT_EQ(h.statusText, "404");
    EXPECT_EQ(h.rawBlock, head);
    EXPECT_EQ(h.framing, BodyFraming::Length);
    EXPECT_EQ(h.contentLength, 3u);
    EXPECT_TRUE(h.keepAlive);
}

TEST(ResponseHeadTest, ChoosesTheBodyFramingAndKeepAlive) {
    EXPECT_EQ(parsed("HTTP/1.1 200 OK\r\nTransfer-Encoding: gzip, Chunked\r\n"
                     "Content-Length: 9\r\n\r\n")
                  .framing,
              BodyFraming::Chunked);
    const ResponseHead untilClose = parsed("HTTP/1.1 200 OK\r\n\r\n");
    EXPECT_EQ(untilClose.framing, BodyFraming::UntilClose);
    EXPECT_FALSE(untilClose.keepAlive);
    EXPECT_EQ(parsed("HTTP/1.1 204 No Content\r\nContent-Length: 5\r\n\r\n").framing,
              BodyFraming::None);
    EXPECT_EQ(parsed("HTTP/1.1 304 Not Modified\r\n\r\n").framing, BodyFraming::None);
    EXPECT_FALSE(
        parsed("HTTP/1.1 200 OK\r\nConnection: Close\r\nContent-Length: 0\r\n\r\n").keepAlive);
    EXPECT_FALSE(parsed("HTTP/1.0 200 OK\r\nContent-Length: 0\r\n\r\n").keepAlive);
    EXPECT_TRUE(
        parsed("HTTP/1.0 200 OK\r\nConnection: keep-alive\r\nContent-Length: 0\r\n\r\n").keepAlive);
    // The same length twice, or as a list of equal values, is one length.
    EXPECT_EQ(parsed("HTTP/1.1 200 OK\r\nContent-Length: 10\r\ncontent-length: 10, 10\r\n\r\n")
                  .contentLength,
              10u);
    EXPECT_EQ(parsed("HTTP/1.1 200\r\n\r\n").status, 200);
}

TEST(ResponseHeadTest, RefusesWhatIsNotAnHttpResponse) {
    for (const char* bad :
         {"ICY 200 OK\r\n\r\n", "HTTP/1.1 20 OK\r\n\r\n", "HTTP/1.1 2000 OK\r\n\r\n",
          "HTTP/1.1 abc OK\r\n\r\n", "HTTP/x.1 200 OK\r\n\r\n", "\r\n\r\n", "<html>\n\n",
          "HTTP/1.1 200 OK\r\nContent-Length: 1x\r\n\r\n",
          "HTTP/1.1 200 OK\r\nContent-Length: \r\n\r\n",
          "HTTP/1.1 200 OK\r\nContent-Length: 5\r\nContent-Length: 6\r\n\r\n",
          "HTTP/1.1 200 OK\r\nContent-Length: 99999999999999999999999\r\n\r\n"}) {
        ResponseHead out;
        EXPECT_EQ(ParseResponseHead(bad, &out), kInetInvalidResponse) << bad;
    }
}

TEST(ResponseHeadTest, AnUnreadableLengthCanBeTakenAsNone) {
    for (const char* head :
         {"HTTP/1.1 200 OK\r\nContent-Length: 1x\r\n\r\n",
          "HTTP/1.1 200 OK\r\nContent-Length: 5\r\nContent-Length: 6\r\n\r\n",
          "HTTP/1.1 200 OK\r\nContent-Length: 99999999999999999999999\r\n\r\n"}) {
        ResponseHead out;
        ASSERT_EQ(ParseResponseHead(head, &out, UnreadableLength::Ignore), kInetOk) << head;
        EXPECT_EQ(out.framing, BodyFraming::UntilClose) << head;
        EXPECT_FALSE(out.keepAlive) << head;
        EXPECT_EQ(out.rawBlock, head);
    }
    ResponseHead chunked;
    ASSERT_EQ(ParseResponseHead("HTTP/1.1 200 OK\r\nContent-Length: x\r\n"
                                "Transfer-Encoding: chunked\r\n\r\n",
                                &chunked, UnreadableLength::Ignore),
              kInetOk);
    EXPECT_EQ(chunked.framing, BodyFraming::Chunked);
}

// The chunked fuzz target checks that bytes handed over in pieces decode as they do whole.
ChunkedDecoder::Status decodeAll(std::string_view input, std::string* data,
                                 std::size_t* left = nullptr) {
    std::string out(input.size(), '\0');
    std::size_t consumed = 0;
    std::size_t produced = 0;
    const ChunkedDecoder::Status status = ChunkedDecoder().Decode(
        input.data(), input.size(), out.data(), out.size(), &consumed, &produced);
    data->assign(out.data(), produced);
    if (left != nullptr) {
        *left = input.size() - consumed;
    }
    return status;
}

TEST(ChunkedDecoderTest, DecodesSizesExtensionsTrailersAndBareLineFeeds) {
    std::string data;
    std::size_t left = 0;
    EXPECT_EQ(decodeAll("5;ext=1\r\nhello\r\n1A\r\nabcdefghijklmnopqrstuvwxyz\r\n0\r\n"
                        "Trailer: x\r\n\r\nNEXT",
                        &data, &left),
              ChunkedDecoder::Status::Done);
    EXPECT_EQ(data, "helloabcdefghijklmnopqrstuvwxyz");
    EXPECT_EQ(left, 4u) << "bytes after the body stay unconsumed";
    EXPECT_EQ(decodeAll("3\nabc\n0\n\n", &data), ChunkedDecoder::Status::Done);
    EXPECT_EQ(data, "abc");
}

TEST(ChunkedDecoderTest, RefusesBadSizesAndMissingLineEnds) {
    for (const char* bad : {"zz\r\n", "\r\n", "-1\r\nx\r\n", "3\r\nabcX\r\n", "3x\r\nabc\r\n",
                            "FFFFFFFFFFFFFFFFFF\r\n", "3\rabc\r\n"}) {
        std::string data;
        EXPECT_EQ(decodeAll(bad, &data), ChunkedDecoder::Status::Bad) << bad;
    }
}

}  // namespace
