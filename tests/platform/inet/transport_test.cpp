// The transport against scripted loopback servers: keep-alive pooling, time-outs, framing
// of bodies that end early or badly, TLS peers and proxies.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "ScopedEnvironment.h"
#include "ScriptedServer.h"
#include "TestCertificates.h"
#include "TlsFront.h"
#include "platform/inet/InetRequest.h"
#include "platform/inet/InetSession.h"

namespace {

using namespace RVUtil::inet;
using namespace std::chrono_literals;
using rvtest::HttpResponse;
using rvtest::Reply;

constexpr DWORD kKeepAlive = kFlagKeepConnection;

struct Outcome {
    InetError sent = kInetOk;
    int status = 0;
    std::string raw;
    std::string body;
    InetError readError = kInetOk;
};

class TransportTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_env.UnsetProxies();
        Reopen();
        ASSERT_NE(m_session, nullptr);
    }
    // A new session, with its own pool, that takes the proxy settings of the environment.
    void Reopen() {
        InetError error = kInetOk;
        m_session = Session::Open(&error);
    }

    Outcome Fetch(std::uint16_t port, const std::string& path, DWORD flags = kKeepAlive,
                  DWORD timeout = 5000, const char* user = nullptr, const char* password = nullptr,
                  std::string_view body = {}) {
        Outcome out;
        auto connection = Connection::Open(*m_session, "127.0.0.1", port, user, password);
        connection->SetConnectTimeout(timeout);
        connection->SetReceiveTimeout(timeout);
        auto request = Request::Open(*connection, body.empty() ? "GET" : "POST", path, flags);
        out.sent = request->Send(body.data(), body.size());
        if (out.sent != kInetOk) {
            return out;
        }
        out.status = request->StatusCode();
        out.raw = request->RawHeaders();
        char chunk[4096];
        for (;;) {
            std::size_t n = 0;
            out.readError = request->Read(chunk, sizeof chunk, &n);
            if (out.readError != kInetOk || n == 0) {
                break;
            }
            out.body.append(chunk, n);
        }
        return out;
    }

    rvtest::ScopedEnvironment m_env;
    std::unique_ptr<Session> m_session;
    rvtest::ScriptedServer m_server;
};

TEST_F(TransportTest, ReusesKeptAliveConnectionsWithinOneSession) {
    m_server.SetDefaultReply(Reply(HttpResponse(200, "hello")));
    for (int i = 0; i < 3; ++i) {
        const Outcome o = Fetch(m_server.Port(), "/a?x=" + std::to_string(i));
        EXPECT_EQ(o.status, 200);
        EXPECT_EQ(o.body, "hello");
    }
    EXPECT_EQ(m_server.ConnectionCount(), 1u);
    EXPECT_EQ(m_session->State()->IdleCount(), 1u);
    EXPECT_EQ(m_server.Requests()[2].RequestLine(), "GET /a?x=2 HTTP/1.1");

    // Without the keep-alive flag the request says so and the connection is not kept.
    Fetch(m_server.Port(), "/b", 0);
    EXPECT_NE(m_server.Requests().back().bytes.find("Connection: close\r\n"), std::string::npos);
    EXPECT_EQ(m_server.ConnectionCount(), 2u);

    // Another session has a pool of its own.
    Reopen();
    Fetch(m_server.Port(), "/c");
    EXPECT_EQ(m_server.ConnectionCount(), 3u);
}

TEST_F(TransportTest, ReplacesAPooledConnectionTheServerDroppedOnlyOnce) {
    m_server.Enqueue(Reply(HttpResponse(200, "one")));
    m_server.Enqueue(Reply().Close());  // reads the request, answers nothing
    m_server.Enqueue(Reply(HttpResponse(200, "two")));
    EXPECT_EQ(Fetch(m_server.Port(), "/1").body, "one");
    const Outcome second = Fetch(m_server.Port(), "/2");
    EXPECT_EQ(second.sent, kInetOk);
    EXPECT_EQ(second.body, "two");
    EXPECT_EQ(m_server.ConnectionCount(), 2u);

    // When the new connection fails as well, that is the answer: no third try.
    m_server.Enqueue(Reply().Close());
    m_server.Enqueue(Reply().Close());
    m_server.Enqueue(Reply(HttpResponse(200, "never")));
    EXPECT_EQ(Fetch(m_server.Port(), "/3").sent, kInetConnectionAborted);
    EXPECT_EQ(m_server.ConnectionCount(), 3u);

    // A fresh connection closed before any answer is not retried at all.
    m_server.Clear();
    m_server.Enqueue(Reply().Close());
    m_server.Enqueue(Reply(HttpResponse(200, "never")));
    EXPECT_EQ(Fetch(m_server.Port(), "/4", 0).sent, kInetConnectionAborted);
    EXPECT_EQ(m_server.RequestCount(), 1u);
}

TEST_F(TransportTest, TimesOutInsteadOfWaitingForEver) {
    m_server.Enqueue(Reply().Hang());
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Fetch(m_server.Port(), "/", kKeepAlive, 300).sent, kInetTimeout);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);

    m_server.Enqueue(Reply("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n0123456789").Hang());
    start = std::chrono::steady_clock::now();
    const Outcome o = Fetch(m_server.Port(), "/", kKeepAlive, 300);
    EXPECT_EQ(o.body, "0123456789");
    EXPECT_EQ(o.readError, kInetTimeout);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
}

TEST_F(TransportTest, ReportsConnectFailures) {
    std::uint16_t closedPort = 0;
    {
        rvtest::ScriptedServer gone;
        closedPort = gone.Port();
    }
    EXPECT_EQ(Fetch(closedPort, "/").sent, kInetCannotConnect);
    auto connection = Connection::Open(*m_session, "name.invalid", 80, nullptr, nullptr);
    auto request = Request::Open(*connection, "GET", "/", 0);
    EXPECT_EQ(request->Send(nullptr, 0), kInetNameNotResolved);
    EXPECT_EQ(Connection::Open(*m_session, "", 80, nullptr, nullptr), nullptr);
}

TEST_F(TransportTest, FramesBodiesThatEndEarlyOrBadly) {
    // Cut short: what arrived, then the end.
    m_server.Enqueue(
        Reply("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n" + std::string(60, 'a')).Close());
    Outcome o = Fetch(m_server.Port(), "/");
    EXPECT_EQ(o.body, std::string(60, 'a'));
    EXPECT_EQ(o.readError, kInetOk);

    // Chunked, trickled a byte at a time, then a chunk size that is not a number.
    m_server.Enqueue(Reply().Trickle(
        "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n" + rvtest::Chunked("abcdef", 4), 1,
        0ms));
    EXPECT_EQ(Fetch(m_server.Port(), "/").body, "abcdef");
    m_server.Enqueue(
        Reply("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\nxyz\r\n"));
    o = Fetch(m_server.Port(), "/");
    EXPECT_EQ(o.body, "abc");
    EXPECT_EQ(o.readError, kInetInvalidResponse);

    // Until close, and a 100 Continue ahead of the real answer.
    m_server.Enqueue(Reply("HTTP/1.0 200 OK\r\n\r\nall of it").Close());
    EXPECT_EQ(Fetch(m_server.Port(), "/").body, "all of it");
    m_server.Enqueue(Reply("HTTP/1.1 100 Continue\r\n\r\n" + HttpResponse(201, "made")));
    o = Fetch(m_server.Port(), "/", kKeepAlive, 5000, nullptr, nullptr, "payload");
    EXPECT_EQ(o.status, 201);
    EXPECT_EQ(o.raw.rfind("HTTP/1.1 201", 0), 0u);
    EXPECT_EQ(o.body, "made");
}

TEST_F(TransportTest, RefusesWhatIsNotAResponse) {
    m_server.Enqueue(Reply("SSH-2.0-OpenSSH\r\n\r\n").Close());
    EXPECT_EQ(Fetch(m_server.Port(), "/").sent, kInetInvalidResponse);
    m_server.Enqueue(Reply("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n").Close());
    EXPECT_EQ(Fetch(m_server.Port(), "/").sent, kInetInvalidResponse);
    m_server.Enqueue(Reply("HTTP/1.1 200 OK\r\nX: " + std::string(kMaxResponseHeadSize, 'x')));
    EXPECT_EQ(Fetch(m_server.Port(), "/").sent, kInetInvalidResponse);
}

TEST_F(TransportTest, SendsCredentialsOnlyWhenBothAreGiven) {
    m_server.SetDefaultReply(Reply(HttpResponse(200, "")));
    Fetch(m_server.Port(), "/", kKeepAlive, 5000, "user", "secret");
    Fetch(m_server.Port(), "/", kKeepAlive, 5000, "user", nullptr);
    const auto requests = m_server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_NE(requests[0].bytes.find("Authorization: Basic dXNlcjpzZWNyZXQ=\r\n"),
              std::string::npos);
    EXPECT_EQ(requests[1].bytes.find("Authorization"), std::string::npos);
}

TEST_F(TransportTest, AsksAnHttpProxyInAbsoluteFormAndHonoursNoProxy) {
    rvtest::ScriptedServer proxy;
    proxy.SetDefaultReply(Reply(HttpResponse(200, "via proxy")));
    m_env.Set("http_proxy", "http://px%40user:pw@127.0.0.1:" + std::to_string(proxy.Port()));
    Reopen();
    EXPECT_EQ(Fetch(8080, "/p?q=1").body, "via proxy");
    const std::string head(proxy.Requests().at(0).Head());
    EXPECT_EQ(proxy.Requests()[0].RequestLine(), "GET http://127.0.0.1:8080/p?q=1 HTTP/1.1");
    EXPECT_NE(head.find("Proxy-Authorization: Basic cHhAdXNlcjpwdw==\r\n"), std::string::npos);

    m_env.Set("no_proxy", "127.0.0.1");
    Reopen();
    m_server.Enqueue(Reply(HttpResponse(200, "direct")));
    EXPECT_EQ(Fetch(m_server.Port(), "/").body, "direct");
    EXPECT_EQ(proxy.RequestCount(), 1u);
}

TEST_F(TransportTest, FailsWhenTheProxyRefusesTheTunnel) {
    rvtest::ScriptedServer proxy;
    proxy.Enqueue(Reply(HttpResponse(403, "no")));
    m_env.Set("https_proxy", "http://127.0.0.1:" + std::to_string(proxy.Port()));
    Reopen();
    EXPECT_EQ(Fetch(443, "/secret", kKeepAlive | kFlagSecure).sent, kInetCannotConnect);
    EXPECT_EQ(proxy.Requests().at(0).RequestLine(), "CONNECT 127.0.0.1:443 HTTP/1.1");
}

class TlsTransportTest : public TransportTest {
  protected:
    void SetUp() override {
        m_env.Set("SSL_CERT_FILE", rvtest::TestCertificates::Get().CaFile());
        m_env.Unset("SSL_CERT_DIR");
        TransportTest::SetUp();
    }
    std::uint16_t Front(const rvtest::TestCertificates::KeyPair& pair) {
        m_front = std::make_unique<rvtest::TlsFront>(m_server.Port(), pair.certFile, pair.keyFile);
        return m_front->Port();
    }
    std::unique_ptr<rvtest::TlsFront> m_front;
};

TEST_F(TlsTransportTest, VerifiesThePeerAndKeepsTheConnection) {
    m_server.SetDefaultReply(Reply(HttpResponse(200, "secret")));
    const std::uint16_t port = Front(rvtest::TestCertificates::Get().Loopback());
    for (int i = 0; i < 2; ++i) {
        const Outcome o = Fetch(port, "/s", kKeepAlive | kFlagSecure);
        EXPECT_EQ(o.sent, kInetOk);
        EXPECT_EQ(o.body, "secret");
    }
    EXPECT_EQ(m_server.ConnectionCount(), 1u);
    EXPECT_NE(m_server.Requests().at(0).bytes.find("Host: 127.0.0.1:" + std::to_string(port)),
              std::string::npos);
}

TEST_F(TlsTransportTest, RefusesUntrustedAndWrongNamePeers) {
    m_server.SetDefaultReply(Reply(HttpResponse(200, "secret")));
    EXPECT_EQ(Fetch(Front(rvtest::TestCertificates::Get().Untrusted()), "/", kFlagSecure).sent,
              kInetSecureFailure);
    EXPECT_EQ(Fetch(Front(rvtest::TestCertificates::Get().WrongName()), "/", kFlagSecure).sent,
              kInetSecureFailure);
    EXPECT_EQ(m_server.RequestCount(), 0u);
}

TEST_F(TlsTransportTest, ReadsATlsBodyCutShortAndTimesOutASilentPeer) {
    const std::uint16_t port = Front(rvtest::TestCertificates::Get().Loopback());
    m_server.Enqueue(Reply("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nabc").Close());
    const Outcome o = Fetch(port, "/", kFlagSecure);
    EXPECT_EQ(o.body, "abc");
    EXPECT_EQ(o.readError, kInetOk);
    m_server.Enqueue(Reply().Hang());
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Fetch(port, "/", kFlagSecure, 300).sent, kInetTimeout);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
}

}  // namespace
