// IsEncoding and Decompress of the fetcher on real responses, good and corrupt.
#include "CurlTestFixture.h"

namespace rvtest {
namespace {

using RVUtil::CCurlHttpFetcher;

class CurlDecodingTest : public CurlTest {
  protected:
    void SetUp() override { ASSERT_TRUE(m_fetcher.Init()); }

    void Fetch(const std::string& body, const std::string& contentEncoding) {
        m_fetcher.EndRequest();
        HeaderLines headers;
        if (!contentEncoding.empty()) {
            headers.emplace_back("Content-Encoding", contentEncoding);
        }
        m_server.Enqueue(Reply(HttpResponse(200, body, headers)));
        ASSERT_EQ(m_fetcher.Request(m_server.Url().c_str(), nullptr, nullptr, 5000), 1u);
    }

    // What Decompress did with its out slot.
    enum Out { Untouched, Null, Array };

    // Decompress's result; the array it hands out (if any) is released, and its text kept.
    long Decompress(std::string* text = nullptr, Out* outcome = nullptr) {
        BYTE sentinel = 0;
        BYTE* out = &sentinel;
        const long result = m_fetcher.Decompress(&out);
        if (outcome != nullptr) {
            *outcome = out == &sentinel ? Untouched : out == nullptr ? Null : Array;
        }
        if (out != &sentinel) {
            if (text != nullptr && result > 0) {
                text->assign(reinterpret_cast<char*>(out), static_cast<std::size_t>(result));
            }
            delete[] out;
        }
        return result;
    }

    CCurlHttpFetcher m_fetcher;
};

// The decoders and the encoding names are tested on their own (tests/decoding); here each
// kind of body goes through the facade once. Failures report zero or less, and a failed
// zstd frame still hands over the array it was decoded into, for the caller to release.
TEST_F(CurlDecodingTest, DecompressDecodesWhatTheContentEncodingNames) {
    const std::string body = SampleText(20000);
    const std::string gzip = GzipBody(body);
    std::string corruptZstd = ZstdBody(body);
    for (std::size_t i = 12; i < corruptZstd.size(); i += 7) {
        corruptZstd[i] = static_cast<char>(corruptZstd[i] ^ 0x5A);
    }
    const struct {
        std::string sent;
        const char* encoding;
        long result;  // exact, or for a failure with an array the highest allowed
        Out out;
    } cases[] = {
        {"opaque", "", 0, Untouched},
        {"opaque", "br", 0, Untouched},
        {gzip, "x-gzip", static_cast<long>(body.size()), Array},
        {ZstdBody(body), "zstd", static_cast<long>(body.size()), Array},
        {gzip.substr(0, gzip.size() / 2), "gzip", 0, Null},
        {"", "gzip", 0, Null},
        {ZstdBody(body, false), "zstd", static_cast<long>(body.size()), Array},
        {corruptZstd, "zstd", -1, Array},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.encoding) + ", " + std::to_string(c.sent.size()) + " bytes");
        Fetch(c.sent, c.encoding);
        EXPECT_EQ(m_fetcher.IsEncoding(), c.out != Untouched);
        EXPECT_TRUE(BodyOf(m_fetcher) == c.sent);
        std::string text;
        Out out = Untouched;
        const long result = Decompress(&text, &out);
        EXPECT_EQ(out, c.out);
        if (c.result > 0) {
            EXPECT_EQ(result, c.result);
            EXPECT_TRUE(text == body);
        } else if (c.out == Array) {
            EXPECT_LE(result, c.result);
        } else {
            EXPECT_EQ(result, c.result);
        }
    }
}

// Accepting gzip (tests/curl/curl_headers_test.cpp) turns on every decoder libcurl has;
// zstd is one of them in some builds.
TEST_F(CurlDecodingTest, WhenLibcurlDecodesGzipOnlyWhatItCannotDecodeNeedsDecompress) {
    m_fetcher.AddHeader("Accept-Encoding", "gzip");
    const std::string body = SampleText(8000);
    Fetch(ZstdBody(body), "zstd");
    if ((curl_version_info(CURLVERSION_NOW)->features & CURL_VERSION_ZSTD) != 0) {
        EXPECT_FALSE(m_fetcher.IsEncoding());
        EXPECT_TRUE(BodyOf(m_fetcher) == body);
    } else {
        EXPECT_TRUE(m_fetcher.IsEncoding());
        std::string text;
        Decompress(&text);
        EXPECT_TRUE(text == body);
    }
}

TEST_F(CurlDecodingTest, CorruptGzipThatLibcurlDecodesFailsTheRequest) {
    m_fetcher.AddHeader("Accept-Encoding", "gzip");
    const std::string url = m_server.Url();
    m_server.Enqueue(Reply(HttpResponse(200, "garbage, not gzip", {{"Content-Encoding", "gzip"}})));
    EXPECT_EQ(m_fetcher.Request(url.c_str(), nullptr, nullptr, 5000), 0u);
    EXPECT_EQ(LogLines(),
              (std::vector<std::string>{SendError(CURLE_BAD_CONTENT_ENCODING, 200, url), kDetail}));
}

}  // namespace
}  // namespace rvtest
