// CRVHttpFetcher::Request2 against scripted loopback servers: what it keeps, what it raises,
// and that it leaves nothing open or allocated behind, whichever way it ends.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>
#include <string>
#include <string_view>
#include <tuple>

#include "FetcherTestSupport.h"
#include "LogCapture.h"
#include "OpenHandles.h"
#include "ScopedEnvironment.h"
#include "ScriptedServer.h"

namespace {

using namespace std::chrono_literals;
using rvtest::HttpResponse;
using rvtest::OpenHandles;
using rvtest::Reply;

constexpr const char* kSessionFailed = "CRVHttpFetcher\\request2(121): create session failed.";
constexpr const char* kConnectFailed = "CRVHttpFetcher\\request2(143): connect to server failed.";
constexpr const char* kOpenFailed = "CRVHttpFetcher\\request2(161): open request failed.";
constexpr const char* kSendFailed = "CRVHttpFetcher\\request2(172): send request failed.";
constexpr const char* kStatusFailed = "CRVHttpFetcher\\request2(179): cannot get http status code.";
constexpr const char* kReadFailed =
    "CRVHttpFetcher\\request2(240): read data from internet failed.";
constexpr const char* kCopyFailed =
    "CRVHttpFetcher\\request2(247): allocate failed, no available memory.";

constexpr const char* kMessages[] = {kSessionFailed, kConnectFailed, kOpenFailed, kSendFailed,
                                     kStatusFailed,  kReadFailed,    kCopyFailed};

// How a call ended: its result, or what it raised (empty for nothing).
struct Outcome {
    DWORD status = 0;
    std::string_view raised;
};

class Request2Test : public ::testing::Test {
  protected:
    void SetUp() override {
        m_env.UnsetProxies();
        m_before = OpenHandles::Now(m_server.Port());
    }
    std::string Url(const std::string& path) const { return m_server.Url(path); }

    Outcome Call(const std::string& url, DWORD timeout = 5000, const char* post = nullptr,
                 int postLength = 0) {
        Outcome out;
        try {
            out.status =
                m_fetcher.Request2(url.c_str(), nullptr, nullptr, timeout,
                                   reinterpret_cast<BYTE*>(const_cast<char*>(post)), postLength);
        } catch (const std::runtime_error& e) {
            out.raised = "a message of no step";
            for (const char* message : kMessages) {
                if (std::strcmp(e.what(), message) == 0) {
                    out.raised = message;
                }
            }
        } catch (const std::bad_alloc&) {
            out.raised = "bad_alloc";
        }
        return out;
    }
    Outcome Get(const std::string& path, DWORD timeout = 5000) { return Call(Url(path), timeout); }

    // Every connection, session and I/O loop of the call is closed again.
    void ExpectNothingLeftOpen() { EXPECT_EQ(OpenHandles::Now(m_server.Port()), m_before); }
    // What the object keeps: its status, whether it has a body, and the body's size.
    std::tuple<int, bool, int> Kept() {
        return {m_fetcher.GetResponseHttpStatus(), m_fetcher.GetResponse() != nullptr,
                m_fetcher.GetResponseSize()};
    }

    rvtest::ScopedEnvironment m_env;
    rvtest::ScriptedServer m_server;
    rvtest::TestFetcher m_fetcher;
    OpenHandles m_before;
};

TEST_F(Request2Test, WorksWithoutInitAndMergesTheHeadersByName) {
    m_server.Enqueue(
        Reply("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nSet-Cookie: a=1\r\nTight:x\r\n"
              "set-COOKIE:  b=2\r\nCoNtEnT-LeNgTh: 5\r\n\r\nhello"));
    m_fetcher.AddHeader("X-First", "1");
    m_fetcher.AddHeader("X-Last", "2");
    EXPECT_EQ(Get("/page?id=7").status, 200u);
    EXPECT_EQ(Kept(), std::make_tuple(200, true, 5));
    EXPECT_EQ(m_fetcher.Body(), "hello");
    EXPECT_EQ(m_fetcher.Capacity(), 5);
    // Values keep the blank after the colon; repeats are joined with "; ".
    EXPECT_EQ(m_fetcher.FindHeader("set-cookie"), " a=1;   b=2");
    EXPECT_EQ(m_fetcher.FindHeader("Content-Type"), " text/html");
    EXPECT_EQ(m_fetcher.FindHeader("tight"), "x");
    EXPECT_EQ(m_fetcher.ResponseHeaders().GetSize(), 8);
    EXPECT_EQ(m_fetcher.GetRawResponseHeaders().Left(17), "HTTP/1.1 200 OK\r\n");
    EXPECT_EQ(m_fetcher.IsSessionReady(0), 0) << "the object's own session is not opened";

    const std::string request = m_server.Requests().at(0).bytes;
    EXPECT_EQ(request.rfind("GET /page?id=7 HTTP/1.1\r\n", 0), 0u);
    EXPECT_NE(request.find("\r\nX-First: 1\r\nX-Last: 2\r\n"), std::string::npos);
    // The server would keep the connection; the call's own session closes it all the same.
    ExpectNothingLeftOpen();

    // Each call starts from an empty response.
    m_server.Enqueue(Reply(HttpResponse(404, "missing", {{"X-A", "1"}})));
    EXPECT_EQ(Get("/gone").status, 404u);
    EXPECT_EQ(Kept(), std::make_tuple(404, false, 0));
    EXPECT_EQ(m_fetcher.ResponseHeaders().GetSize(), 0);
    ExpectNothingLeftOpen();
}

TEST_F(Request2Test, PostsABodyAndAZeroLengthIsAGet) {
    m_server.SetDefaultReply(Reply(HttpResponse(200, "ok")));
    EXPECT_EQ(Call(Url("/submit"), 5000, "a=1&b=2", 7).status, 200u);
    EXPECT_EQ(Call(Url("/empty"), 5000, "unsent", 0).status, 200u);
    const auto requests = m_server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].RequestLine(), "POST /submit HTTP/1.1");
    EXPECT_EQ(requests[0].Body(), "a=1&b=2");
    EXPECT_EQ(requests[1].RequestLine(), "GET /empty HTTP/1.1");
    EXPECT_EQ(requests[1].Body(), "");

    // A body that cannot exist fails the send before anything goes out.
    EXPECT_EQ(Call(Url("/neg"), 5000, "x", -1).raised, kSendFailed);
    EXPECT_EQ(Call(Url("/null"), 5000, nullptr, 3).raised, kSendFailed);
    EXPECT_EQ(m_server.RequestCount(), 2u);
    ExpectNothingLeftOpen();
}

TEST_F(Request2Test, RaisesTheFailedStepAndKeepsNothing) {
    std::string refused;
    {
        rvtest::ScriptedServer gone;
        refused = gone.Url("/nowhere");
    }
    struct Case {
        const char* name;
        Reply reply;
        std::string_view raised;
        int status;                // the status the object keeps afterwards
        const char* lengthHeader;  // a header still recorded, or null for none
        std::string url = {};
    };
    const char* send = kSendFailed;
    const char* read = kReadFailed;
    const Case cases[] = {
        {"refused", Reply(), send, 0, nullptr, refused},
        {"silent", Reply().Hang(), send, 0, nullptr},
        // A body cut short is a failed read, never a body padded with zeros.
        {"closed before its length",
         Reply("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n" + std::string(60, 's')).Close(),
         read, 200, " 100"},
        {"closed before a length only Request2 reads",
         Reply("HTTP/1.1 200 OK\r\nContent-Length: 10, 12\r\n\r\nabc").Close(), read, 200,
         " 10, 12"},
        // A length above the body limit raises before anything is allocated.
        {"length above the limit",
         Reply("HTTP/1.1 200 OK\r\nContent-Length: 2147483647\r\n\r\nabcde").Close(), "bad_alloc",
         200, " 2147483647"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_server.Clear();
        m_server.Enqueue(c.reply);
        const auto start = std::chrono::steady_clock::now();
        const Outcome out = Call(c.url.empty() ? Url("/c") : c.url, 500);
        EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
        EXPECT_EQ(out.raised, c.raised);
        EXPECT_EQ(Kept(), std::make_tuple(c.status, false, 0));
        EXPECT_EQ(m_fetcher.FindHeader("Content-Length"), c.lengthHeader ? c.lengthHeader : "");
        ExpectNothingLeftOpen();
    }
    // URLs that are not http or https, or are refused, return 0 without raising or
    // connecting.
    const std::size_t connections = m_server.ConnectionCount();
    for (const std::string& url : {std::string("ftp://127.0.0.1/f"),
                                   Url("/") + std::string(70000, 'p'), Url("/a\r\nHost: evil")}) {
        const Outcome out = Call(url);
        EXPECT_EQ(out.status, 0u);
        EXPECT_EQ(out.raised, "");
    }
    EXPECT_EQ(m_server.ConnectionCount(), connections);
    ExpectNothingLeftOpen();
}

TEST_F(Request2Test, LeavesTheObjectsSessionAndLetsRequestGrowFromItsBody) {
    ASSERT_EQ(m_fetcher.Init(), 1);
    m_server.Enqueue(Reply(HttpResponse(200, "hello")));
    EXPECT_EQ(Get("/one").status, 200u);
    EXPECT_EQ(m_fetcher.IsInit(), 1);
    m_fetcher.EndRequest();
    m_server.Enqueue(Reply(HttpResponse(200, "world!!")));
    EXPECT_EQ(m_fetcher.Request(Url("/two").c_str(), nullptr, nullptr, 5000), 200u);
    EXPECT_EQ(m_fetcher.Body(), "world!!");
    EXPECT_EQ(m_fetcher.Capacity(), 7);

    // Without a body left behind, Request has no buffer until the next Init.
    m_server.Enqueue(Reply(HttpResponse(200, "")));
    EXPECT_EQ(Get("/three").status, 200u);
    m_server.Enqueue(Reply(HttpResponse(200, "four")));
    EXPECT_EQ(m_fetcher.Request(Url("/four").c_str(), nullptr, nullptr, 5000), 0u);
}

}  // namespace
