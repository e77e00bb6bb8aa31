// Init, Fini, assignment, the system proxy, explicit proxies and the two low-level callbacks.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "AllocationFailure.h"
#include "ChildProcess.h"
#include "CurlTestFixture.h"

namespace rvtest {
namespace {

using RVUtil::CCurlHttpFetcher;
using RVUtil::CCurlHttpFetcherImpl;

using CurlLifecycleTest = CurlTest;

static_assert(sizeof(CCurlHttpFetcher) == sizeof(void*), "the facade is one pointer wide");

TEST_F(CurlLifecycleTest, ClosedFetcherAnswersWithEmptyValuesAndNeverConnects) {
    CCurlHttpFetcher fetcher;
    // Not yet initialised, a request fails as a bad argument, with its record; once closed,
    // nothing is written at all.
    const std::string url = m_server.Url();
    EXPECT_EQ(fetcher.Request(url.c_str(), nullptr, nullptr, 1000), 0u);
    fetcher.Fini();  // before any Init: closed all the same
    fetcher.Fini();
    EXPECT_FALSE(fetcher.IsInit());
    BYTE data[] = {'x'};
    EXPECT_EQ(fetcher.Request(m_server.Url().c_str(), nullptr, nullptr, 1000), 0u);
    EXPECT_EQ(fetcher.Request(m_server.Url().c_str(), nullptr, nullptr, 1000, data, 1), 0u);
    EXPECT_EQ(fetcher.GetResponse(), nullptr);
    EXPECT_EQ(fetcher.GetResponseSize(), 0);
    EXPECT_EQ(fetcher.GetResponseHttpStatus(), 404);
    EXPECT_EQ(fetcher.FindHeader("Content-Type"), "");
    EXPECT_FALSE(fetcher.IsEncoding());
    BYTE sentinel = 0;
    BYTE* out = &sentinel;
    EXPECT_EQ(fetcher.Decompress(&out), 0);
    EXPECT_EQ(out, &sentinel);
    fetcher.AddHeader("X-Id", "1");
    fetcher.RemoveHeader("X-Id");
    fetcher.SetProxy("127.0.0.1", 1);
    fetcher.SetNoProxy("*");
    fetcher.EndRequest();
    EXPECT_EQ(m_server.ConnectionCount(), 0u);
    EXPECT_EQ(LogLines(false), std::vector<std::string>{SendError(43, 0, url)});
}

// Headers added before Init wait for the next change of the list; a second Init keeps the
// handle, while Init after Fini configures a fresh one with the stored headers.
TEST_F(CurlLifecycleTest, InitKeepsAConfiguredHandleAndAfterFiniMakesAFreshOne) {
    TestedImpl fetcher;
    fetcher.AddHeader("X-Early", "1");
    ASSERT_TRUE(fetcher.Init());
    m_server.SetDefaultReply(Reply(HttpResponse(200, "x")));
    ASSERT_EQ(fetcher.Request(m_server.Url().c_str(), nullptr, nullptr, 5000), 1u);
    fetcher.AddHeader("Accept-Encoding", "gzip");
    EXPECT_FALSE(fetcher.Init());
    EXPECT_TRUE(fetcher.IsInit());
    ASSERT_EQ(fetcher.Request(m_server.Url().c_str(), nullptr, nullptr, 5000), 1u);
    EXPECT_EQ(m_server.ConnectionCount(), 1u);
    fetcher.Fini();
    EXPECT_FALSE(Access::HasHeaderList(fetcher));

    ASSERT_TRUE(fetcher.Init());
    EXPECT_EQ(Access::HeaderListLines(fetcher),
              (std::vector<std::string>{"X-Early:1", "Accept-Encoding:gzip"}));
    const std::string body = std::string(2000, 't');
    m_server.Enqueue(Reply(HttpResponse(200, GzipBody(body), {{"Content-Encoding", "gzip"}})));
    ASSERT_EQ(fetcher.Request(m_server.Url().c_str(), nullptr, nullptr, 5000), 1u);
    EXPECT_EQ(m_server.ConnectionCount(), 2u);
    EXPECT_EQ(BodyOf(fetcher), body) << "libcurl decodes gzip again";
    EXPECT_FALSE(fetcher.IsEncoding());
    const auto requests = m_server.Requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0].Head().find("X-Early"), std::string::npos);
    EXPECT_NE(requests[1].Head().find("\r\nX-Early:1\r\n"), std::string::npos);
    EXPECT_NE(requests[1].Head().find("\r\nAccept-Encoding:gzip\r\n"), std::string::npos);
    EXPECT_NE(requests[2].Head().find("\r\nX-Early:1\r\n"), std::string::npos);
}

TEST_F(CurlLifecycleTest, AnyFailureInsideInitBecomesCurlInitFail) {
    // Every allocation of a re-Init in turn fails; each attempt either succeeds or raises
    // the one char* exception, and the fetcher stays usable afterwards.
    int raised = 0;
    for (std::size_t nth = 1; nth < 200; ++nth) {
        TestedImpl fetcher;
        // Long enough that building their lines needs the heap.
        fetcher.AddHeader("X-Header-Number-One", "a value that is not short");
        fetcher.AddHeader("X-Header-Number-Two", "another value that is not short");
        ASSERT_TRUE(fetcher.Init());
        fetcher.Fini();
        bool refusedAny = false;
        try {
            FailAllocationsFrom failing(nth);
            try {
                fetcher.Init();
            } catch (...) {
                refusedAny = failing.Refused() > 0;
                throw;
            }
            refusedAny = failing.Refused() > 0;
        } catch (char* message) {
            EXPECT_STREQ(message, "Curl Init Fail");
            ++raised;
        }
        if (!refusedAny) {
            break;  // every allocation of Init has had its turn
        }
        fetcher.Fini();
        ASSERT_TRUE(fetcher.Init());
        m_server.Enqueue(Reply(HttpResponse(200, "x")));
        ASSERT_EQ(fetcher.Request(m_server.Url().c_str(), nullptr, nullptr, 5000), 1u);
    }
    EXPECT_GT(raised, 0);
}

TEST_F(CurlLifecycleTest, AssignmentGivesAFreshFetcherWithTheOthersHeaders) {
    CCurlHttpFetcher source;
    ASSERT_TRUE(source.Init());
    source.AddHeader("X-Copied", "yes");
    CCurlHttpFetcher target;
    target.AddHeader("X-Dropped", "1");
    target = source;
    target = target;
    EXPECT_TRUE(target.IsInit());

    m_server.SetDefaultReply(Reply(HttpResponse(200, "x")));
    ASSERT_EQ(target.Request(m_server.Url().c_str(), nullptr, nullptr, 5000), 1u);
    const std::string head(m_server.Requests().at(0).Head());
    EXPECT_NE(head.find("\r\nX-Copied:yes\r\n"), std::string::npos);
    EXPECT_EQ(head.find("X-Dropped"), std::string::npos);

    // The two own separate handles: closing one leaves the other working.
    source.Fini();
    ASSERT_EQ(target.Request(m_server.Url().c_str(), nullptr, nullptr, 5000), 1u);
    CCurlHttpFetcher uninitialised;
    target = uninitialised;
    EXPECT_FALSE(target.IsInit());
}

TEST_F(CurlLifecycleTest, SystemProxyIsAdoptedAtInitWithItsCredentials) {
    // Upper case: libcurl itself ignores HTTP_PROXY, so only the fetcher can have set it.
    const std::string proxy = "127.0.0.1:" + std::to_string(m_server.Port());
    m_server.SetDefaultReply(Reply(HttpResponse(200, "via proxy")));
    for (const std::string& setting : {"http://user:pw@" + proxy, proxy}) {
        m_env.Set("HTTP_PROXY", setting);
        CCurlHttpFetcher fetcher;
        ASSERT_TRUE(fetcher.Init());
        ASSERT_EQ(fetcher.Request("http://origin.invalid/p", nullptr, nullptr, 5000), 1u);
    }
    const auto requests = m_server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].RequestLine(), "GET http://origin.invalid/p HTTP/1.1");
    EXPECT_NE(requests[0].Head().find("\r\nProxy-Authorization: Basic dXNlcjpwdw==\r\n"),
              std::string::npos);
    EXPECT_EQ(requests[1].RequestLine(), "GET http://origin.invalid/p HTTP/1.1");
    EXPECT_EQ(requests[1].Head().find("Proxy-Authorization"), std::string::npos);
}

TEST_F(CurlLifecycleTest, SetProxyReplacesTheSystemProxyAndSetNoProxyBypassesIt) {
    ScriptedServer systemProxy;
    ScriptedServer explicitProxy;
    m_env.Set("HTTP_PROXY", systemProxy.Url());
    CCurlHttpFetcher fetcher;
    fetcher.SetProxy("127.0.0.1", explicitProxy.Port());  // before Init: no lasting effect
    ASSERT_TRUE(fetcher.Init());
    fetcher.SetProxy("127.0.0.1", explicitProxy.Port());
    explicitProxy.Enqueue(Reply(HttpResponse(200, "proxied")));
    ASSERT_EQ(fetcher.Request("http://origin.invalid/x", nullptr, nullptr, 5000), 1u);
    EXPECT_EQ(systemProxy.RequestCount(), 0u);
    ASSERT_EQ(explicitProxy.RequestCount(), 1u);
    EXPECT_EQ(explicitProxy.Requests()[0].RequestLine(), "GET http://origin.invalid/x HTTP/1.1");

    fetcher.SetNoProxy("127.0.0.1");
    m_server.Enqueue(Reply(HttpResponse(200, "direct")));
    ASSERT_EQ(fetcher.Request(m_server.Url("/y").c_str(), nullptr, nullptr, 5000), 1u);
    ASSERT_EQ(m_server.RequestCount(), 1u);
    EXPECT_EQ(m_server.Requests()[0].RequestLine(), "GET /y HTTP/1.1");
    EXPECT_EQ(explicitProxy.RequestCount(), 1u);
}

TEST(CurlCallbackTest, ProgressStopsOnlyWhenTheAbortWordIsOne) {
    std::atomic<std::int32_t> abort{0};
    EXPECT_EQ(CCurlHttpFetcherImpl::OnProgress(&abort, 1e12, 5e11, -1, 0), 0);
    abort = 2;
    EXPECT_EQ(CCurlHttpFetcherImpl::OnProgress(&abort, 0, 0, 0, 0), 0);
    abort = 1;
    EXPECT_EQ(CCurlHttpFetcherImpl::OnProgress(&abort, 0, 0, 0, 0), 1);
}

TEST(CurlCallbackTest, CloseSocketResetsTheConnection) {
    EXPECT_EQ(CCurlHttpFetcherImpl::OnCloseSocket(nullptr, CURL_SOCKET_BAD), 1);

    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = LoopbackAddress(0);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 1), 0);
    ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);
    const int client = ::socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_EQ(::connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    const int server = ::accept(listener, nullptr, nullptr);
    ASSERT_GE(server, 0);

    EXPECT_EQ(CCurlHttpFetcherImpl::OnCloseSocket(nullptr, client), 0);
    // An orderly close would read as end of stream (0); an abortive one is a reset.
    char byte;
    errno = 0;
    EXPECT_EQ(::recv(server, &byte, 1, 0), -1);
    EXPECT_EQ(errno, ECONNRESET);
    ::close(server);
    ::close(listener);
}

}  // namespace
}  // namespace rvtest
