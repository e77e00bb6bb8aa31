// CRVHttpFetcher against a real nginx (gzip, chunked answers, keep-alive, TLS with the test
// certificate authority) and through a real forward proxy (plain requests and CONNECT
// tunnels): the cases the curl fetcher passes, plus TLS. Without the programs the group is
// skipped, or fails when CI is set.
#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>
#include <set>

#include "LocalServices.h"
#include "RVUtil/CRVHttpFetcher.h"
#include "ScopedEnvironment.h"
#include "TestCertificates.h"
#include "TlsWebServer.h"

namespace rvtest {
namespace {

using RVUtil::CRVHttpFetcher;

class RvServicesEnvironment : public ::testing::Environment {
  public:
    void SetUp() override { m_started = m_services.Start(); }
    void TearDown() override { m_services.Stop(); }

    static RvServicesEnvironment& Instance() {
        static RvServicesEnvironment* const environment = [] {
            auto* created = new RvServicesEnvironment;
            ::testing::AddGlobalTestEnvironment(created);  // gtest owns it from here
            return created;
        }();
        return *environment;
    }
    LocalServices m_services;
    bool m_started = false;
};

[[maybe_unused]] const RvServicesEnvironment& g_registered = RvServicesEnvironment::Instance();

void skipOrFail(const std::string& problem) {
    if (std::getenv("CI") != nullptr) {
        FAIL() << problem;
    }
    GTEST_SKIP() << problem;
}

class RvIntegrationTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!RvServicesEnvironment::Instance().m_started) {
            skipOrFail(Services().Problem());
            return;
        }
        m_env.UnsetProxies();
        m_env.Set("SSL_CERT_FILE", TestCertificates::Get().CaFile());
        m_env.Unset("SSL_CERT_DIR");
        ASSERT_EQ(m_fetcher.Init(), 1);
    }

    LocalServices& Services() { return RvServicesEnvironment::Instance().m_services; }

    std::string Get(const std::string& url) {
        EXPECT_EQ(m_fetcher.Request(url.c_str(), nullptr, nullptr, 10000), 200u) << url;
        EXPECT_EQ(m_fetcher.GetResponseHttpStatus(), 200) << url;
        const std::string body(reinterpret_cast<const char*>(m_fetcher.GetResponse()),
                               static_cast<std::size_t>(m_fetcher.GetResponseSize()));
        m_fetcher.EndRequest();
        return body;
    }
    std::string Decoded() {
        BYTE* out = nullptr;
        const long size = m_fetcher.Decompress(&out);
        std::string text =
            size > 0 ? std::string(reinterpret_cast<char*>(out), static_cast<std::size_t>(size))
                     : std::string();
        delete[] out;
        return text;
    }

    ScopedEnvironment m_env;
    CRVHttpFetcher m_fetcher;
};

TEST_F(RvIntegrationTest, GzipAnswerIsLeftToDecompress) {
    m_fetcher.AddHeader("Accept-Encoding", "gzip");
    const std::string url = Services().WebUrl("/big.txt");
    ASSERT_EQ(m_fetcher.Request(url.c_str(), nullptr, nullptr, 10000), 200u);
    EXPECT_EQ(m_fetcher.FindHeader("content-encoding"), "gzip");
    ASSERT_EQ(m_fetcher.IsEncoding(), 1);
    const std::string expected = Services().SiteFile("big.txt");
    EXPECT_LT(m_fetcher.GetResponseSize(), static_cast<long>(expected.size() / 4));
    EXPECT_TRUE(Decoded() == expected);
}

TEST_F(RvIntegrationTest, ChunkedAnswerIsReassembled) {
    const std::string url = Services().WebUrl("/sub/page.txt");
    ASSERT_EQ(m_fetcher.Request(url.c_str(), nullptr, nullptr, 10000), 200u);
    EXPECT_EQ(m_fetcher.FindHeader("Transfer-Encoding"), "chunked");
    const std::string expected =
        std::regex_replace(Services().SiteFile("sub/page.txt"), std::regex("alpha"), "omega");
    EXPECT_TRUE(std::string(reinterpret_cast<const char*>(m_fetcher.GetResponse()),
                            static_cast<std::size_t>(m_fetcher.GetResponseSize())) == expected);
}

TEST_F(RvIntegrationTest, RequestsReuseOneKeepAliveConnection) {
    static int run = 0;
    const std::string mark = "rv" + std::to_string(++run) + "-";
    for (int i = 1; i <= 3; ++i) {
        Get(Services().WebUrl("/index.html?keepalive=" + mark + std::to_string(i)));
    }
    const std::regex line("GET /index.html\\?keepalive=" + mark +
                          R"(\d HTTP/1.1 200 conn=(\d+) n=(\d+))");
    std::set<std::string> connections;
    std::string numbers;
    const std::string log = Services().WebAccessLog("keepalive=" + mark + "3");
    for (auto it = std::sregex_iterator(log.begin(), log.end(), line); it != std::sregex_iterator();
         ++it) {
        connections.insert((*it)[1]);
        numbers += (*it)[2];
    }
    EXPECT_EQ(connections.size(), 1u) << log;
    EXPECT_EQ(numbers, "123") << log;
}

TEST_F(RvIntegrationTest, PostReachesTheServer) {
    BYTE data[] = "name=value";
    const std::string url = Services().WebUrl("/post");
    EXPECT_EQ(m_fetcher.Request(url.c_str(), nullptr, nullptr, 10000, data, sizeof data - 1), 200u);
    const std::string posted = "POST /post HTTP/1.1 200";
    EXPECT_NE(Services().WebAccessLog(posted).find(posted), std::string::npos);
}

TEST_F(RvIntegrationTest, SystemProxyCarriesTheRequestAndNoProxyBypassesIt) {
    m_env.Set("http_proxy", Services().ProxyUrl());
    m_fetcher.Fini();  // the session takes the proxy configuration when it opens
    ASSERT_EQ(m_fetcher.Init(), 1);
    const std::string url = Services().WebUrl("/index.html?via=rv-system");
    ASSERT_EQ(m_fetcher.Request(url.c_str(), nullptr, nullptr, 10000), 200u);
    EXPECT_NE(m_fetcher.FindHeader("Via").Find(LocalServices::kProxyName), -1);
    m_fetcher.EndRequest();
    EXPECT_NE(Services().ProxyLog("GET " + url).find("GET " + url), std::string::npos);

    m_env.Set("no_proxy", "127.0.0.1");
    m_fetcher.Fini();
    ASSERT_EQ(m_fetcher.Init(), 1);
    EXPECT_EQ(Get(Services().WebUrl("/index.html?via=rv-none")), Services().SiteFile("index.html"));
    EXPECT_EQ(Services().ProxyLog().find("via=rv-none"), std::string::npos);
}

class RvTlsIntegrationTest : public RvIntegrationTest {
  protected:
    void SetUp() override {
        RvIntegrationTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) {
            return;
        }
        if (!m_web.Start()) {
            skipOrFail(m_web.Problem());
        } else if (!m_web.OnPort443()) {
            GTEST_SKIP() << "127.0.0.1:443 cannot be bound here";
        }
    }
    TlsWebServer m_web;
};

TEST_F(RvTlsIntegrationTest, HttpsOnPort443VerifiedAgainstTheTestAuthority) {
    EXPECT_EQ(Get("https://127.0.0.1/index.html"), m_web.SiteFile("index.html"));
    m_fetcher.AddHeader("Accept-Encoding", "gzip");
    const std::string url = "https://127.0.0.1/big.txt";
    ASSERT_EQ(m_fetcher.Request(url.c_str(), nullptr, nullptr, 10000), 200u);
    ASSERT_EQ(m_fetcher.IsEncoding(), 1);
    EXPECT_TRUE(Decoded() == m_web.SiteFile("big.txt"));
    m_fetcher.EndRequest();
    // Both requests went over one TLS connection.
    const std::regex line(R"(GET /\S+ HTTP/1.1 200 conn=(\d+))");
    std::set<std::string> connections;
    const std::string log = m_web.AccessLog();
    for (auto it = std::sregex_iterator(log.begin(), log.end(), line); it != std::sregex_iterator();
         ++it) {
        connections.insert((*it)[1]);
    }
    EXPECT_EQ(connections.size(), 1u) << log;
}

TEST_F(RvTlsIntegrationTest, HttpsThroughTheProxyTunnel) {
    m_env.Set("https_proxy", Services().ProxyUrl());
    m_fetcher.Fini();
    ASSERT_EQ(m_fetcher.Init(), 1);
    EXPECT_EQ(Get("https://127.0.0.1/index.html"), m_web.SiteFile("index.html"));
    const std::string log = Services().ProxyLog("CONNECT");
    EXPECT_NE(log.find("CONNECT"), std::string::npos) << log;
}

TEST_F(RvTlsIntegrationTest, UntrustedServerIsRefused) {
    m_env.Set("SSL_CERT_FILE", TestCertificates::Get().Untrusted().certFile);
    m_fetcher.Fini();
    ASSERT_EQ(m_fetcher.Init(), 1);
    EXPECT_EQ(m_fetcher.Request("https://127.0.0.1/index.html", nullptr, nullptr, 10000), 0u);
}

}  // namespace
}  // namespace rvtest
