// rvfetch as a person uses it: its options, exit statuses and messages, what it sends and
// writes where, against a scripted loopback server, a real nginx and a real forward proxy.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <regex>
#include <set>
#include <string>
#include <thread>
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

// Runs program with args, standard output and error into files; kills it after a minute.
Outcome RunProgram(const Args& command) {
    TempDir dir("rvfetch-test");
    ChildProcess child(command, ChildProcess::Options{dir / "out", dir / "err"});
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

Outcome Rvfetch(Args args) {
    args.insert(args.begin(), RVFETCH_PATH);
    return RunProgram(args);
}

// Every run gets a home of its own and no proxy or log settings from the machine.
class QuietHome : public ::testing::Environment {
  public:
    void SetUp() override {
        m_home.emplace("rvfetch-home");
        m_env.emplace();
        m_env->UnsetProxies().Unset("XDG_STATE_HOME").Unset("RVUTIL_LOG_DIR");
        m_env->Set("HOME", m_home->Path());
    }
    void TearDown() override {
        m_env.reset();
        m_home.reset();
    }

  private:
    std::optional<TempDir> m_home;
    std::optional<ScopedEnvironment> m_env;
};
const auto* const kQuietHome = ::testing::AddGlobalTestEnvironment(new QuietHome);

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
        {{"-Z"}, "-Z"},
        {{"--timeout", "soon", url}, "--timeout"},
        {{"--timeout", "-5", url}, "--timeout"},
        {{"-m", "abc", url}, "--max-time: wants seconds"},
        {{"-m", "1", "--timeout", "1000", url}, "excludes"},
        {{"--backend", "smoke", url}, "--backend"},
        {{"-H", "NoColon", url}, "-H wants 'Name: value'"},
        {{"-H", "X-A: 1\r\nX-B: 2", url}, "line break"},
        {{"-A", "agent\n", url}, "line break"},
        {{url + "\r\nX-B: 2"}, "line break"},
        {{url, url}, "not expected"},
        {{"--proxy", "nohost", url}, "--proxy wants HOST:PORT"},
        {{"--proxy", "host:99999", url}, "--proxy wants HOST:PORT"},
        {{"-o"}, "--output"},
        {{"--data-binary", "@/nonexistent/file", url}, "cannot read /nonexistent/file"},
        {{"-d", "a", "-X", "GET", url}, "-X GET conflicts with -d"},
        {{"-X", "POST", url}, "-X POST needs a body"},
        {{"-X", "PUT", url}, "--request"},
        {{"-L", "--max-redirs", "-1", url}, "--max-redirs"},
        {{"--max-filesize", "0", url}, "--max-filesize"},
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
        server.SetDefaultReply(Reply(HttpResponse(200, "the body\n", {{"X-Served", "yes"}})));
        TempDir dir;
        Outcome run =
            Rvfetch({"-sS", "-A", "agent/1", "--referer=http://from/", "--compressed", "-H",
                     "X-Token: abc", server.Url("/get"), "--backend", backend, "-o", "-", "-f"});
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.out, "the body\n");
        run = Rvfetch({"-i", "-X", "POST", "-d", "k=v", "-o", dir / "body", "--backend", backend,
                       server.Url("/post")});
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(ReadFile(dir / "body"),
                  "HTTP/1.1 200 OK\r\nX-Served: yes\r\nContent-Length: 9\r\n\r\nthe body\n");
        WriteFile(dir / "data", std::string("a\0b", 3));
        EXPECT_EQ(
            Rvfetch({"--data-binary", "@" + dir / "data", "--backend", backend, server.Url("/bin")})
                .status,
            0);

        const std::vector<RecordedRequest> sent = server.Requests();
        ASSERT_EQ(sent.size(), 3u);
        std::string head(sent[0].Head());
        for (char& c : head) {
            c = static_cast<char>(std::tolower(c));
        }
        // The curl fetcher writes "Name:value", the other "Name: value".
        for (const char* header : {"user-agent: ?agent/1", "referer: ?http://from/",
                                   "accept-encoding: ?gzip, zstd", "x-token: ?abc"}) {
            EXPECT_TRUE(std::regex_search(head, std::regex(header))) << header << "\n" << head;
        }
        EXPECT_EQ(sent[1].RequestLine(), "POST /post HTTP/1.1");
        EXPECT_EQ(sent[1].Body(), "k=v");
        EXPECT_EQ(sent[2].Body(), std::string("a\0b", 3));
    }
}

// A failure prints the read function's message and its cause in words from the library's
// records, against real failures, on both backends; POST failures and the body limit too.
TEST(RvfetchTest, FailuresAreToldInWords) {
    ScriptedServer closed;
    const std::string refused = closed.Url("/");
    closed.Stop();
    ScriptedServer server;
    const struct {
        Reply reply;  // the server's answer, when the case reaches it
        Args args;
        int status;
        const char* message;
        const char* cause;
    } cases[] = {
        {Reply(HttpResponse(404, "nope")),
         {},
         12,
         "ERR_HTTP_STATUS (2): Status = 404!",
         "cause: HTTP status 404 Not Found"},
        {Reply(HttpResponse(503, "x", {}, "Closed For Lunch")),
         {"-d", "k=v"},
         0,
         "ERR_",
         "cause: HTTP status 503 Closed For Lunch"},
        {Reply(HttpResponse(200, "body", {{"RV_Error", "banned"}})),
         {},
         15,
         "ERR_SERVER_VERDICT (5): RV Error:banned!",
         ""},
        {Reply().Hang(),
         {"--timeout", "300"},
         11,
         "ERR_REQUEST (1): Request error! Timeout=300",
         "cause: timed out after 300 ms"},
        {Reply().Hang(),
         {"-m", "0.25", "-d", "k=v"},
         11,
         "ERR_REQUEST (1)",
         "cause: timed out after 250 ms"},
        {Reply(HttpResponse(200, std::string(5000, 'x'))),
         {"--max-filesize", "1000"},
         11,
         "ERR_REQUEST (1)",
         "over the limit of 1000 bytes"},
        {Reply(), {refused}, 11, "ERR_REQUEST (1)", "cause: could not connect"},
        {Reply(), {"-d", "k=v", refused}, 11, "ERR_REQUEST (1)", "cause: could not connect"},
        {Reply(), {"http://nowhere.invalid/"}, 11, "ERR_REQUEST (1)", "cause: name not resolved"},
        {Reply(),
         {"--proxy", refused.substr(7, refused.size() - 8), "http://example.invalid/"},
         11,
         "ERR_REQUEST (1)",
         "cause: could not connect"},
    };
    for (const std::string& backend : kBackends) {
        for (const auto& c : cases) {
            Args args = c.args;
            if (args.empty() || args.back().rfind("http", 0) != 0) {
                server.Enqueue(c.reply);
                args.push_back(server.Url("/x"));
            }
            args.insert(args.end(), {"--backend", backend});
            SCOPED_TRACE(backend + " " + args.front());
            const Outcome run = Rvfetch(args);
            if (c.status != 0) {
                EXPECT_EQ(run.status, c.status) << run.err;
            }
            EXPECT_TRUE(run.Says(std::string("rvfetch: ") + c.message)) << run.err;
            EXPECT_TRUE(run.Says(c.cause)) << run.err;
            EXPECT_EQ(run.out, "");
            // -s keeps the failure to the exit status; -S brings the message back.
            if (c.status == 12) {
                server.Enqueue(c.reply);
                args.insert(args.begin(), "-s");
                EXPECT_EQ(Rvfetch(args).err, "");
                server.Enqueue(c.reply);
                args.insert(args.begin(), "-S");
                EXPECT_TRUE(Rvfetch(args).Says(c.cause));
            }
        }
    }
}

// The inet transport's one time-out serves connect and receive: --connect-timeout takes
// the smaller of the two.
TEST(RvfetchTest, ConnectTimeoutOnTheInetBackend) {
    ScriptedServer server;
    server.Enqueue(Reply().Hang());
    const Outcome run =
        Rvfetch({"--backend", "inet", "--connect-timeout", "0.3", "-m", "20", server.Url("/")});
    EXPECT_EQ(run.status, 11) << run.err;
    EXPECT_TRUE(run.Says("cause: timed out after 300 ms")) << run.err;
}

// The words for the records each fetcher writes, with the detail record's text after them.
TEST(RvfetchTest, RecordsBecomeWords) {
    using rvfetch::LogRecord;
    const struct {
        std::vector<LogRecord> records;
        const char* words;
    } cases[] = {
        {{{8, "[Curl Send Error]ErrorCode=7, HttpStatus=0, Url=http://127.0.0.1:1/"},
          {8, "[Curl Error Detail]Failed to connect to 127.0.0.1 port 1: Connection refused"}},
         "could not connect (connection refused or host unreachable) (curl code 7): Failed to "
         "connect to 127.0.0.1 port 1: Connection refused"},
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
        {{{8, "[Curl Send Error]ErrorCode=28, HttpStatus=0, Url=u"}},
         "timed out after 1500 ms (curl code 28)"},
        {{{8, "[Http Send Error]ErrorCode=4242, Url=/"}}, "request failed (error 4242)"},
        {{{8, "[Curl Send Error]ErrorCode=23, HttpStatus=200, Url=u"},
          {8, "[Body Limit]Response body over the limit of 1000 bytes, Url=u"}},
         "Response body over the limit of 1000 bytes (see --max-filesize)"},
        {{{16, "Request header refused (CR, LF or NUL in the value): X"}},
         "Request header refused (CR, LF or NUL in the value): X"},
        {{{64, "RVUtil_IsUseWinInet Init"}}, "HTTP status 404 Not Found"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(rvfetch::DescribeFailure(c.records, "404 Not Found", 1500), c.words);
    }
    EXPECT_EQ(rvfetch::DescribeFailure({}, "", 0), "");
}

// With -v each library record shows on standard error, and a summary line per request
// gives the status as the server sent it.
TEST(RvfetchTest, VerboseShowsTheRecordsAndTheRealStatus) {
    ScriptedServer server;
    for (const std::string& backend : kBackends) {
        server.Enqueue(Reply(HttpResponse(404, "nope")));
        const Outcome run = Rvfetch({"-v", "--backend", backend, server.Url("/v")});
        EXPECT_EQ(run.status, 12);
        EXPECT_TRUE(run.Says("RVUtil_IsUseWinInet Init")) << run.err;
        EXPECT_TRUE(run.Says("backend " + backend + ", GET " + server.Url("/v") +
                             ", status 404 Not Found, ERR_HTTP_STATUS (2)"))
            << run.err;
    }
}

// The library's records go to the user's state folder (or RVUTIL_LOG_DIR), never beside
// the program.
TEST(RvfetchTest, RecordsGoToTheStateFolder) {
    TempDir home("rvfetch-state");
    ScriptedServer server;
    server.SetDefaultReply(Reply(HttpResponse(200, "x")));
    const auto logIn = [](const std::string& folder) {
        std::string all;
        if (fs::is_directory(folder)) {
            for (const auto& entry : fs::directory_iterator(folder)) {
                all += ReadFile(entry.path().string());
            }
        }
        return all;
    };
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
        EXPECT_NE(logIn(c.folder).find("RVUtil_IsUseWinInet Init"), std::string::npos) << c.folder;
    }
    EXPECT_FALSE(fs::exists(besideProgram));
}

// The real nginx and forward proxy; without the programs the tests are skipped, or fail
// when CI is set.
class RvfetchWithServicesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!services.Start()) {
            if (std::getenv("CI") != nullptr) {
                FAIL() << services.Problem();
            }
            GTEST_SKIP() << services.Problem();
        }
    }
    LocalServices services;
};

// -L over the real nginx: relative and absolute targets, POST kept by 307 and turned into
// a GET by 303, and the redirects it does not follow.
TEST_F(RvfetchWithServicesTest, RedirectsAreFollowedOverNginx) {
    for (const std::string& backend : kBackends) {
        SCOPED_TRACE(backend);
        Outcome run = Rvfetch({"-L", "--backend", backend, services.WebUrl("/moved")});
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.out, services.SiteFile("index.html"));
        run = Rvfetch({"-Li", "--backend", backend, services.WebUrl("/found")});
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_NE(run.out.find("302 Moved Temporarily"), std::string::npos);
        EXPECT_NE(run.out.find("\r\n\r\nline 0: omega bravo"), std::string::npos);
        for (const char* path : {"/repost", "/seeother"}) {
            run = Rvfetch({"-L", "-d", "k=v", "--backend", backend, services.WebUrl(path)});
            EXPECT_EQ(run.status, 0) << run.err;
            EXPECT_EQ(run.out, "posted\n");
        }
        const std::string log = services.WebAccessLog("GET /post");
        EXPECT_NE(log.find("POST /post HTTP/1.1 200"), std::string::npos) << log;
        EXPECT_NE(log.find("GET /post HTTP/1.1 200"), std::string::npos) << log;

        const struct {
            Args args;
            const char* cause;
        } refused[] = {
            {{"-L", services.WebUrl("/loop")}, "gave up after 10 redirects"},
            {{"-L", "--max-redirs", "0", services.WebUrl("/moved")}, "gave up after 0 redirects"},
            {{"-L", services.WebUrl("/elsewhere")}, "redirect to file: is not followed"},
            {{services.WebUrl("/moved")}, "the Location is index.html; -L follows it"},
        };
        for (const auto& c : refused) {
            Args args = c.args;
            args.insert(args.end(), {"--backend", backend});
            run = Rvfetch(args);
            EXPECT_EQ(run.status, 12) << run.err;
            EXPECT_TRUE(run.Says(c.cause)) << run.err;
            EXPECT_EQ(run.out, "");
        }
    }
}

// Location forms resolved against the request's URL, and the headers that stay with the
// first host.
TEST(RvfetchTest, RedirectTargetsAndCredentials) {
    ScriptedServer server;
    const std::string port = std::to_string(server.Port());
    const struct {
        std::string location;
        std::string requestLine;  // of the request that follows; empty: not followed
    } cases[] = {
        {"../up?x=1#part", "GET /a/up?x=1 HTTP/1.1"},
        {"next", "GET /a/b/next HTTP/1.1"},
        {"?only", "GET /a/b/c?only HTTP/1.1"},
        {"//127.0.0.1:" + port + "/other", "GET /other HTTP/1.1"},
        {"HTTP://127.0.0.1:" + port + "/./x/../y", "GET /y HTTP/1.1"},
        {"ftp://127.0.0.1/x", ""},
        {"http://", ""},
        {"bad url", ""},
        {"", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.location);
        server.Clear();
        server.Enqueue(Reply(HttpResponse(302, "", {{"Location", c.location}})));
        server.Enqueue(Reply(HttpResponse(200, "there")));
        const Outcome run = Rvfetch({"-L", server.Url("/a/b/c")});
        EXPECT_EQ(run.status, c.requestLine.empty() ? 12 : 0) << run.err;
        const auto sent = server.Requests();
        ASSERT_EQ(sent.size(), c.requestLine.empty() ? 1u : 2u);
        if (!c.requestLine.empty()) {
            EXPECT_EQ(sent[1].RequestLine(), c.requestLine);
        }
    }
    // Another host ("localhost" is not "127.0.0.1") gets no Authorization and no Cookie.
    ScriptedServer other;
    other.Enqueue(Reply(HttpResponse(200, "there")));
    server.Clear();
    server.Enqueue(Reply(HttpResponse(
        307, "", {{"Location", "http://localhost:" + std::to_string(other.Port()) + "/"}})));
    const Outcome run = Rvfetch({"-L", "-H", "Authorization: Basic c2VjcmV0", "-H", "Cookie: a=b",
                                 "-H", "X-Kept: yes", server.Url("/")});
    EXPECT_EQ(run.status, 0) << run.err;
    ASSERT_EQ(other.RequestCount(), 1u);
    const std::string head(other.Requests()[0].Head());
    EXPECT_EQ(head.find("Authorization"), std::string::npos) << head;
    EXPECT_EQ(head.find("Cookie"), std::string::npos) << head;
    EXPECT_NE(head.find("X-Kept"), std::string::npos) << head;
}

// --proxy through the real forward proxy, on both backends.
TEST_F(RvfetchWithServicesTest, ProxyOptionGoesThroughTheRealProxy) {
    const std::string proxy = services.ProxyUrl().substr(7);  // without "http://"
    for (const std::string& backend : kBackends) {
        const std::string path = "/index.html?via=" + backend;
        const Outcome run =
            Rvfetch({"--backend", backend, "--proxy", proxy, services.WebUrl(path)});
        EXPECT_EQ(run.status, 0) << backend << "\n" << run.err;
        EXPECT_EQ(run.out, services.SiteFile("index.html"));
        EXPECT_NE(services.ProxyLog(path).find(path), std::string::npos) << backend;
    }
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
    {
        // A named proxy in force: the probe picks the transport. The server is left out of
        // the proxy, so the fetch itself goes direct.
        ScopedEnvironment env;
        env.Set("http_proxy", "http://127.0.0.1:9").Set("no_proxy", "127.0.0.1");
        const Outcome run = Rvfetch({"-v", "--backend", "auto", server.Url("/")});
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_TRUE(run.Says("backend inet")) << run.err;
    }
    const Outcome run = Rvfetch({"-v", server.Url("/")});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(run.Says("backend curl")) << run.err;
}

TEST(RvfetchTest, ExpiryIsPrintedOnRequest) {
    ScriptedServer server;
    server.Enqueue(Reply(HttpResponse(200, "x", {{"VR_Expired", "Exp:2030-06-01 12:00:00 LT"}})));
    const Outcome run = Rvfetch({"--expiry", server.Url("/")});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(run.Says("VR_Expired: 2030-06-01 12:00:00")) << run.err;
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
