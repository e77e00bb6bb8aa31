// rvfetch as a person uses it: its options, exit statuses and messages, what it sends and
// writes where, against scripted loopback servers.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "FailureWords.h"
#include "LocalServices.h"
#include "ScopedEnvironment.h"
#include "ScriptedServer.h"

namespace rvtest {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Args = std::vector<std::string>;

const std::string kBackends[] = {"curl", "inet"};

struct Outcome {
    int status = -1;  // exit status, or -1 when the program did not exit by itself in time
    std::string out;
    std::string err;
    bool Says(const std::string& text) const { return err.find(text) != std::string::npos; }
};

// Runs program with args, standard output and error into files; stops it after a minute.
Outcome RunProgram(const Args& command) {
    TempDir dir("rvfetch-test");
    Outcome run;
    run.status = ChildProcess(command, {dir / "out", dir / "err"}).Wait(60s);
    EXPECT_NE(run.status, -1) << "rvfetch did not end within a minute";
    run.out = ReadFile(dir / "out");
    run.err = ReadFile(dir / "err");
    return run;
}

Outcome Rvfetch(Args args) {
    args.insert(args.begin(), RVFETCH_PATH);
    return RunProgram(args);
}

// Every run gets a home of its own and no proxy or log settings from the machine.
struct QuietHome {
    QuietHome() {
        env.UnsetProxies().Unset("XDG_STATE_HOME").Unset("RVUTIL_LOG_DIR").Set("HOME", home.Path());
    }
    TempDir home{"rvfetch-home"};
    ScopedEnvironment env;
} const kQuietHome;

// The options a person gets wrong: refused with a reason naming the option and exit 2,
// before anything is sent or written.
TEST(RvfetchTest, BadArgumentsAreRefusedBeforeAnythingIsSent) {
    ScriptedServer server;
    const std::string url = server.Url("/");
    TempDir dir;
    const struct {
        Args args;
        const char* says;
        int status = 2;
    } cases[] = {
        {{}, "no URL given"},
        {{"--bogus", url}, "--bogus"},
        {{"--timeout", "soon", url}, "--timeout"},
        {{"-m", "abc", url}, "--max-time: wants seconds"},
        {{"-m", "1", "--timeout", "1000", url}, "excludes"},
        {{"--backend", "smoke", url}, "--backend"},
        {{"-H", "NoColon", url}, "-H wants 'Name: value'"},
        {{"-H", "X-A: 1\r\nX-B: 2", url}, "line break"},
        {{url + "\r\nX-B: 2"}, "line break"},
        {{url, url}, "not expected"},
        {{"--proxy", "nohost", url}, "--proxy wants HOST:PORT"},
        {{"-o"}, "--output"},
        {{"--data-binary", "@/nonexistent/file", url}, "cannot read /nonexistent/file"},
        {{"-d", "a", "-X", "GET", url}, "-X GET conflicts with -d"},
        {{"-X", "POST", url}, "-X POST needs a body"},
        {{"-X", "PUT", url}, "--request"},
        {{"-L", "--max-redirs", "-1", url}, "--max-redirs"},
        {{"--demo", url}, "--demo takes no URL"},
        {{"--backend", "curl", "--connect-timeout", "1", url}, "-m/--max-time limits"},
        {{"-o", dir / "no/such/folder/body", url}, "cannot create", 3},
    };
    for (const auto& c : cases) {
        const Outcome run = Rvfetch(c.args);
        const std::string shown = c.args.empty() ? "(none)" : c.args.front();
        EXPECT_EQ(run.status, c.status) << shown << "\n" << run.err;
        EXPECT_TRUE(run.Says(c.says)) << shown << "\n" << run.err;
        EXPECT_EQ(run.out, "");
    }
    EXPECT_EQ(server.RequestCount(), 0u);
    EXPECT_TRUE(Rvfetch({"--bogus"}).Says("see 'rvfetch --help'"));
    EXPECT_TRUE(fs::is_empty(dir.Path()));
}

// Every option of --help is in the manual page and every option of the page in --help.
TEST(RvfetchTest, HelpAndManualPageNameTheSameOptions) {
    const Outcome help = Rvfetch({"--help"});
    ASSERT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("Exit status"), std::string::npos);
    EXPECT_NE(help.out.find("XDG_STATE_HOME"), std::string::npos) << "where records go";
    std::string page = ReadFile(RVFETCH_MANUAL);
    page = std::regex_replace(page, std::regex(R"(\\-)"), "-");
    page = std::regex_replace(page, std::regex(R"(\\f[BIR])"), "");
    const std::regex option(R"((?:^|[\s,\[(])(--?[A-Za-z][A-Za-z-]*))");
    const auto optionsIn = [&](const std::string& text) {
        std::set<std::string> found;
        for (auto it = std::sregex_iterator(text.begin(), text.end(), option);
             it != std::sregex_iterator(); ++it) {
            found.insert((*it)[1]);
        }
        found.erase("-sS");  // the page's example of combined options
        found.erase("-sSL");
        return found;
    };
    EXPECT_EQ(optionsIn(help.out), optionsIn(page));
    EXPECT_EQ(Rvfetch({"--version"}).out.rfind("rvfetch ", 0), 0u);
}

// What rvfetch sends for each option, and where the body goes, through either backend.
TEST(RvfetchTest, OptionsReachTheRequestThroughEitherBackend) {
    for (const std::string& backend : kBackends) {
        SCOPED_TRACE(backend);
        ScriptedServer server;
        server.SetDefaultReply(
            Reply(HttpResponse(200, "the body\n", {{"VR_Expired", "Exp:2030-06-01 12:00:00 LT"}})));
        TempDir dir;
        Outcome run = Rvfetch({"-sS", "-A", "agent/1", "--referer=http://from/", "--compressed",
                               "-H", "X-Token: abc", server.Url("/get"), "--backend", backend, "-o",
                               "-", "-f", "--expiry"});
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.out, "the body\n");
        EXPECT_TRUE(run.Says("VR_Expired: 2030-06-01 12:00:00")) << run.err;
        run = Rvfetch({"-i", "-X", "POST", "-d", "k=v", "-o", dir / "body", "--backend", backend,
                       server.Url("/post")});
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(ReadFile(dir / "body"),
                  "HTTP/1.1 200 OK\r\nVR_Expired: Exp:2030-06-01 12:00:00 "
                  "LT\r\nContent-Length: 9\r\n\r\nthe body\n");
        WriteFile(dir / "data", std::string("a\0b", 3));
        EXPECT_EQ(
            Rvfetch({"--data-binary", "@" + dir / "data", "--backend", backend, server.Url("/bin")})
                .status,
            0);

        const std::vector<RecordedRequest> sent = server.Requests();
        ASSERT_EQ(sent.size(), 3u);
        const std::string head(sent[0].Head());
        // The curl fetcher writes "Name:value", the other "Name: value".
        for (const char* header : {"user-agent: ?agent/1", "referer: ?http://from/",
                                   "accept-encoding: ?gzip, zstd", "x-token: ?abc"}) {
            EXPECT_TRUE(std::regex_search(head, std::regex(header, std::regex::icase)))
                << header << "\n"
                << head;
        }
        EXPECT_EQ(sent[1].RequestLine(), "POST /post HTTP/1.1");
        EXPECT_EQ(sent[1].Body(), "k=v");
        EXPECT_EQ(sent[2].Body(), std::string("a\0b", 3));
    }
}

// A failure prints the read function's message and its cause in words from the library's
// records, against real failures, on both backends; POST failures, the body limit and a
// proxy given with --proxy too.
TEST(RvfetchTest, FailuresAreToldInWords) {
    const std::string refused = RefusedUrl();
    ScriptedServer server;
    const std::string proxy = refused.substr(7, refused.size() - 8);
    const Reply hang = Reply().Hang(), missing(HttpResponse(404, "nope")),
                lunch(HttpResponse(503, "x", {}, "Lunch")),
                big(HttpResponse(200, std::string(5000, 'x'))),
                banned(HttpResponse(200, "body", {{"RV_Error", "banned"}}));
    const struct {
        Reply reply;  // the server's answer, when the case reaches it
        Args args;
        int status;  // 0: whichever the read function gives
        std::string says;
        std::string only = "";  // the one backend the case is for
    } cases[] = {
        {missing, {}, 12, "ERR_HTTP_STATUS (2): Status = 404!"},
        {lunch, {"-d", "k=v"}, 0, "cause: HTTP status 503 Lunch"},
        {banned, {}, 15, "ERR_SERVER_VERDICT (5): RV Error:banned!"},
        {hang, {"--timeout", "300"}, 11, "ERR_REQUEST (1): Request error! Timeout=300"},
        {hang, {"-m", "0.25", "-d", "k=v"}, 11, "cause: timed out after 250 ms"},
        // The inet transport's one time-out serves connect and receive.
        {hang, {"--connect-timeout", "0.3", "-m", "9"}, 11, "timed out after 300 ms", "inet"},
        {big, {"--max-filesize", "1000"}, 11, "over the limit of 1000 bytes"},
        {Reply(), {refused}, 11, "cause: could not connect"},
        {Reply(), {"-d", "k=v", refused}, 11, "cause: could not connect"},
        {Reply(), {"http://nowhere.invalid/"}, 11, "cause: name not resolved"},
        {Reply(), {"--proxy", proxy, "http://example.invalid/"}, 11, "cause: could not connect"},
    };
    for (const std::string& backend : kBackends) {
        for (const auto& c : cases) {
            if (!c.only.empty() && c.only != backend) {
                continue;
            }
            Args args = c.args;
            if (args.empty() || args.back().rfind("http", 0) != 0) {
                server.Enqueue(c.reply);
                args.push_back(server.Url("/x"));
            }
            args.insert(args.end(), {"--backend", backend});
            SCOPED_TRACE(backend + " " + args.front());
            const Outcome run = Rvfetch(args);
            EXPECT_EQ(run.status, c.status == 0 ? run.status : c.status) << run.err;
            EXPECT_TRUE(run.Says("rvfetch: ERR_")) << run.err;
            EXPECT_TRUE(run.Says(c.says)) << run.err;
            EXPECT_EQ(run.out, "");
            if (c.status != 12) {
                continue;
            }
            // -s keeps the failure to the exit status; -S brings the message back; -v shows
            // each library record and a summary line with the status as the server sent it.
            const auto with = [&](const char* flag) {
                server.Enqueue(c.reply);
                Args flagged = args;
                flagged.insert(flagged.begin(), flag);
                return Rvfetch(flagged);
            };
            EXPECT_EQ(with("-s").err, "");
            EXPECT_TRUE(with("-sS").Says(c.says));
            const Outcome verbose = with("-v");
            EXPECT_TRUE(verbose.Says("RVUtil_IsUseWinInet Init")) << verbose.err;
            EXPECT_TRUE(verbose.Says("backend " + backend + ", GET " + args.front() +
                                     ", status 404 Not Found, ERR_HTTP_STATUS (2)"))
                << verbose.err;
        }
    }
}

// The words for the records each fetcher writes, with the detail record's text after them,
// for the failures the cases above cannot bring about.
TEST(RvfetchTest, RecordsBecomeWords) {
    using rvfetch::LogRecord;
    const struct {
        std::vector<LogRecord> records;
        const char* words;
    } cases[] = {
        {{{8, "[Curl Post Send Error]ErrorCode=60, HttpStatus=0, Url=https://h/"},
          {8, "[Curl Error Detail]SSL certificate problem: self-signed certificate"}},
         "TLS certificate not trusted (curl code 60): SSL certificate problem: self-signed "
         "certificate"},
        {{{8, "[Http Send Error]ErrorCode=12175, Url=/"},
          {8, "[Http Error Detail]TLS certificate not trusted: self-signed certificate"}},
         "TLS failure (certificate not trusted, or the handshake failed) (error 12175): TLS "
         "certificate not trusted: self-signed certificate"},
        {{{8, "[Http Read Error]ErrorCode=12030, Url=/x"}, {8, "[Http Error Detail]reset"}},
         "connection aborted (error 12030): reset"},
        {{{8, "[Http Send Error]ErrorCode=4242, Url=/"}}, "request failed (error 4242)"},
        {{{16, "Request header refused (CR, LF or NUL in the value): X"}},
         "Request header refused (CR, LF or NUL in the value): X"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(rvfetch::DescribeFailure(c.records, "404 Not Found", 1500), c.words);
    }
    EXPECT_EQ(rvfetch::DescribeFailure({}, "", 0), "");
}

// The library's records go to the user's state folder (or RVUTIL_LOG_DIR), never beside
// the program.
TEST(RvfetchTest, RecordsGoToTheStateFolder) {
    TempDir home("rvfetch-state");
    ScriptedServer server;
    server.SetDefaultReply(Reply(HttpResponse(200, "x")));
    const struct {
        std::vector<std::pair<std::string, std::string>> variables;
        std::string folder;
    } cases[] = {
        {{{"HOME", home.Path()}}, home / ".local/state/rvfetch"},
        {{{"XDG_STATE_HOME", home / "xdg"}}, home / "xdg/rvfetch"},
        {{{"XDG_STATE_HOME", "relative"}, {"HOME", home / "h"}}, home / "h/.local/state/rvfetch"},
        {{{"RVUTIL_LOG_DIR", home / "named"}}, home / "named"},
    };
    // A folder left by an older build would hide one made now.
    const fs::path besideProgram = fs::path(RVFETCH_PATH).parent_path() / "Log";
    fs::remove_all(besideProgram);
    for (const auto& c : cases) {
        ScopedEnvironment env;
        for (const auto& [name, value] : c.variables) {
            env.Set(name, value);
        }
        EXPECT_EQ(Rvfetch({server.Url("/")}).status, 0);
        EXPECT_NE(ReadFolder(c.folder).find("RVUtil_IsUseWinInet Init"), std::string::npos)
            << c.folder;
    }
    EXPECT_FALSE(fs::exists(besideProgram));
}

// -L and --proxy against the real nginx and forward proxy, on both backends; without the
// programs the case is skipped, or fails when CI is set.
TEST(RvfetchTest, RedirectsAndProxyOverRealServers) {
    LocalServices services;
    if (!services.Start()) {
        if (std::getenv("CI") != nullptr) {
            FAIL() << services.Problem();
        }
        GTEST_SKIP() << services.Problem();
    }
    const std::string proxy = services.ProxyUrl().substr(7);  // without "http://"
    for (const std::string& backend : kBackends) {
        SCOPED_TRACE(backend);
        Outcome run = Rvfetch({"-L", "--backend", backend, services.WebUrl("/moved")});
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.out, services.SiteFile("index.html"));
        run = Rvfetch({"-L", "--backend", backend, services.WebUrl("/found")});
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_NE(run.out.find("line 0: omega bravo"), std::string::npos) << run.out;
        run = Rvfetch({"-L", "--backend", backend, services.WebUrl("/elsewhere")});
        EXPECT_EQ(run.status, 12) << run.err;
        EXPECT_TRUE(run.Says("redirect to file: is not followed")) << run.err;

        const std::string path = "/index.html?via=" + backend;
        run = Rvfetch({"--backend", backend, "--proxy", proxy, services.WebUrl(path)});
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.out, services.SiteFile("index.html"));
        EXPECT_NE(services.ProxyLog(path).find(path), std::string::npos);
    }
}

// -L: Location forms resolved against the request's URL, POST kept by 307 and turned into
// a GET by 303, and the redirects it does not follow.
TEST(RvfetchTest, RedirectsAreFollowedOrRefused) {
    ScriptedServer server;
    const std::string port = std::to_string(server.Port());
    const struct {
        int status;
        std::string location;
        Args args;
        std::string next;  // the request line that follows, or the cause of the refusal
    } cases[] = {
        {302, "../up?x=1#part", {"-L"}, "GET /a/up?x=1 HTTP/1.1"},
        {302, "next", {"-L"}, "GET /a/b/next HTTP/1.1"},
        {302, "?only", {"-L"}, "GET /a/b/c?only HTTP/1.1"},
        {301, "//127.0.0.1:" + port + "/other", {"-L"}, "GET /other HTTP/1.1"},
        {302, "HTTP://127.0.0.1:" + port + "/./x/../y", {"-L"}, "GET /y HTTP/1.1"},
        {307, "next", {"-L", "-d", "k=v"}, "POST /a/b/next HTTP/1.1"},
        {303, "next", {"-L", "-d", "k=v"}, "GET /a/b/next HTTP/1.1"},
        {302, "ftp://127.0.0.1/x", {"-L"}, "redirect to ftp: is not followed"},
        {302, "http://", {"-L"}, "is not a URL"},
        {302, "bad url", {"-L"}, "is not a URL"},
        {302, "", {"-L"}, "is not a URL"},
        {302, "next", {"-L", "--max-redirs", "0"}, "gave up after 0 redirects"},
        {302, "next", {}, "the Location is next; -L follows it"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.location);
        server.Clear();
        server.Enqueue(Reply(HttpResponse(c.status, "", {{"Location", c.location}})));
        server.Enqueue(Reply(HttpResponse(200, "there")));
        Args args = c.args;
        args.push_back(server.Url("/a/b/c"));
        const Outcome run = Rvfetch(args);
        const auto sent = server.Requests();
        if (c.next.rfind("GET /", 0) == 0 || c.next.rfind("POST /", 0) == 0) {
            EXPECT_EQ(run.status, 0) << run.err;
            EXPECT_EQ(run.out, "there");
            ASSERT_EQ(sent.size(), 2u);
            EXPECT_EQ(sent[1].RequestLine(), c.next);
            EXPECT_EQ(sent[1].Body(), c.status == 307 ? "k=v" : "");
        } else {
            EXPECT_EQ(run.status, 12) << run.err;
            EXPECT_TRUE(run.Says(c.next)) << run.err;
            EXPECT_EQ(sent.size(), 1u);
        }
    }
    server.Clear();
    server.SetDefaultReply(Reply(HttpResponse(302, "", {{"Location", "/loop"}})));
    EXPECT_TRUE(Rvfetch({"-L", server.Url("/loop")}).Says("gave up after 10 redirects"));

    // -i shows every head on the way. Another host ("localhost" is not "127.0.0.1") gets no
    // Authorization and no Cookie.
    ScriptedServer other;
    other.Enqueue(Reply(HttpResponse(200, "there")));
    server.Clear();
    server.Enqueue(Reply(HttpResponse(
        307, "", {{"Location", "http://localhost:" + std::to_string(other.Port()) + "/"}})));
    const Outcome run = Rvfetch({"-Li", "-H", "Authorization: Basic c2VjcmV0", "-H", "Cookie: a=b",
                                 "-H", "X-Kept: yes", server.Url("/")});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out.rfind("HTTP/1.1 307", 0), 0u) << run.out;
    EXPECT_NE(run.out.find("\r\n\r\nHTTP/1.1 200 OK\r\n"), std::string::npos) << run.out;
    ASSERT_EQ(other.RequestCount(), 1u);
    const std::string head(other.Requests()[0].Head());
    EXPECT_EQ(head.find("Authorization"), std::string::npos) << head;
    EXPECT_EQ(head.find("Cookie"), std::string::npos) << head;
    EXPECT_NE(head.find("X-Kept"), std::string::npos) << head;
}

// A transfer of more than a second shows a spinner on a terminal, cleared at the end; -s
// and a standard error that is not a terminal show none.
TEST(RvfetchTest, ProgressShowsOnlyOnATerminal) {
    ScriptedServer server;
    server.SetDefaultReply(Reply().Delay(1500ms).Send(HttpResponse(200, "late")));
    TempDir dir;
    for (const bool silent : {false, true}) {
        const std::string command = std::string(RVFETCH_PATH) + (silent ? " -s " : " ") +
                                    server.Url("/") + " > " + dir / "body";
        const Outcome run = RunProgram({"script", "-qec", command, dir / "typescript"});
        EXPECT_EQ(run.status, 0) << run.out;
        const std::string screen = ReadFile(dir / "typescript");
        EXPECT_EQ(screen.find(" s \r\033[K") != std::string::npos, !silent) << screen;
        EXPECT_EQ(ReadFile(dir / "body"), "late");
    }
    EXPECT_EQ(Rvfetch({server.Url("/")}).err, "");
}

TEST(RvfetchTest, AutoBackendFollowsTheProbe) {
    ScriptedServer server;
    server.SetDefaultReply(Reply(HttpResponse(200, "x")));
    EXPECT_TRUE(Rvfetch({"-v", server.Url("/")}).Says("backend curl"));
    // A named proxy in force: the probe picks the transport. The server is left out of the
    // proxy, so the fetch itself goes direct.
    ScopedEnvironment env;
    env.Set("http_proxy", "http://127.0.0.1:9").Set("no_proxy", "127.0.0.1");
    const Outcome run = Rvfetch({"-v", "--backend", "auto", server.Url("/")});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(run.Says("backend inet")) << run.err;
}

}  // namespace
}  // namespace rvtest
