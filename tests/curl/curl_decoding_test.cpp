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

TEST_F(CurlDecodingTest, OtherEncodingsAreHandedOnAndDecompressLeavesOutAlone) {
    for (const char* encoding : {"", "br", "deflate", "identity"}) {
        Fetch("opaque", encoding);
        EXPECT_FALSE(m_fetcher.IsEncoding()) << encoding;
        EXPECT_EQ(BodyOf(m_fetcher), "opaque");
        BYTE sentinel = 0;
        BYTE* out = &sentinel;
        EXPECT_EQ(m_fetcher.Decompress(&out), 0) << encoding;
        EXPECT_EQ(out, &sentinel) << encoding;
        m_fetcher.EndRequest();
    }
}

TEST_F(CurlDecodingTest, GzipIsRecognisedInAnyCaseAndSpelling) {
    const std::string body = SampleText(20000);
    for (const char* encoding : {"gzip", "GZIP", "x-gzip", "zstd, gzip"}) {
        Fetch(GzipBody(body), encoding);
        EXPECT_TRUE(m_fetcher.IsEncoding()) << encoding;
        const Decoded decoded = Decompress();
        EXPECT_EQ(decoded.result, static_cast<long>(body.size())) << encoding;
        EXPECT_TRUE(decoded.Text() == body) << encoding;
        m_fetcher.EndRequest();
    }
}

TEST_F(CurlDecodingTest, ZstdWithRecordedSizeDecodesExactly) {
    const std::string body = SampleText(50000);
    Fetch(ZstdBody(body), "zstd");
    EXPECT_TRUE(m_fetcher.IsEncoding());
    const Decoded decoded = Decompress();
    EXPECT_EQ(decoded.result, static_cast<long>(body.size()));
    EXPECT_TRUE(decoded.Text() == body);
}

TEST_F(CurlDecodingTest, BadZstdBodiesFailWithAnArrayOrNothingToRelease) {
    // No recorded size: a zero-length array and no positive result.
    Fetch(ZstdBody(SampleText(1000), false), "zstd");
    Decoded decoded = Decompress();
    EXPECT_LE(decoded.result, 0);
    EXPECT_NE(decoded.buffer, nullptr);

    std::string packed = ZstdBody(SampleText(5000));
    for (std::size_t i = 12; i < packed.size(); i += 7) {
        packed[i] = static_cast<char>(packed[i] ^ 0x5A);
    }
    Fetch(packed, "zstd");
    decoded = Decompress();
    EXPECT_LT(decoded.result, 0);
    EXPECT_NE(decoded.buffer, nullptr);

    // A frame claiming far more than any body may hold is not allocated.
    Fetch(Text(ZstdHeaderClaiming(std::uint64_t{1} << 40)), "zstd");
    EXPECT_LE(Decompress().result, 0);
    Fetch(Text(ZstdHeaderClaiming(std::uint64_t{3} << 29)), "zstd");  // 1.5 GiB
    EXPECT_LE(Decompress().result, 0);
}

TEST_F(CurlDecodingTest, BadOrEmptyGzipBodiesGiveZero) {
    std::string packed = GzipBody(SampleText(5000));
    Fetch(packed.substr(0, packed.size() / 2), "gzip");
    EXPECT_EQ(Decompress().result, 0);
    Fetch("this is not gzip at all", "gzip");
    EXPECT_EQ(Decompress().result, 0);
    Fetch("", "gzip");
    EXPECT_TRUE(m_fetcher.IsEncoding());
    EXPECT_EQ(Decompress().result, 0);
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
