// The curl fetcher against a real nginx (gzip, chunked answers, keep-alive) and through a
// real forward proxy. Without the programs the group is skipped, or fails when CI is set.
#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>
#include <set>

#include "LocalServices.h"
#include "RVUtil/CCurlHttpFetcher.h"
#include "ScopedEnvironment.h"

namespace rvtest {
namespace {

using RVUtil::CCurlHttpFetcher;

// Started once per test program; stopped at the end whatever the tests did.
class ServicesEnvironment : public ::testing::Environment {
  public:
    void SetUp() override { m_started = m_services.Start(); }
    void TearDown() override { m_services.Stop(); }

    static LocalServices& Services() { return Instance().m_services; }
    static bool Started() { return Instance().m_started; }
    static ServicesEnvironment& Instance() {
        static ServicesEnvironment* const environment = [] {
            auto* created = new ServicesEnvironment;
            ::testing::AddGlobalTestEnvironment(created);  // gtest owns it from here
            return created;
        }();
        return *environment;
    }

  private:
    LocalServices m_services;
    bool m_started = false;
};

[[maybe_unused]] const ServicesEnvironment& g_registered = ServicesEnvironment::Instance();

class CurlIntegrationTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!ServicesEnvironment::Started()) {
            const std::string problem = ServicesEnvironment::Services().Problem();
            if (std::getenv("CI") != nullptr) {
                FAIL() << problem;
            }
            GTEST_SKIP() << problem;
        }
        m_env.UnsetProxies();
    }

    LocalServices& Services() { return ServicesEnvironment::Services(); }

    std::string Get(CCurlHttpFetcher& fetcher, const std::string& path) {
        const std::string url = Services().WebUrl(path);
        EXPECT_EQ(fetcher.Request(url.c_str(), nullptr, nullptr, 10000), 1u) << url;
        EXPECT_EQ(fetcher.GetResponseHttpStatus(), 200) << url;
        const BYTE* body = fetcher.GetResponse();
        return body == nullptr ? std::string()
                               : std::string(reinterpret_cast<const char*>(body),
                                             static_cast<std::size_t>(fetcher.GetResponseSize()));
    }

    ScopedEnvironment m_env;
};

TEST_F(CurlIntegrationTest, GzipAnswerIsDecodedByLibcurlWhenAccepted) {
    CCurlHttpFetcher fetcher;
    ASSERT_TRUE(fetcher.Init());
    fetcher.AddHeader("Accept-Encoding", "gzip");
    const std::string body = Get(fetcher, "/big.txt");
    EXPECT_EQ(fetcher.FindHeader("Content-Encoding"), "gzip");
    EXPECT_FALSE(fetcher.IsEncoding());
    EXPECT_TRUE(body == Services().SiteFile("big.txt"));
}

TEST_F(CurlIntegrationTest, GzipAnswerLeftToDecompressWhenLibcurlIsNotAsked) {
    CCurlHttpFetcher fetcher;
    ASSERT_TRUE(fetcher.Init());
    fetcher.AddHeader("Accept-Encoding", "gzip");
    fetcher.RemoveHeader("accept-encoding");  // the line stays, libcurl's decoding goes
    const std::string packed = Get(fetcher, "/big.txt");
    ASSERT_TRUE(fetcher.IsEncoding());
    BYTE* out = nullptr;
    const long size = fetcher.Decompress(&out);
    const std::string expected = Services().SiteFile("big.txt");
    ASSERT_EQ(size, static_cast<long>(expected.size()));
    EXPECT_TRUE(std::string(reinterpret_cast<const char*>(out), expected.size()) == expected);
    EXPECT_LT(packed.size(), expected.size() / 4);
    delete[] out;
}

TEST_F(CurlIntegrationTest, ChunkedAnswerIsReassembled) {
    CCurlHttpFetcher fetcher;
    ASSERT_TRUE(fetcher.Init());
    const std::string body = Get(fetcher, "/sub/page.txt");
    EXPECT_EQ(fetcher.FindHeader("Transfer-Encoding"), "chunked");
    const std::string expected =
        std::regex_replace(Services().SiteFile("sub/page.txt"), std::regex("alpha"), "omega");
    EXPECT_TRUE(body == expected);
}

TEST_F(CurlIntegrationTest, RequestsReuseOneKeepAliveConnection) {
    CCurlHttpFetcher fetcher;
    ASSERT_TRUE(fetcher.Init());
    // A mark of this run, so that lines of earlier runs (--gtest_repeat) do not count.
    static int run = 0;
    const std::string mark = "run" + std::to_string(++run) + "-";
    for (int i = 1; i <= 3; ++i) {
        Get(fetcher, "/index.html?keepalive=" + mark + std::to_string(i));
        fetcher.EndRequest();
    }
    const std::regex line("GET /index.html\\?keepalive=" + mark +
                          R"(\d HTTP/1.1 200 conn=(\d+) n=(\d+))");
    std::set<std::string> connections;
    std::string numbers;
    const std::string log = Services().WebAccessLog();
    for (auto it = std::sregex_iterator(log.begin(), log.end(), line); it != std::sregex_iterator();
         ++it) {
        connections.insert((*it)[1]);
        numbers += (*it)[2];
    }
    EXPECT_EQ(connections.size(), 1u) << log;
    EXPECT_EQ(numbers, "123") << log;
}

TEST_F(CurlIntegrationTest, PostReachesTheServer) {
    CCurlHttpFetcher fetcher;
    ASSERT_TRUE(fetcher.Init());
    BYTE data[] = "name=value";
    const std::string url = Services().WebUrl("/post");
    ASSERT_EQ(fetcher.Request(url.c_str(), nullptr, nullptr, 10000, data, sizeof data - 1), 1u);
    EXPECT_EQ(fetcher.GetResponseHttpStatus(), 200);
    EXPECT_NE(Services().WebAccessLog().find("POST /post HTTP/1.1 200"), std::string::npos);
}

TEST_F(CurlIntegrationTest, SystemProxyCarriesTheRequest) {
    m_env.Set("http_proxy", Services().ProxyUrl());
    CCurlHttpFetcher fetcher;
    ASSERT_TRUE(fetcher.Init());
    const std::string body = Get(fetcher, "/index.html?via=system");
    EXPECT_EQ(body, Services().SiteFile("index.html"));
    EXPECT_NE(fetcher.FindHeader("Via").Find(LocalServices::kProxyName), -1);
    EXPECT_NE(Services().ProxyLog().find("GET " + Services().WebUrl("/index.html?via=system")),
              std::string::npos);
}

TEST_F(CurlIntegrationTest, ExplicitProxyCarriesTheRequestAndNoProxyBypassesIt) {
    CCurlHttpFetcher fetcher;
    ASSERT_TRUE(fetcher.Init());
    fetcher.SetProxy("127.0.0.1", Services().ProxyPort());
    Get(fetcher, "/index.html?via=explicit");
    EXPECT_NE(fetcher.FindHeader("Via").Find(LocalServices::kProxyName), -1);
    fetcher.EndRequest();

    fetcher.SetNoProxy("127.0.0.1");
    Get(fetcher, "/index.html?via=none");
    EXPECT_EQ(fetcher.FindHeader("Via"), "");
    EXPECT_EQ(Services().ProxyLog().find("via=none"), std::string::npos);
}

}  // namespace
}  // namespace rvtest
