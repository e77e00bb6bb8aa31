#include "Transfer.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <thread>

#include "ExitCodes.h"
#include "Redirect.h"
#include "platform/Ascii.h"

namespace rvfetch {

namespace ascii = RVUtil::ascii;
using RVUtil::FailureKind;
using namespace std::chrono_literals;

namespace {

// curl's longest wait between tries.
constexpr std::chrono::seconds kLongestRetryWait{600};

const char* MethodName(Method method) {
    return method == Method::Post ? "POST" : method == Method::Head ? "HEAD" : "GET";
}

std::string SchemeOf(std::string_view url) {
    const std::size_t end = url.find("://");
    return ascii::Lower(url.substr(0, end == std::string_view::npos ? 0 : end));
}

// The last part of the URL's path, as -O names the file.
std::string RemoteName(std::string_view url) {
    const std::size_t scheme = url.find("://");
    url.remove_prefix(scheme == std::string_view::npos ? 0 : scheme + 3);
    url = url.substr(0, url.find_first_of("?#"));
    const std::size_t slash = url.rfind('/');
    return slash == std::string_view::npos ? std::string() : std::string(url.substr(slash + 1));
}

// The answers curl tries again after: a time-out, too many requests, a server or gateway
// that failed; not for a POST, which reached the server. Retry-After, in seconds, sets the
// wait.
void MarkHttpRetry(Transfer::Ending& ending, const ResponseHead& head, Method method) {
    const int status = head.status;
    if (status != 408 && status != 429 && status != 500 && status != 502 && status != 503 &&
        status != 504) {
        return;
    }
    ending.retryable = method != Method::Post;
    ending.problem = "HTTP error";
    const auto after = head.Header("Retry-After");
    if (after && !after->empty() && after->size() < 9 &&
        std::all_of(after->begin(), after->end(), [](char c) { return ascii::IsDigit(c); })) {
        ending.retryAfter = std::chrono::seconds(std::atol(std::string(*after).c_str()));
    }
}

void WriteStream(int stream, std::string_view text) {
    while (!text.empty()) {
        const ssize_t n = ::write(stream, text.data(), text.size());
        if (n <= 0) {
            return;
        }
        text.remove_prefix(static_cast<std::size_t>(n));
    }
}

// Each line of a head with curl's mark in front ("> " sent, "< " received).
void ShowHead(std::string_view head, const char* mark) {
    std::string shown;
    for (std::size_t start = 0; start < head.size();) {
        const std::size_t lf = head.find('\n', start);
        const std::size_t end = lf == std::string_view::npos ? head.size() : lf + 1;
        shown += mark;
        shown += head.substr(start, end - start);
        if (lf == std::string_view::npos) {
            shown += '\n';
        }
        start = end;
    }
    std::fputs(shown.c_str(), stderr);
}

std::string LocalTime(std::chrono::system_clock::time_point when) {
    const std::time_t t = std::chrono::system_clock::to_time_t(when);
    std::tm local{};
    localtime_r(&t, &local);
    char text[64];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S %Z", &local);
    return text;
}

}  // namespace

Transfer::Transfer(Run& run, std::string url, OutputName output)
    : m_run(run), m_options(run.options), m_url(std::move(url)), m_outputName(std::move(output)) {}

void Warn(std::string_view text) {
    constexpr std::size_t kWidth = 70;
    std::string_view rest = text;
    std::string shown;
    while (!rest.empty()) {
        std::size_t cut = rest.size();
        // curl counts the line end its messages carry, so a line of kWidth is cut too.
        if (rest.size() >= kWidth) {
            cut = rest.rfind(' ', kWidth - 1);
            cut = cut == std::string_view::npos || cut == 0 ? kWidth : cut + 1;
        }
        shown += "Warning: " + std::string(rest.substr(0, cut)) + "\n";
        rest.remove_prefix(cut);
    }
    std::fputs(shown.c_str(), stderr);
}

void Transfer::WarnUnlessSilent(const std::string& text) const {
    if (!m_options.silent) {
        Warn(text);
    }
}

std::chrono::milliseconds Transfer::Remaining() const {
    if (m_options.maxTime.count() == 0) {
        return 0ms;
    }
    const auto spent = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - m_start);
    return std::max(1ms, m_options.maxTime - spent);
}

int Transfer::Perform() {
    m_start = std::chrono::steady_clock::now();
    m_facts.urlGiven = m_url;
    std::string path = m_outputName.path;
    Ending ending;
    if (m_outputName.remote) {
        path = RemoteName(m_url);
        if (path.empty()) {
            ending = {exitcode::kWrite, "the URL names no file for -O/--remote-name"};
        }
    }
    m_output = std::make_unique<Output>(path, m_options.createDirs);
    m_facts.outputName = m_output->IsStandardOutput() ? "" : path;
    const bool toTerminal = m_output->IsStandardOutput() && ::isatty(STDOUT_FILENO) != 0;
    if (!m_options.silent && !m_options.noProgress && ::isatty(STDERR_FILENO) != 0 && !toTerminal) {
        m_progress = std::make_unique<Progress>(m_options.progressBar);
    }
    if (!m_options.caFile.empty() && ::access(m_options.caFile.c_str(), R_OK) != 0) {
        ending = {exitcode::kCaFile, "error setting certificate file: " + m_options.caFile};
    } else if (!m_options.caPath.empty() && ::access(m_options.caPath.c_str(), R_OK | X_OK) != 0) {
        ending = {exitcode::kCaFile, "error setting certificate path: " + m_options.caPath};
    }
    auto wait =
        m_options.retryDelay.count() > 0 ? m_options.retryDelay : std::chrono::milliseconds(1s);
    for (long left = m_options.retries; ending.code == 0; --left) {
        ending = Attempt();
        if (!ending.retryable || left == 0) {
            break;
        }
        const auto pause =
            ending.retryAfter.count() > 0 ? std::chrono::milliseconds(ending.retryAfter) : wait;
        if (m_options.retryMaxTime.count() > 0 &&
            std::chrono::steady_clock::now() + pause - m_start > m_options.retryMaxTime) {
            break;
        }
        Say(ending);
        WarnUnlessSilent(
            "Problem : " + ending.problem + ". Will retry in " +
            std::to_string(std::chrono::duration_cast<std::chrono::seconds>(pause).count()) +
            " seconds. " + std::to_string(left) + " retries left.");
        if (const std::uint64_t thrown = m_output->Rewind(); thrown > 0) {
            if (!m_options.silent) {
                std::fprintf(stderr, "Throwing away %llu bytes\n",
                             static_cast<unsigned long long>(thrown));
            }
        }
        std::this_thread::sleep_for(pause);
        if (m_options.retryDelay.count() == 0) {
            wait = std::min<std::chrono::milliseconds>(wait * 2, kLongestRetryWait);
        }
        ending = Ending{};
    }
    if (m_progress) {
        m_progress->Finish();
    }
    if (ending.code == 0 && m_output->Written() == 0 && !m_output->Touch()) {
        ending = {exitcode::kWrite, m_output->Error()};
    }
    m_facts.exitCode = ending.code;
    m_facts.errorWords = ending.words;
    m_facts.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
    Say(ending);
    if (m_options.writeOut) {
        WriteOut(*m_options.writeOut, m_facts, &WriteStream);
    }
    return ending.code;
}

void Transfer::Say(const Ending& ending) const {
    if (ending.code != 0 && !ending.words.empty() && (!m_options.silent || m_options.showError)) {
        std::fprintf(stderr, "rvfetch: (%d) %s\n", ending.code, ending.words.c_str());
    }
}

Transfer::Ending Transfer::Attempt() {
    std::string url = m_url;
    Method method = m_options.method;
    bool sameOrigin = true;
    m_facts.redirects = 0;
    m_facts.sizeHeader = 0;
    for (;;) {
        if (const std::string scheme = SchemeOf(url); scheme != "http" && scheme != "https") {
            return {exitcode::kUnsupportedProtocol,
                    "Protocol \"" + scheme + "\" not supported: rvfetch fetches http and https"};
        }
        bool redirected = false;
        std::string next;
        Ending ending = FetchOnce(url, method, sameOrigin, redirected, next);
        if (!redirected || ending.code != 0) {
            return ending;
        }
        if (m_options.maxRedirects >= 0 && m_facts.redirects >= m_options.maxRedirects) {
            return {exitcode::kTooManyRedirects,
                    "Maximum (" + std::to_string(m_options.maxRedirects) + ") redirects followed"};
        }
        const RedirectTarget target = ResolveLocation(url, next);
        if (!target.refusal.empty()) {
            return {target.otherScheme ? exitcode::kUnsupportedProtocol : exitcode::kMalformedUrl,
                    target.refusal};
        }
        if (m_options.verbose) {
            std::fprintf(stderr, "* Issue another request to this URL: '%s'\n", target.url.c_str());
        }
        // The person's credentials were meant for the first host only.
        sameOrigin = sameOrigin && SameOrigin(url, target.url);
        if (RedirectDropsBody(m_head.status) && method == Method::Post) {
            method = Method::Get;
        }
        url = target.url;
        ++m_facts.redirects;
    }
}

RVUtil::FetchOptions Transfer::OptionsFor(Method method, bool sameOrigin) const {
    const Options& o = m_options;
    RVUtil::FetchOptions fetch;
    fetch.method = method == Method::Post   ? RVUtil::FetchMethod::Post
                   : method == Method::Head ? RVUtil::FetchMethod::Head
                                            : RVUtil::FetchMethod::Get;
    if (method == Method::Post && o.body) {
        fetch.body = std::as_bytes(std::span(o.body->data(), o.body->size()));
    }
    for (const auto& header : o.headers) {
        if (sameOrigin || (!ascii::EqualsNoCase(header.first, "Authorization") &&
                           !ascii::EqualsNoCase(header.first, "Cookie"))) {
            fetch.headers.push_back(header);
        }
    }
    // A POST turned into a GET by a redirect sends no body and so says nothing of one.
    if (method != Method::Post) {
        std::erase_if(fetch.headers, [](const auto& header) {
            return ascii::EqualsNoCase(header.first, "Content-Type");
        });
    }
    fetch.removedHeaders = o.removedHeaders;
    if (sameOrigin) {
        fetch.credentials = o.credentials;
    }
    // -m bounds the whole request on both fetchers; without it curl has no limit, and the
    // own transport keeps its defaults for each wait.
    fetch.timeout = 0ms;
    fetch.maxTime = Remaining();
    fetch.connectTimeout = o.connectTimeout;
    // --max-filesize counts the body as received: the library counts what it delivers,
    // which is that unless it decodes; a body it decodes is counted here (below).
    if (o.whole) {
        if (o.maxFileSize > 0) {
            fetch.bodyLimit = o.maxFileSize;
        }
    } else {
        fetch.bodyLimit = o.compressed ? 0 : o.maxFileSize;
    }
    fetch.decode = o.compressed;
    fetch.deliverEveryAnswer = true;
    fetch.proxy = o.proxy;
    fetch.noProxy = o.noProxy.value_or("");
    fetch.caFile = o.caFile;
    fetch.caPath = o.caPath;
    fetch.verifyPeer = !o.insecure;
    fetch.keepRequestHead = o.verbose;
    return fetch;
}

Transfer::Ending Transfer::FetchOnce(const std::string& url, Method method, bool sameOrigin,
                                     bool& redirected, std::string& next) {
    m_head = ResponseHead{};
    m_headSeen = m_requestShown = m_redirect = m_drop = m_countDelivered = false;
    m_stop = Stop::None;
    m_delivered = 0;
    m_facts.urlEffective = url;
    m_facts.status = 0;
    m_facts.headers.clear();
    m_facts.method = MethodName(method);
    m_facts.sizeUpload = method == Method::Post && m_options.body ? m_options.body->size() : 0;
    if (m_progress) {
        m_progress->begin(0);
    }
    if (m_options.verbose) {
        std::fprintf(stderr, "* %s %s on the %s backend\n", MethodName(method), url.c_str(),
                     m_run.backend.Name());
    }
    RVUtil::FetchOptions options = OptionsFor(method, sameOrigin);
    // The head is taken as soon as it is complete, so that -i, -D and -v write it before
    // the body, and -f or a verdict stop the transfer before a byte of the body is written.
    // A whole body, or a head whose transfer failed before its body began, is taken from
    // the outcome below.
    if (!m_options.whole) {
        options.onHead = [this](const RVUtil::HeadNotice& notice) {
            ShowRequestHead(notice.requestHead);
            return TakeHead(notice.head);
        };
    }
    const RVUtil::BodySink sink = [this](std::span<const std::byte> piece) {
        return Deliver(piece);
    };
    RVUtil::FetchOutcome outcome =
        m_run.backend.Fetch(url, options, m_options.whole ? nullptr : &sink);
    // A head receiver not called (a whole body, or a transfer that failed before its head
    // was whole) leaves the request's head to the outcome.
    ShowRequestHead(outcome.requestHead);
    if (!m_headSeen && !outcome.responseHead.empty()) {
        TakeHead(outcome.responseHead);
    }
    if (m_options.whole && m_stop == Stop::None && !m_drop && !outcome.body.empty() &&
        (outcome.ok || outcome.failure.kind == FailureKind::HttpStatus ||
         outcome.failure.kind == FailureKind::Verdict)) {
        WriteBody(outcome.body.text());
    }
    m_facts.sizeDownload = m_options.whole ? outcome.body.size() : m_delivered;
    if (m_stop != Stop::None) {
        Ending ending = Stopped(outcome);
        if (m_stop == Stop::HttpError) {
            MarkHttpRetry(ending, m_head, method);
        }
        return ending;
    }
    const FailureKind kind = outcome.failure.kind;
    if (kind != FailureKind::None && kind != FailureKind::HttpStatus &&
        kind != FailureKind::Verdict) {
        Ending ending{ExitCodeOf(outcome.failure, m_run.backend.IsCurl(), m_options.proxyGiven),
                      outcome.failure.words};
        // Transient, as curl counts them; never a POST that may have reached the server.
        const bool reached = kind != FailureKind::NameResolution && kind != FailureKind::Connect;
        ending.retryable = (kind == FailureKind::Timeout || kind == FailureKind::NameResolution ||
                            (kind == FailureKind::Connect && m_options.retryConnRefused)) &&
                           !(method == Method::Post && reached);
        ending.problem = kind == FailureKind::Connect ? "connection refused" : "timeout";
        return ending;
    }
    if (m_redirect) {
        redirected = true;
        next = std::string(m_head.Header("Location").value_or(""));
        return {};
    }
    m_facts.redirectUrl.clear();
    if (IsRedirectStatus(m_head.status) && m_head.Header("Location")) {
        const RedirectTarget target = ResolveLocation(url, *m_head.Header("Location"));
        m_facts.redirectUrl = target.url;
    }
    if (m_options.expiry) {
        std::fprintf(stderr, "VR_Expired: %s\n",
                     outcome.expires ? LocalTime(*outcome.expires).c_str() : "(none)");
    }
    Ending ending;
    const int status = m_head.status;
    MarkHttpRetry(ending, m_head, method);
    if (m_options.failWithBody && status >= 400) {
        ending.code = exitcode::kHttpError;
        ending.words = "The requested URL returned error: " + std::to_string(status);
    }
    return ending;
}

void Transfer::ShowRequestHead(std::string_view raw) {
    if (m_options.verbose && !m_requestShown && !raw.empty()) {
        m_requestShown = true;
        ShowHead(raw, "> ");
    }
}

bool Transfer::TakeHead(std::string_view raw) {
    m_headSeen = true;
    if (m_options.verbose) {
        ShowHead(raw, "< ");
    }
    m_head = ReadResponseHead(raw);
    m_facts.status = m_head.status;
    m_facts.headers = m_head.headers;
    m_facts.sizeHeader += raw.size();
    if (m_run.dumpHeader && !m_run.dumpHeader->Write(raw)) {
        m_stop = Stop::Write;
    }
    if (m_options.include && !m_output->Write(raw)) {
        m_stop = Stop::Write;
    }
    m_redirect =
        m_options.followRedirects && IsRedirectStatus(m_head.status) && m_head.Header("Location");
    const std::optional<std::uint64_t> length = m_head.ContentLength();
    const bool decoded = m_options.compressed && m_head.Header("Content-Encoding");
    if (m_progress) {
        m_progress->begin(decoded ? 0 : length.value_or(0));
    }
    m_drop = m_redirect;
    if (m_redirect || m_stop != Stop::None) {
        return m_stop == Stop::None;
    }
    if (m_options.fail && m_head.status >= 400) {
        m_stop = Stop::HttpError;
    } else if (m_head.HasVerdict() && !(m_options.failWithBody && m_head.status >= 400)) {
        m_stop = Stop::Verdict;
    } else if (m_options.maxFileSize > 0 && length && *length > m_options.maxFileSize) {
        m_stop = Stop::FileSize;
    }
    m_countDelivered = m_options.compressed && !decoded && m_options.maxFileSize > 0;
    return m_stop == Stop::None;
}

bool Transfer::Deliver(std::span<const std::byte> piece) {
    if (m_stop != Stop::None) {
        return false;
    }
    m_delivered += piece.size();
    if (m_drop) {
        return true;
    }
    if (m_countDelivered && m_delivered > m_options.maxFileSize) {
        m_stop = Stop::FileSize;
        return false;
    }
    if (m_progress) {
        m_progress->Add(piece.size());
    }
    return WriteBody({reinterpret_cast<const char*>(piece.data()), piece.size()});
}

bool Transfer::WriteBody(std::string_view bytes) {
    if (m_outputName.path != "-" && m_output->RefusesBinary(bytes)) {
        m_stop = Stop::Binary;
        return false;
    }
    if (!m_output->Write(bytes)) {
        m_stop = Stop::Write;
        return false;
    }
    return true;
}

Transfer::Ending Transfer::Stopped(const RVUtil::FetchOutcome& outcome) const {
    switch (m_stop) {
        case Stop::HttpError:
            return {exitcode::kHttpError,
                    "The requested URL returned error: " + std::to_string(m_head.status)};
        case Stop::Verdict:
            return {exitcode::kVerdict, "the server refused with its RV_Error verdict: " +
                                            std::string(m_head.Header("RV_Error").value_or(""))};
        case Stop::FileSize:
            return {exitcode::kFileSize, "Maximum file size exceeded"};
        case Stop::Binary:
            WarnUnlessSilent(
                "Binary output can mess up your terminal. Use \"--output -\" to tell rvfetch to "
                "output it to your terminal anyway, or consider \"--output <FILE>\" to save to "
                "a file.");
            return {exitcode::kWrite, ""};
        case Stop::Write:
            return {exitcode::kWrite, m_output->Error().empty() && m_run.dumpHeader
                                          ? m_run.dumpHeader->Error()
                                          : m_output->Error()};
        case Stop::None:
            break;
    }
    return {ExitCodeOf(outcome.failure, m_run.backend.IsCurl(), m_options.proxyGiven),
            outcome.failure.words};
}

}  // namespace rvfetch
