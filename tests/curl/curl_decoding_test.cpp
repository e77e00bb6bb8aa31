// IsEncoding and Decompress of the fetcher on real responses, good and corrupt.
#include <memory>

#include "CurlTestFixture.h"

namespace rvtest {
namespace {

using RVUtil::CCurlHttpFetcher;

// Takes over the buffer Decompress hands out, which the caller releases with delete[].
struct Decoded {
    long result = 0;
    std::unique_ptr<BYTE[]> buffer;
    std::string Text() const {
        return result > 0 ? std::string(reinterpret_cast<const char*>(buffer.get()),
                                        static_cast<std::size_t>(result))
                          : std::string();
    }
};

class CurlDecodingTest : public CurlTest {
  protected:
    void SetUp() override { ASSERT_TRUE(m_fetcher.Init()); }

    void Fetch(const std::string& body, const std::string& contentEncoding) {
        HeaderLines headers;
        if (!contentEncoding.empty()) {
            headers.emplace_back("Content-Encoding", contentEncoding);
        }
        m_server.Enqueue(Reply(HttpResponse(200, body, headers)));
        ASSERT_EQ(m_fetcher.Request(m_server.Url().c_str(), nullptr, nullptr, 5000), 1u);
    }

    Decoded Decompress() {
        BYTE* out = nullptr;
        Decoded decoded;
        decoded.result = m_fetcher.Decompress(&out);
        decoded.buffer.reset(out);
        return decoded;
    }

    CCurlHttpFetcher m_fetcher;
};

// The decoders themselves are tested on their own (tests/pakdec); here each kind of body
// goes through the facade once. Failures report zero or less; a failed zstd frame still
// hands over the array it was decoded into, for the caller to release.
TEST_F(CurlDecodingTest, DecompressDecodesWhatTheContentEncodingNames) {
    const std::string body = SampleText(20000);
    const std::string gzip = GzipBody(body);
    std::string corruptZstd = ZstdBody(body);
    for (std::size_t i = 12; i < corruptZstd.size(); i += 7) {
        corruptZstd[i] = static_cast<char>(corruptZstd[i] ^ 0x5A);
    }
    enum Expect { Untouched, Whole, Zero, ArrayAndNoPositive, ArrayAndNegative };
    const struct {
        std::string sent;
        const char* encoding;
        Expect expect;
    } cases[] = {
        {"opaque", "", Untouched},
        {"opaque", "br", Untouched},
        {"opaque", "deflate", Untouched},
        {"opaque", "identity", Untouched},
        {gzip, "gzip", Whole},
        {gzip, "GZIP", Whole},
        {gzip, "x-gzip", Whole},
        {gzip, "zstd, gzip", Whole},
        {ZstdBody(body), "zstd", Whole},
        {gzip.substr(0, gzip.size() / 2), "gzip", Zero},
        {"this is not gzip at all", "gzip", Zero},
        {"", "gzip", Zero},
        {ZstdBody(body, false), "zstd", ArrayAndNoPositive},
        {corruptZstd, "zstd", ArrayAndNegative},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.encoding) + ", " + std::to_string(c.sent.size()) + " bytes");
        Fetch(c.sent, c.encoding);
        EXPECT_EQ(m_fetcher.IsEncoding(), c.expect != Untouched);
        EXPECT_TRUE(BodyOf(m_fetcher) == c.sent);
        BYTE sentinel = 0;
        BYTE* out = &sentinel;
        Decoded decoded;
        decoded.result = m_fetcher.Decompress(&out);
        if (out != &sentinel) {
            decoded.buffer.reset(out);
        }
        switch (c.expect) {
            case Untouched:
                EXPECT_EQ(decoded.result, 0);
                EXPECT_EQ(out, &sentinel);
                break;
            case Whole:
                EXPECT_EQ(decoded.result, static_cast<long>(body.size()));
                EXPECT_TRUE(decoded.Text() == body);
                break;
            case Zero:
                EXPECT_EQ(decoded.result, 0);
                break;
            case ArrayAndNoPositive:
            case ArrayAndNegative:
                EXPECT_LE(decoded.result, c.expect == ArrayAndNegative ? -1 : 0);
                EXPECT_NE(decoded.buffer, nullptr);
                break;
        }
        m_fetcher.EndRequest();
    }
}

TEST_F(CurlDecodingTest, WhenLibcurlDecodesGzipOnlyWhatItCannotDecodeNeedsDecompress) {
    m_fetcher.AddHeader("Accept-Encoding", "gzip");
    const std::string body = SampleText(8000);
    Fetch(GzipBody(body), "gzip");
    EXPECT_FALSE(m_fetcher.IsEncoding());
    EXPECT_TRUE(BodyOf(m_fetcher) == body);
    m_fetcher.EndRequest();

    // Accepting gzip turns on every decoder libcurl has; zstd is one of them in some builds.
    Fetch(ZstdBody(body), "zstd");
    if ((curl_version_info(CURLVERSION_NOW)->features & CURL_VERSION_ZSTD) != 0) {
        EXPECT_FALSE(m_fetcher.IsEncoding());
        EXPECT_TRUE(BodyOf(m_fetcher) == body);
    } else {
        EXPECT_TRUE(m_fetcher.IsEncoding());
        EXPECT_TRUE(Decompress().Text() == body);
    }
}

TEST_F(CurlDecodingTest, CorruptGzipThatLibcurlDecodesFailsTheRequest) {
    m_fetcher.AddHeader("Accept-Encoding", "gzip");
    const std::string url = m_server.Url();
    m_server.Enqueue(Reply(HttpResponse(200, "garbage, not gzip", {{"Content-Encoding", "gzip"}})));
    EXPECT_EQ(m_fetcher.Request(url.c_str(), nullptr, nullptr, 5000), 0u);
    EXPECT_EQ(LogLines(),
              std::vector<std::string>{SendError(CURLE_BAD_CONTENT_ENCODING, 200, url)});
}

}  // namespace
}  // namespace rvtest
