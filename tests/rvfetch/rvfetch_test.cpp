// rvfetch as a curl user runs it: each shared option run by rvfetch (on both backends) and
// by the real curl against the same loopback servers, comparing the exit status, standard
// output and the gist of standard error; then what rvfetch does on purpose otherwise.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "LocalServices.h"
#include "ScopedEnvironment.h"
#include "ScriptedServer.h"
#include "TestCertificates.h"
#include "TlsFront.h"
#include "loopback/Compression.h"
#include "loopback/LoopbackServer.h"

namespace rvtest {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Args = std::vector<std::string>;

const std::string kBackends[] = {"curl", "inet"};

struct Outcome {
    int status = -1;  // exit status, or -1 when the program did not end within a minute
    std::string out;
    std::string err;
    std::string dir;  // where it ran; its files stay until the next run
    bool Says(const std::string& text) const { return err.find(text) != std::string::npos; }
};

// Runs command in a fresh folder (its working directory) with input as standard input.
Outcome RunIn(TempDir& dir, Args command, const std::string& input = "") {
    WriteFile(dir / "stdin", input);
    command.insert(command.begin(), {"/bin/sh", "-c", R"(cd "$1" && in=$2 && shift 2 &&
                                                         exec "$@" < "$in")",
                                     "sh", dir.Path(), dir / "stdin"});
    Outcome run;
    run.status = ChildProcess(command, {dir / ".out", dir / ".err"}).Wait(60s);
    EXPECT_NE(run.status, -1) << command[6] << " did not end within a minute";
    run.out = ReadFile(dir / ".out");
    run.err = ReadFile(dir / ".err");
    run.dir = dir.Path();
    return run;
}

// Each run in a fresh folder, kept until the next run so that its files can be read.
Outcome Rvfetch(Args args, const std::string& input = "") {
    static std::unique_ptr<TempDir> dir;
    dir.reset();
    dir = std::make_unique<TempDir>("rvfetch-run");
    args.insert(args.begin(), RVFETCH_PATH);
    return RunIn(*dir, args, input);
}

// What must match between the two programs' standard error: the exit status a message
// names, the option a mistake names, that there were warnings, and the response heads -v
// shows. Progress meters, curl's "*" lines and the words themselves may differ.
std::string Gist(const std::string& err) {
    static const std::regex kFailure(R"(^(?:curl|rvfetch): (\(\d+\)))");
    static const std::regex kOption(R"(^(?:curl|rvfetch): option ([^:]+):)");
    static const std::regex kVariable(R"(unknown --write-out variable: '[^']*')");
    std::string gist;
    std::smatch match;
    std::istringstream lines(err);
    for (std::string line; std::getline(lines, line);) {
        line = line.substr(line.rfind('\r') == std::string::npos || line.back() == '\r'
                               ? 0
                               : line.rfind('\r') + 1);
        if (std::regex_search(line, match, kFailure) || std::regex_search(line, match, kOption) ||
            std::regex_search(line, match, kVariable)) {
            gist += match.str(match.size() - 1) + "\n";
        } else if (line.rfind("Warning:", 0) == 0 && gist.find("warning\n") == std::string::npos) {
            gist += "warning\n";
        } else if (line.rfind("< ", 0) == 0) {
            gist += line + "\n";
        }
    }
    return gist;
}

// Every run gets a home of its own and no proxy, trust or log settings from the machine.
struct QuietHome {
    QuietHome() {
        env.UnsetProxies()
            .Unset("XDG_STATE_HOME")
            .Unset("RVUTIL_LOG_DIR")
            .Unset("SSL_CERT_FILE")
            .Unset("SSL_CERT_DIR")
            .Unset("CURL_CA_BUNDLE")
            .Set("HOME", home.Path());
    }
    TempDir home{"rvfetch-home"};
    ScopedEnvironment env;
} const kQuietHome;

std::string Text(const loopback::Bytes& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

const std::string& Sample() {
    static const std::string kText = [] {
        std::string lines;
        for (int i = 1; i <= 120; ++i) {
            lines += "line " + std::to_string(i) + ": the quick brown fox jumps over the dog\n";
        }
        return lines;
    }();
    return kText;
}

std::string Decoded(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            out += static_cast<char>(std::stoi(std::string(text.substr(i + 1, 2)), nullptr, 16));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

// The request as the server saw it, in a form both programs send alike: the request line,
// the headers an option sets (sorted; not curl's own User-Agent and Accept), the body.
std::string Echo(const loopback::ReceivedRequest& request) {
    std::set<std::string> shown;
    std::istringstream lines{std::string(request.Head())};
    std::string line;
    std::getline(lines, line);
    while (std::getline(lines, line) && line != "\r") {
        const std::size_t colon = line.find(':');
        std::string name = line.substr(0, colon), value = line.substr(colon + 1);
        std::transform(name.begin(), name.end(), name.begin(), ::tolower);
        value = std::regex_replace(value, std::regex(R"(^\s+|\s+$)"), "");
        const bool set = name == "content-type" || name == "authorization" || name == "referer" ||
                         name.rfind("x-", 0) == 0 || (name == "accept" && value != "*/*") ||
                         (name == "user-agent" && value.rfind("curl/", 0) != 0) ||
                         name == "accept-encoding";
        if (set) {
            shown.insert(name + "=" + value);
        }
    }
    std::string echo = request.RequestLine() + "\n";
    for (const std::string& header : shown) {
        echo += header + "\n";
    }
    return echo + "\n" + std::string(request.Body());
}

std::shared_ptr<const loopback::Reply> Answer(loopback::ReceivedRequest&& request) {
    using loopback::HttpResponse;
    using loopback::Reply;
    const std::string target(request.Target());
    if (request.RequestLine().rfind("CONNECT ", 0) == 0) {
        // A proxy's tunnel whose far end does not speak TLS.
        return std::make_shared<const Reply>(Reply("HTTP/1.1 200 Connection established\r\n\r\n")
                                                 .Delay(100ms)
                                                 .Send("not TLS\r\n")
                                                 .Close());
    }
    const auto reply = [](std::string raw) { return std::make_shared<const Reply>(raw); };
    if (const std::size_t to = target.find("?to="); to != std::string::npos) {
        return reply(HttpResponse(302, "moved\n", {{"Location", Decoded(target.substr(to + 4))}}));
    }
    const std::string path = target.substr(0, target.find('?'));
    const loopback::Bytes sample(Sample().begin(), Sample().end());
    if (path.rfind("/status/", 0) == 0) {
        const int status = std::stoi(path.substr(8));
        return reply(HttpResponse(status, status == 204 ? "" : "status " + path.substr(8) + "\n",
                                  {{"Content-Type", "text/plain"}}));
    }
    const std::map<std::string, std::string> plain = {
        {"/text", HttpResponse(200, "hello\n", {{"Content-Type", "text/plain"}})},
        {"/gzip", HttpResponse(200, Text(loopback::Gzip(sample)), {{"Content-Encoding", "gzip"}})},
        {"/zstd", HttpResponse(200, Text(loopback::Zstd(sample)), {{"Content-Encoding", "zstd"}})},
        {"/bad-gzip", HttpResponse(200, std::string("\x1f\x8b\x08\0garbage garbage", 19),
                                   {{"Content-Encoding", "gzip"}})},
        {"/big", HttpResponse(200, std::string(5000, 'b'))},
        {"/chunked", HttpResponse(200, loopback::Chunked(std::string(6000, 'c'), 1000),
                                  {{"Transfer-Encoding", "chunked"}})},
        {"/binary", HttpResponse(200, std::string("a\0b", 3))},
        {"/verdict", HttpResponse(200, "body\n", {{"RV_Error", "banned"}})},
        {"/busy", HttpResponse(503, "busy\n")},
        {"/loop", HttpResponse(302, "", {{"Location", "/loop"}})},
        {"/redirect", HttpResponse(302, "moved\n", {{"Location", "/text"}})},
        {"/see-other", HttpResponse(303, "", {{"Location", "/echo"}})},
        {"/temporary", HttpResponse(307, "", {{"Location", "/echo"}})},
    };
    if (const auto found = plain.find(path); found != plain.end()) {
        return reply(found->second);
    }
    if (path == "/slow") {
        return std::make_shared<const Reply>(
            Reply().Delay(1500ms).Send(HttpResponse(200, "late\n")));
    }
    if (path == "/trickle") {
        // Fast enough for every wait, too slow for a bound on the whole.
        const std::string head = "HTTP/1.1 200 OK\r\nContent-Length: 6000\r\n\r\n";
        return std::make_shared<const Reply>(
            Reply(head).Trickle(std::string(6000, 't'), 300, 100ms));
    }
    if (path == "/short") {
        return std::make_shared<const Reply>(
            Reply("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nabc").Close());
    }
    if (path == "/close") {
        return std::make_shared<const Reply>(Reply().Close());
    }
    return reply(HttpResponse(200, Echo(request)));
}

// The servers the side-by-side runs share: the answering server above, TLS relays in front
// of it with the test authority's certificates (one for 127.0.0.1, one for another name),
// and a folder of that authority for --capath.
struct Servers {
    loopback::Server web{&Answer};
    const TestCertificates& certificates = TestCertificates::Get();
    TlsFront tls{web.Port(), certificates.Loopback().certFile, certificates.Loopback().keyFile};
    TlsFront wrongName{web.Port(), certificates.WrongName().certFile,
                       certificates.WrongName().keyFile};
    TempDir caFolder{"rvfetch-capath"};
    std::string refused = RefusedUrl();
    Servers() {
        TempDir hash;
        ChildProcess({"openssl", "x509", "-hash", "-noout", "-in", certificates.CaFile()},
                     {hash / "out", hash / "err"})
            .Wait(20s);
        fs::copy_file(certificates.CaFile(),
                      caFolder / (ReadFile(hash / "out").substr(0, 8) + ".0"));
    }
    std::string Expand(std::string arg) const {
        const std::pair<std::string, std::string> fields[] = {
            {"{url}", web.Url("").substr(0, web.Url("").size() - 1)},
            {"{tls}", "https://127.0.0.1:" + std::to_string(tls.Port())},
            {"{wrong-name}", "https://127.0.0.1:" + std::to_string(wrongName.Port())},
            {"{ca}", certificates.CaFile()},
            {"{capath}", caFolder.Path()},
            {"{refused}", refused},
        };
        for (const auto& [field, value] : fields) {
            for (std::size_t at; (at = arg.find(field)) != std::string::npos;) {
                arg.replace(at, field.size(), value);
            }
        }
        return arg;
    }
};

const std::string& Curl() {
    static const std::string kCurl = FindProgram({"curl"});
    return kCurl;
}

struct SideBySide {
    Args args;
    std::string input = "";  // standard input
    std::string file = "";   // a file the run writes, compared too
};

// What a run wrote, without the Date lines of the heads it shows: a real server's clock may
// tick between the two runs.
std::string WithoutDates(const std::string& out) {
    static const std::regex kDate("(^|\n)Date: [^\r\n]*\r?\n");
    return std::regex_replace(out, kDate, "$1");
}

// Runs c with curl and with rvfetch on each backend and compares what they did.
void ExpectSameAsCurl(const Servers& servers, const SideBySide& c) {
    Args args;
    for (const std::string& arg : c.args) {
        args.push_back(servers.Expand(arg));
    }
    TempDir curlDir("curl-run");
    Args curlArgs = args;
    curlArgs.insert(curlArgs.begin(), Curl());
    const Outcome curl = RunIn(curlDir, curlArgs, c.input);
    for (const std::string& backend : kBackends) {
        Args ours = args;
        ours.insert(ours.begin(), {"--backend", backend});
        const Outcome run = Rvfetch(ours, c.input);
        SCOPED_TRACE(backend + ": " + ::testing::PrintToString(c.args) +
                     "\ncurl's error: " + curl.err + "\nrvfetch's: " + run.err);
        EXPECT_EQ(run.status, curl.status);
        EXPECT_EQ(WithoutDates(run.out), WithoutDates(curl.out));
        EXPECT_EQ(Gist(run.err), Gist(curl.err));
        if (!c.file.empty()) {
            EXPECT_EQ(fs::exists(run.dir + "/" + c.file), fs::exists(curlDir / c.file));
            EXPECT_EQ(ReadFile(run.dir + "/" + c.file), ReadFile(curlDir / c.file));
        }
    }
}

class RvfetchTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (Curl().empty()) {
            if (std::getenv("CI") != nullptr) {
                FAIL() << "curl is not installed";
            }
            GTEST_SKIP() << "curl is not installed";
        }
    }
};

// Every option rvfetch shares with curl, one case each (or more where its values differ),
// against the same server: the same status, output and messages.
TEST_F(RvfetchTest, SharedOptionsDoWhatCurlDoes) {
    const Servers servers;
    ASSERT_TRUE(servers.tls.IsListening() && servers.wrongName.IsListening());
    const std::string crlf = "a=1\r\nb=2\n";
    const SideBySide cases[] = {
        // Status and failure: any answer is written without -f.
        {{"{url}/text"}},
        {{"{url}/status/404"}},
        {{"{url}/status/201"}},
        {{"{url}/status/204", "-o", "empty"}, "", "empty"},
        {{"-f", "{url}/status/404", "-o", "none"}, "", "none"},
        {{"-sSf", "{url}/status/404"}},
        {{"-s", "--fail", "{url}/status/500"}},
        {{"-f", "-i", "{url}/status/404"}},
        {{"--fail-with-body", "{url}/status/404"}},
        {{"-f", "{url}/status/201"}},
        // Heads.
        {{"-i", "{url}/text"}},
        {{"-I", "{url}/text"}},
        {{"-D", "-", "-o", "/dev/null", "{url}/text"}},
        {{"-D", "heads", "-L", "{url}/redirect"}, "", "heads"},
        {{"-v", "-s", "-o", "/dev/null", "{url}/status/404"}},
        // What is sent.
        {{"-d", "a=1", "-d", "b=2", "{url}/echo"}},
        {{"-d", "@data", "--data-ascii", "c", "{url}/echo"}, crlf},
        {{"--data-binary", "@-", "{url}/echo"}, crlf},
        {{"--data-raw", "@x", "{url}/echo"}},
        {{"--data-urlencode", "q=a b&c~*", "--data-urlencode", "=x y", "--data-urlencode", "z",
          "-d", "r=1", "{url}/echo"}},
        {{"-G", "-d", "a=1", "--data-urlencode", "b=c d", "{url}/echo?z=0"}},
        {{"--json", "{\"a\":1}", "--json", "[2]", "{url}/echo"}},
        {{"-X", "POST", "{url}/echo"}},
        {{"-d", "@missing", "{url}/echo"}},
        {{"-H", "X-A: 1", "-H", "X-Empty;", "-H", "Content-Type:", "-H", "Accept: text/x", "-d",
          "x", "{url}/echo"}},
        {{"-A", "agent/1", "-e", "http://from/", "-u", "user:pw", "{url}/echo"}},
        // Bodies.
        {{"--compressed", "{url}/gzip"}},
        {{"--compressed", "{url}/zstd"}},
        {{"{url}/gzip", "-o", "raw"}, "", "raw"},
        {{"--compressed", "{url}/bad-gzip"}},
        {{"--max-filesize", "1000", "{url}/big"}},
        {{"--max-filesize", "10k", "{url}/big"}},
        {{"--compressed", "--max-filesize", "2k", "{url}/gzip"}},
        {{"{url}/chunked"}},
        {{"{url}/short"}},
        // Redirects.
        {{"{url}/redirect"}},
        {{"-iL", "{url}/redirect"}},
        {{"-L", "--max-redirs", "2", "{url}/loop"}},
        {{"-L", "-d", "k=v", "{url}/see-other"}},
        {{"-L", "-d", "k=v", "{url}/temporary"}},
        {{"-L", "{url}/a/b/c?to=..%2Fup%3Fx%3D1%23part"}},
        {{"-L", "{url}/a/b/c?to=next"}},
        {{"-L", "{url}/a/b/c?to=%3Fonly"}},
        {{"-L", "{url}/a/b/c?to=HTTP://127.0.0.1:1/./x/../y", "-H", "Authorization: Basic x", "-u",
          "a:b", "--max-redirs", "0"}},
        // Failures.
        {{"{refused}"}},
        {{"-m", "0.5", "{url}/slow"}},
        {{"-m", "0.5", "-o", "/dev/null", "{url}/trickle"}},
        {{"--connect-timeout", "1", "{url}/slow"}},
        {{"--retry", "1", "{url}/busy"}},
        {{"--retry", "1", "--retry-connrefused", "{refused}"}},
        {{"--retry", "1", "-f", "-o", "out", "{url}/busy"}, "", "out"},
        {{"{url}/close"}},
        // TLS trust.
        {{"{tls}/text"}},
        {{"--cacert", "{ca}", "{tls}/text"}},
        {{"--capath", "{capath}", "{tls}/text"}},
        {{"-sk", "{tls}/text"}},
        {{"--cacert", "/no/such/file", "{tls}/text"}},
        {{"--cacert", "{ca}", "{wrong-name}/text"}},
        {{"-x", "{url}", "https://no-tls.invalid/text"}},
        // Outputs, several URLs, -w.
        {{"{url}/text", "{url}/status/404", "--url", "{url}/echo"}},
        {{"{refused}", "{url}/text"}},
        {{"{url}/text", "{refused}"}},
        {{"-o", "one", "{url}/text", "-o", "two", "{url}/big"}, "", "two"},
        {{"--create-dirs", "-o", "a/b/out", "{url}/text"}, "", "a/b/out"},
        {{"-o", "no/such/out", "{url}/text"}},
        {{"-O", "{url}/dir/name.txt?x=1"}, "", "name.txt"},
        {{"-O", "{url}/"}},
        {{"-s", "-o", "/dev/null", "-w",
          "%{http_code} %{size_download} %{url_effective} %{content_type} %{exitcode} "
          "%{num_redirects} %{method} %header{content-length} %% \\t|%{stderr}e\\n",
          "-L", "{url}/redirect"}},
        {{"-w", "%{response_code} %{exitcode} %{foo}\\n", "{refused}"}},
        {{"--no-progress-meter", "-N", "{url}/text"}},
        // Mistakes.
        {{"--bogus", "{url}/text"}},
        {{"{url}/text", "-Z9"}},
        {{"-m"}},
        {{"-m", "abc", "{url}/text"}},
        {{"-m", "-1", "{url}/text"}},
        {{"--max-redirs", "x", "{url}/text"}},
        {{}},
    };
    for (const SideBySide& c : cases) {
        ExpectSameAsCurl(servers, c);
    }
}

// Proxies and a real web server: tinyproxy and nginx (its gzip, its redirects).
TEST_F(RvfetchTest, ProxiesAndRealServersAsCurl) {
    LocalServices services;
    if (!services.Start()) {
        if (std::getenv("CI") != nullptr) {
            FAIL() << services.Problem();
        }
        GTEST_SKIP() << services.Problem();
    }
    const Servers servers;
    const std::string proxy = services.ProxyUrl();
    const std::string web = services.WebUrl("");
    const SideBySide cases[] = {
        {{"-x", proxy, web + "/index.html?via=x"}},
        {{"-x", proxy.substr(7), "-i", web + "/sub/page.txt"}},
        {{"-x", proxy, "--noproxy", "127.0.0.1", web + "/index.html"}},
        {{"-x", "", web + "/index.html"}},
        {{"--compressed", web + "/sub/page.txt"}},
        {{"-L", web + "/moved"}},
        {{"-L", web + "/found"}},
        {{"-L", web + "/elsewhere"}},
        {{"-x", proxy, "-sS", "http://nowhere.invalid/"}},
    };
    for (const SideBySide& c : cases) {
        ExpectSameAsCurl(servers, c);
    }
    EXPECT_NE(services.ProxyLog("via=x").find("via=x"), std::string::npos);
    // The proxy the environment names, and --noproxy past it.
    ScopedEnvironment env;
    env.Set("http_proxy", proxy);
    ExpectSameAsCurl(servers, {{"-sS", "http://nowhere.invalid/"}});
    ExpectSameAsCurl(servers, {{"--noproxy", "*", "-sS", "http://nowhere.invalid/"}});
}

// What rvfetch does on purpose where curl does otherwise, or does not exist in curl.
TEST_F(RvfetchTest, DeparturesAreSaid) {
    const Servers servers;
    const struct {
        Args args;
        int status;
        std::string out;
        std::string says;
        std::string only = "";  // the one backend the case is for
    } cases[] = {
        {{"--compressed", "{url}/echo"},
         0,
         "GET /echo HTTP/1.1\naccept-encoding=gzip, zstd\n\n",
         ""},
        {{"ftp://127.0.0.1/x"}, 1, "", "rvfetch: (1) Protocol \"ftp\" not supported"},
        {{"-I", "-d", "x", "{url}/text"}, 2, "", "option -I: -I sends a HEAD"},
        {{"{url}/verdict"}, 100, "", "rvfetch: (100) the server refused with its RV_Error"},
        {{"--fail-with-body", "{url}/verdict"}, 100, "", "banned"},
        {{"-4", "{url}/text"}, 2, "", "option -4: the library connects to every address"},
        {{"-X", "PUT", "{url}/text"}, 2, "", "option -X: the library sends GET, POST and HEAD"},
        {{"-X", "GET", "-d", "x", "{url}/text"}, 2, "", "sends no body with a GET"},
        {{"-u", "bob", "{url}/text"}, 2, "", "option -u: rvfetch asks for no password"},
        {{"-x", "socks5://h:1", "{url}/text"}, 2, "", "HTTP proxies only"},
        {{"--proxy-user", "a:b", "{url}/text"}, 2, "", "needs a proxy named with -x"},
        {{"-H", "NoColon", "{url}/text"}, 2, "", "option -H: wants 'Name: value'"},
        {{"-H", "X-A: 1\r\nX-B: 2", "{url}/text"}, 2, "", "line break"},
        {{"--backend", "smoke", "{url}/text"}, 2, "", "option --backend"},
        {{"--demo", "{url}/text"}, 2, "", "option --demo: takes no URL"},
        {{"-sSk", "{tls}/text"}, 0, "hello\n", ""},
        {{"-k", "{tls}/text"}, 0, "hello\n", "Warning: -k/--insecure"},
        {{"-X", "HEAD", "{url}/text"}, 0, "", "Consider using -I/--head"},
        {{"--whole", "-i", "{url}/status/404"},
         0,
         "HTTP/1.1 404 Not Found\r\nContent-Type: text/plain\r\nContent-Length: 11\r\n\r\nstatus "
         "404\n",
         ""},
        {{"--whole", "--compressed", "{url}/gzip"}, 0, Sample(), ""},
        {{"--whole", "-f", "--max-filesize", "100", "{url}/big"}, 63, "", "(63)"},
        // The request's head before the answer's, as they crossed.
        {{"-v", "-s", "{url}/text"}, 0, "hello\n", "\r\n> \r\n< HTTP/1.1 200"},
        {{"--whole", "-v", "-s", "{url}/text"}, 0, "hello\n", "\r\n> \r\n< HTTP/1.1 200"},
        {{"--expiry", "-s", "{url}/text"}, 0, "hello\n", "VR_Expired: (none)"},
    };
    for (const std::string& backend : kBackends) {
        for (const auto& c : cases) {
            if (!c.only.empty() && c.only != backend) {
                continue;
            }
            Args args = {"--backend", backend};
            for (const std::string& arg : c.args) {
                args.push_back(servers.Expand(arg));
            }
            SCOPED_TRACE(backend + ": " + ::testing::PrintToString(c.args));
            const Outcome run = Rvfetch(args);
            EXPECT_EQ(run.status, c.status) << run.err;
            EXPECT_EQ(run.out, c.out);
            EXPECT_TRUE(run.Says(c.says)) << run.err;
        }
    }
}

// --backend auto follows the library's probe: the own transport once a proxy is in force
// (the server is left out of it, so the fetch itself goes direct).
TEST_F(RvfetchTest, AutoBackendFollowsTheProbe) {
    const Servers servers;
    const Args args = {"-sv", "-o", "/dev/null", servers.Expand("{url}/text")};
    EXPECT_TRUE(Rvfetch(args).Says("on the curl backend"));
    ScopedEnvironment env;
    env.Set("http_proxy", "http://127.0.0.1:9").Set("no_proxy", "127.0.0.1");
    const Outcome run = Rvfetch(args);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(run.Says("on the inet backend")) << run.err;
}

// Every option and exit status of --help is in the manual page, and the other way round.
TEST_F(RvfetchTest, HelpAndManualPageAgree) {
    const Outcome help = Rvfetch({"--help"});
    ASSERT_EQ(help.status, 0);
    std::string page = ReadFile(RVFETCH_MANUAL);
    page = std::regex_replace(page, std::regex(R"(\\-)"), "-");
    page = std::regex_replace(page, std::regex(R"(\\f[BIR])"), "");
    page = std::regex_replace(page, std::regex(R"(\\\(aq)"), "'");
    const auto found = [](const std::string& text, const std::regex& pattern) {
        std::set<std::string> all;
        for (auto it = std::sregex_iterator(text.begin(), text.end(), pattern);
             it != std::sregex_iterator(); ++it) {
            all.insert((*it)[1]);
        }
        return all;
    };
    const std::regex option(R"((?:^|[\s,\[(])(--?[A-Za-z0-9#][A-Za-z-]*))");
    std::set<std::string> pageOptions = found(page, option);
    for (const char* example : {"-sSL", "-sSfL", "-ofile"}) {
        pageOptions.erase(example);
    }
    EXPECT_EQ(found(help.out, option), pageOptions);
    const std::string helpCodes = help.out.substr(help.out.find("Exit status"));
    const std::string pageCodes = page.substr(page.find(".SH EXIT STATUS"));
    EXPECT_EQ(found(helpCodes, std::regex(R"(\n  (\d+) )")),
              found(pageCodes.substr(0, pageCodes.find(".SH", 4)), std::regex(R"(\.B (\d+)\n)")));
    EXPECT_EQ(Rvfetch({"--version"}).out.rfind("rvfetch ", 0), 0u);
}

// The library's records go to the state folder, or nowhere: never to the terminal, and no
// folder is made where there is no home.
TEST_F(RvfetchTest, RecordsGoToTheStateFolderOrNowhere) {
    TempDir home("rvfetch-state");
    const Servers servers;
    const std::string missing = home / "missing/home";
    const struct {
        std::vector<std::pair<std::string, std::string>> variables;
        std::string folder;  // empty: records dropped
    } cases[] = {
        {{{"HOME", home.Path()}}, home / ".local/state/rvfetch"},
        {{{"XDG_STATE_HOME", home / "xdg"}}, home / "xdg/rvfetch"},
        {{{"XDG_STATE_HOME", "relative"}, {"HOME", home / "h"}}, home / "h/.local/state/rvfetch"},
        {{{"RVUTIL_LOG_DIR", home / "named"}}, home / "named"},
        {{{"HOME", missing}}, ""},
        {{{"XDG_STATE_HOME", missing}}, ""},
    };
    fs::create_directories(home / "xdg");
    fs::create_directories(home / "h");
    for (const auto& c : cases) {
        ScopedEnvironment env;
        for (const auto& [name, value] : c.variables) {
            env.Set(name, value);
        }
        SCOPED_TRACE(c.variables.back().second);
        for (const Args& args : {Args{"-sSf", servers.Expand("{url}/status/404")},
                                 Args{"-v", "-o", "/dev/null", servers.Expand("{url}/text")}}) {
            const Outcome run = Rvfetch(args);
            if (args[0] == "-sSf") {
                EXPECT_EQ(run.err, "rvfetch: (22) The requested URL returned error: 404\n");
            } else {
                EXPECT_EQ(run.Says("records are dropped"), c.folder.empty()) << run.err;
            }
        }
        if (!c.folder.empty()) {
            EXPECT_NE(ReadFolder(c.folder).find("RVUtil_IsUseWinInet Init"), std::string::npos);
        }
    }
    EXPECT_FALSE(fs::exists(home / "missing"));
}

// On a terminal: curl's meter and bar (the same head lines and width), no meter under -s,
// and binary output refused as curl refuses it unless -o - asks for it.
TEST_F(RvfetchTest, TerminalsGetCurlsMeterAndWarnings) {
    const Servers servers;
    const auto onTerminal = [&](const std::string& program, const std::string& args) {
        const std::string command = program + " " + servers.Expand(args);
        TempDir dir;
        const Outcome run = RunIn(dir, {"script", "-qec", command, "/dev/null"});
        return std::make_pair(run.status, run.out);
    };
    const std::string rvfetch = RVFETCH_PATH;
    // The meter's two head lines; the bar's last drawing.
    const auto head = [](const std::string& screen) {
        return screen.substr(0, screen.find('\n', screen.find('\n') + 1));
    };
    const auto last = [](std::string screen) {
        screen.erase(screen.find_last_not_of("\r\n") + 1);
        return screen.substr(screen.rfind('\r') + 1);
    };
    for (const char* args : {"-o out {url}/slow", "-# -o out {url}/big"}) {
        const auto [curlStatus, curlScreen] = onTerminal(Curl(), args);
        const auto [status, screen] = onTerminal(rvfetch, args);
        EXPECT_EQ(status, curlStatus);
        EXPECT_EQ(head(screen), head(curlScreen)) << screen;
        if (args[1] == '#') {
            EXPECT_EQ(last(screen), last(curlScreen)) << screen;
        }
    }
    EXPECT_EQ(onTerminal(rvfetch, "-s -o out {url}/slow").second, "");
    for (const char* args : {"{url}/binary", "-o - {url}/binary", "-s {url}/binary"}) {
        const auto [curlStatus, curlScreen] = onTerminal(Curl(), args);
        const auto [status, screen] = onTerminal(rvfetch, args);
        EXPECT_EQ(status, curlStatus) << args;
        EXPECT_EQ(std::regex_replace(screen, std::regex("rvfetch"), "curl"), curlScreen) << args;
    }
}

// A closed pipe ends the run with 23, as curl's, not with a signal; the body is streamed,
// so the run ends at once rather than after the whole body.
TEST_F(RvfetchTest, ClosedPipeIsAFailedWrite) {
    loopback::Server big([](loopback::ReceivedRequest&&) {
        return std::make_shared<const loopback::Reply>(
            loopback::HttpResponse(200, std::string(64 << 20, 'x')));
    });
    for (const std::string& backend : kBackends) {
        TempDir dir;
        const Outcome run = RunIn(dir, {"/bin/bash", "-c",
                                        "\"$0\" --backend $1 \"$2\" | head -c 10 >/dev/null; "
                                        "exit ${PIPESTATUS[0]}",
                                        RVFETCH_PATH, backend, big.Url("/")});
        EXPECT_EQ(run.status, 23);
        EXPECT_NE(run.err.find("rvfetch: (23) Failure writing output"), std::string::npos)
            << run.err;
    }
}

}  // namespace
}  // namespace rvtest
