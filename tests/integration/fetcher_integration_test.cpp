// Both fetchers against a real nginx (gzip and chunked answers) and through a real forward
// proxy; CRVHttpFetcher also over TLS with the test certificate authority through the
// proxy's CONNECT tunnel. Without the programs the group is skipped, or fails when CI is
// set.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <type_traits>

#include "LocalServices.h"
#include "ScopedEnvironment.h"
#include "TestCertificates.h"
#include "TlsFront.h"
#include "fetch/ReadFamilies.h"

namespace rvtest {
namespace {

// Started once per test program; stopped at the end whatever the tests did.
class ServicesEnvironment : public ::testing::Environment {
  public:
    void SetUp() override { started = services.Start(); }
    void TearDown() override { services.Stop(); }

    static ServicesEnvironment& Instance() {
        static ServicesEnvironment* const kEnvironment = [] {
            auto* created = new ServicesEnvironment;
            ::testing::AddGlobalTestEnvironment(created);  // gtest owns it from here
            return created;
        }();
        return *kEnvironment;
    }
    LocalServices services;
    bool started = false;
};

[[maybe_unused]] const ServicesEnvironment& g_registered = ServicesEnvironment::Instance();

// The curl fetcher hands an Accept-Encoding naming gzip to libcurl, which decodes it, unless
// the setting is removed again while the line stays.
template <class Fetcher>
void AskForGzipLeftToDecompress(Fetcher& fetcher) {
    fetcher.AddHeader("Accept-Encoding", "gzip");
    if constexpr (std::is_same_v<Fetcher, CCurlHttpFetcher>) {
        fetcher.RemoveHeader("accept-encoding");
    }
}

template <class Family>
class FetcherIntegrationTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!ServicesEnvironment::Instance().started) {
            if (std::getenv("CI") != nullptr) {
                FAIL() << Services().Problem();
            }
            GTEST_SKIP() << Services().Problem();
        }
        m_env.UnsetProxies();
        m_env.Set("SSL_CERT_FILE", TestCertificates::Get().CaFile());
        m_env.Unset("SSL_CERT_DIR");
        ASSERT_TRUE(m_fetcher.Init());
    }

    LocalServices& Services() { return ServicesEnvironment::Instance().services; }

    // The fetcher takes the proxy settings of the environment when it is initialised.
    void Reinit() {
        m_fetcher.Fini();
        ASSERT_TRUE(m_fetcher.Init());
    }

    // The body of a completed 200 exchange; the answer stays in the fetcher.
    std::string Get(const std::string& url) {
        m_fetcher.EndRequest();
        EXPECT_EQ(m_fetcher.Request(url.c_str(), nullptr, nullptr, 10000), Family::Completed(200))
            << url;
        EXPECT_EQ(m_fetcher.GetResponseHttpStatus(), 200) << url;
        return BodyOf(m_fetcher);
    }

    ScopedEnvironment m_env;
    typename Family::Fetcher m_fetcher;
};

TYPED_TEST_SUITE(FetcherIntegrationTest, Families<::testing::Types>);

// nginx compresses on the fly, so the answer also comes chunked.
TYPED_TEST(FetcherIntegrationTest, GzipAnswerIsLeftToDecompress) {
    AskForGzipLeftToDecompress(this->m_fetcher);
    const std::string packed = this->Get(this->Services().WebUrl("/big.txt"));
    EXPECT_EQ(this->m_fetcher.FindHeader("content-encoding"), "gzip");
    ASSERT_TRUE(this->m_fetcher.IsEncoding());
    const std::string expected = this->Services().SiteFile("big.txt");
    EXPECT_LT(packed.size(), expected.size() / 4);
    BYTE* out = nullptr;
    const long size = this->m_fetcher.Decompress(&out);
    const std::unique_ptr<BYTE[]> owned(out);
    ASSERT_GT(size, 0);
    EXPECT_TRUE(std::string(reinterpret_cast<char*>(out), size) == expected);
}

TYPED_TEST(FetcherIntegrationTest, SystemProxyCarriesTheRequestAndNoProxyBypassesIt) {
    LocalServices& services = this->Services();
    this->m_env.Set("http_proxy", services.ProxyUrl());
    this->Reinit();
    const std::string via = std::string("/index.html?via=") + TypeParam::kName;
    EXPECT_EQ(this->Get(services.WebUrl(via + "-system")), services.SiteFile("index.html"));
    EXPECT_NE(this->m_fetcher.FindHeader("Via").Find(LocalServices::kProxyName), -1);
    const std::string forwarded = "GET " + services.WebUrl(via + "-system");
    EXPECT_NE(services.ProxyLog(forwarded).find(forwarded), std::string::npos);

    this->m_env.Set("no_proxy", "127.0.0.1");
    this->Reinit();
    EXPECT_EQ(this->Get(services.WebUrl(via + "-none")), services.SiteFile("index.html"));
    EXPECT_EQ(this->m_fetcher.FindHeader("Via"), "");
    EXPECT_EQ(services.ProxyLog().find(via + "-none"), std::string::npos);
}

// TLS on 127.0.0.1:443 relayed to the same nginx, reached through the proxy's CONNECT
// tunnel. (TLS chosen by scheme and port is the own fetcher's suite's.)
class RvTlsIntegrationTest : public FetcherIntegrationTest<InetFamily> {
  protected:
    void SetUp() override {
        FetcherIntegrationTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) {
            return;
        }
        const auto& pair = TestCertificates::Get().Loopback();
        m_front =
            std::make_unique<TlsFront>(Services().WebPort(), pair.certFile, pair.keyFile, 443);
        if (!m_front->IsListening()) {
            GTEST_SKIP() << "127.0.0.1:443 cannot be bound here";
        }
    }
    std::unique_ptr<TlsFront> m_front;
};

TEST_F(RvTlsIntegrationTest, HttpsThroughTheProxyTunnel) {
    m_env.Set("https_proxy", Services().ProxyUrl());
    Reinit();
    EXPECT_EQ(Get("https://127.0.0.1/index.html"), Services().SiteFile("index.html"));
    const std::string log = Services().ProxyLog("CONNECT");
    EXPECT_NE(log.find("CONNECT"), std::string::npos) << log;
}

}  // namespace
}  // namespace rvtest
