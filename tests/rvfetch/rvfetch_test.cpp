// rvfetch as a person uses it: its exit statuses, what it writes where, on success and on
// failure, against a scripted loopback server.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "ChildProcess.h"
#include "ScopedEnvironment.h"
#include "ScriptedServer.h"

namespace rvtest {
namespace {

using namespace std::chrono_literals;

struct Outcome {
    int status = -1;  // exit status, or -1 when the program did not exit by itself in time
    std::string out;
    std::string err;
};

// Runs rvfetch with args, standard output and error into files; kills it after a minute.
Outcome Rvfetch(const std::vector<std::string>& args) {
    TempDir dir("rvfetch-test");
    std::vector<std::string> argv = {RVFETCH_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    ChildProcess child(argv, ChildProcess::Options{dir / "out", dir / "err"});
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    while (child.Running() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(10ms);
    }
    Outcome run;
    if (child.Running()) {
        ADD_FAILURE() << "rvfetch did not end within a minute";
        return run;
    }
    const int wstatus = child.Stop();
    run.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
    run.out = ReadFile(dir / "out");
    run.err = ReadFile(dir / "err");
    return run;
}

TEST(RvfetchTest, BadArgumentsPrintUsageAndExitTwo) {
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {},
             {"--bogus", "http://x/"},
             {"--timeout", "soon", "http://x/"},
             {"--timeout", "-5", "http://x/"},
             {"--backend", "smoke", "http://x/"},
             {"-H", "NoColon", "http://x/"},
             {"http://a/", "http://b/"},
             {"--proxy", "nohost", "http://x/"},
             {"-o"},
             {"--data-binary", "@/nonexistent/file", "http://x/"}}) {
        const Outcome run = Rvfetch(args);
        EXPECT_EQ(run.status, 2) << run.err;
        EXPECT_NE(run.err.find("usage: rvfetch"), std::string::npos) << run.err;
        EXPECT_EQ(run.out, "");
    }
    const Outcome help = Rvfetch({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("exit status"), std::string::npos);
}

TEST(RvfetchTest, FetchWritesTheBodyAndSendsWhatItWasGivenThroughEitherBackend) {
    for (const std::string backend : {"curl", "inet"}) {
        SCOPED_TRACE(backend);
        ScriptedServer server;
        server.Enqueue(Reply(HttpResponse(200, "the body\n", {{"X-Served", "yes"}})));
        Outcome run = Rvfetch({"-H", "X-Token: abc", "--backend", backend, server.Url("/get")});
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.out, "the body\n");
        ASSERT_EQ(server.RequestCount(), 1u);
        // The curl fetcher writes "Name:value", the other "Name: value".
        const std::string head(server.Requests()[0].Head());
        EXPECT_NE(head.find(backend == "curl" ? "X-Token:abc" : "X-Token: abc"), std::string::npos)
            << head;

        TempDir dir;
        server.Enqueue(Reply(HttpResponse(200, "posted", {{"X-Served", "yes"}})));
        run = Rvfetch(
            {"-i", "-d", "k=v", "-o", dir / "body", "--backend", backend, server.Url("/post")});
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(ReadFile(dir / "body"),
                  "HTTP/1.1 200 OK\r\nX-Served: yes\r\nContent-Length: 6\r\n\r\nposted");
        EXPECT_EQ(server.Requests()[1].RequestLine(), "POST /post HTTP/1.1");
        EXPECT_EQ(server.Requests()[1].Body(), "k=v");
    }
}

TEST(RvfetchTest, FailuresNameTheCodeAndMapTheExitStatus) {
    ScriptedServer server;
    server.Enqueue(Reply(HttpResponse(404, "nope")));
    Outcome run = Rvfetch({server.Url("/missing")});
    EXPECT_EQ(run.status, 12);
    EXPECT_NE(run.err.find("ERR_HTTP_STATUS (2): Status = 404!"), std::string::npos) << run.err;
    EXPECT_EQ(run.out, "");

    server.Enqueue(Reply(HttpResponse(200, "body", {{"RV_Error", "banned"}})));
    run = Rvfetch({server.Url("/")});
    EXPECT_EQ(run.status, 15);
    EXPECT_NE(run.err.find("ERR_SERVER_VERDICT (5): RV Error:banned!"), std::string::npos)
        << run.err;

    server.Enqueue(Reply().Hang());  // never answers
    const auto start = std::chrono::steady_clock::now();
    run = Rvfetch({"--timeout", "300", server.Url("/slow")});
    EXPECT_EQ(run.status, 11);
    EXPECT_NE(run.err.find("ERR_REQUEST (1): Request error! Timeout=300"), std::string::npos)
        << run.err;
    EXPECT_LT(std::chrono::steady_clock::now() - start, 30s);

    const std::string refused = server.Url("/");
    server.Stop();
    EXPECT_EQ(Rvfetch({refused}).status, 11);
    EXPECT_EQ(Rvfetch({"not a url"}).status, 11);
}

TEST(RvfetchTest, AutoBackendFollowsTheProbe) {
    ScriptedServer server;
    server.SetDefaultReply(Reply(HttpResponse(200, "x")));
    {
        // A named proxy in force: the probe picks the transport (each run is a new process,
        // so the probe's per-process answer is asked afresh). The server is left out of
        // the proxy, so the fetch itself goes direct.
        ScopedEnvironment env;
        env.Set("http_proxy", "http://127.0.0.1:9").Set("no_proxy", "127.0.0.1");
        const Outcome run = Rvfetch({"-v", "--backend", "auto", server.Url("/")});
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_NE(run.err.find("backend inet"), std::string::npos) << run.err;
    }
    ScopedEnvironment env;
    env.UnsetProxies();
    const Outcome run = Rvfetch({"-v", server.Url("/")});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("backend curl"), std::string::npos) << run.err;
}

TEST(RvfetchTest, ExpiryIsPrintedOnRequest) {
    ScriptedServer server;
    server.Enqueue(Reply(HttpResponse(200, "x", {{"VR_Expired", "Exp:2030-06-01 12:00:00 LT"}})));
    const Outcome run = Rvfetch({"--expiry", server.Url("/")});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("VR_Expired: 2030-06-01 12:00:00"), std::string::npos) << run.err;
}

TEST(RvfetchTest, DemoFetchesEveryResource) {
    const Outcome run = Rvfetch({"--demo"});
    EXPECT_EQ(run.status, 0) << run.err;
    for (const char* line : {"/plain", "/gzip", "/zstd", "/verdict", "/expiry", "/missing"}) {
        EXPECT_NE(run.out.find(line), std::string::npos) << line;
    }
    EXPECT_NE(run.out.find(" curl "), std::string::npos);
    EXPECT_NE(run.out.find(" inet "), std::string::npos);
    EXPECT_NE(run.out.find("ERR_SERVER_VERDICT (5)"), std::string::npos);
    EXPECT_NE(run.out.find("ERR_HTTP_STATUS (2)"), std::string::npos);
}

}  // namespace
}  // namespace rvtest
