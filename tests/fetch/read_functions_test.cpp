// Both families of read functions end to end against a scripted server: codes, messages,
// the body hand-over, the verdict and expiry headers, the request ended on every path, and
// servers that misbehave. The families share one sequence; where they differ the family
// says so.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <ctime>
#include <memory>
#include <new>
#include <span>
#include <string>
#include <tuple>
#include <utility>

#include "AllocationFailure.h"
#include "ChildProcess.h"
#include "CompressedBodies.h"
#include "LocalTime.h"
#include "LogCapture.h"
#include "RVUtil/AfxException.h"
#include "RVUtil/BodyLimit.h"
#include "RVUtil/ExpiredTime.h"
#include "RVUtil/Fetch.h"
#include "RVUtil/ThreadId.h"
#include "RVUtil/ThreadName.h"
#include "ReadFamilies.h"
#include "ScriptedServer.h"
#include "UnansweredResolver.h"

using RVUtil::log::CPXLog;

namespace rvtest {
namespace {

using namespace RVUtil;
using namespace std::chrono_literals;

// What one call left in its out-parameters.
struct Outcome {
    ErrorCode code = ERR_OK;
    std::unique_ptr<unsigned char[]> body;
    bool bodyNull = true;
    long size = -1;
    CString message = "untouched";
    CTime32 expiry{-1};

    std::string Body() const {
        return std::string(reinterpret_cast<const char*>(body.get()), size);
    }
};

template <class Family>
class ReadFunctionsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(m_fetcher.Init());
        SetThreadName(GetCurrentThreadId(), "reader");
    }
    void TearDown() override {
        RVUtil_gfnSetBodyLimit(0);
        ReleaseUnansweredLookups();
    }

    Outcome ReadFull(const std::string& path, bool wantExpiry = false,
                     unsigned long timeout = 5000) {
        Outcome o;
        unsigned char* out = nullptr;
        o.code = Family::kFull(&m_fetcher, m_server.Url(path).c_str(), &out, o.size, o.message,
                               wantExpiry ? &o.expiry : nullptr, timeout);
        o.bodyNull = out == nullptr;
        o.body.reset(out);
        return o;
    }

    ScriptedServer m_server;
    typename Family::Fetcher m_fetcher;
};

TYPED_TEST_SUITE(ReadFunctionsTest, Families<::testing::Types>);

TYPED_TEST(ReadFunctionsTest, NullFetcherTouchesNothing) {
    unsigned char sentinel = 7;
    unsigned char* out = &sentinel;
    long size = 42;
    CString message = "kept";
    CTime32 expiry(5);
    const char* url = "http://127.0.0.1/";
    EXPECT_EQ(TypeParam::kFull(nullptr, url, &out, size, message, &expiry, 1000), ERR_NO_FETCHER);
    EXPECT_EQ(TypeParam::kShort(nullptr, url, &out, size, 1000), ERR_NO_FETCHER);
    EXPECT_EQ(TypeParam::kPost(nullptr, url, &out, size, 1000, &sentinel, 1), ERR_NO_FETCHER);
    EXPECT_EQ(std::tuple(out == &sentinel, size, message.str(), expiry.GetTime()),
              std::tuple(true, 42L, std::string("kept"), std::int64_t{5}));
    EXPECT_EQ(ThreadNameOf(GetCurrentThreadId()), "reader");
}

TYPED_TEST(ReadFunctionsTest, PlainBodyIsHandedOverWithATrailingZero) {
    this->m_server.Enqueue(
        Reply(HttpResponse(200, "hello", {{"VR_Expired", "Exp:2030-06-01 12:00:00 LT"}})));
    const Outcome o = this->ReadFull("/plain", true);
    ASSERT_EQ(o.code, ERR_OK);
    EXPECT_EQ(o.Body(), "hello");
    EXPECT_EQ(o.body[5], 0);
    EXPECT_EQ(o.message, "untouched");
    EXPECT_EQ(o.expiry.GetTime(), RVUtil_gfnGetExpiredTime("Exp:2030-06-01 12:00:00 LT").GetTime());
    // Only the curl full form names its thread (the kernel keeps 15 bytes of the name).
    EXPECT_EQ(ThreadNameOf(GetCurrentThreadId()),
              TypeParam::kNamesThread ? "CurlHttpFetcher" : "reader");
    // The request was ended: the response's headers are gone.
    EXPECT_EQ(this->m_fetcher.FindHeader("VR_Expired"), "");

    // Without the header the expiry is ten seconds ahead.
    this->m_server.Enqueue(Reply(HttpResponse(200, "x")));
    const std::int64_t before = std::time(nullptr);
    const Outcome missing = this->ReadFull("/", true);
    ASSERT_EQ(missing.code, ERR_OK);
    EXPECT_GE(missing.expiry.GetTime(), before + 10);
    EXPECT_LE(missing.expiry.GetTime(), std::time(nullptr) + 10);
}

TYPED_TEST(ReadFunctionsTest, OutcomesOfTheResponse) {
    struct Case {
        const char* name;
        std::string response;
        ErrorCode code;
        const char* message;
        const char* body;  // null: no buffer handed over
        long size;         // -1: the out size untouched
    };
    const std::string text = "decoded text";
    const Bytes plain(text.begin(), text.end());
    const char* decodeFailure =
        TypeParam::kDecodeFailureMessage ? TypeParam::kDecodeFailureMessage : "untouched";
    const Case cases[] = {
        {"204 is not 200", HttpResponse(204, ""), ERR_HTTP_STATUS, "Status = 204!", nullptr, -1},
        {"empty body", HttpResponse(200, ""), ERR_OK, "untouched", "", 0},
        {"verdict 0", HttpResponse(200, "body", {{"RV_Error", "0"}}), ERR_SERVER_VERDICT,
         "RV Error:0!", nullptr, 4},
        {"empty verdict", HttpResponse(200, "body", {{"RV_Error", ""}}), ERR_OK, "untouched",
         "body", 4},
        {"gzip", HttpResponse(200, AsText(Gzip(plain)), {{"Content-Encoding", "gzip"}}), ERR_OK,
         "untouched", "decoded text", 12},
        {"zstd", HttpResponse(200, AsText(Zstd(plain)), {{"Content-Encoding", "zstd"}}), ERR_OK,
         "untouched", "decoded text", 12},
        {"corrupt zstd", HttpResponse(200, "not zstd at all", {{"Content-Encoding", "zstd"}}),
         ERR_DECOMPRESS, decodeFailure, nullptr, -1},
        {"corrupt gzip", HttpResponse(200, "not gzip at all", {{"Content-Encoding", "gzip"}}),
         ERR_DECOMPRESS, decodeFailure, nullptr, -1},
        {"br is handed on", HttpResponse(200, "brbytes", {{"Content-Encoding", "br"}}), ERR_OK,
         "untouched", "brbytes", 7},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        this->m_server.Enqueue(Reply(c.response));
        const Outcome o = this->ReadFull("/x");
        EXPECT_EQ(o.code, c.code);
        EXPECT_EQ(o.message, c.message);
        EXPECT_EQ(o.size, c.size);
        ASSERT_EQ(o.bodyNull, c.body == nullptr);
        if (c.body != nullptr) {
            EXPECT_EQ(o.Body(), c.body);
        }
    }
}

TYPED_TEST(ReadFunctionsTest, ShortPostAndOwnFetcherForms) {
    for (const Reply& reply : {Reply(HttpResponse(200, "short")), Reply(HttpResponse(404, "")),
                               Reply(HttpResponse(200, "posted")),
                               Reply(HttpResponse(200, "not gzip", {{"Content-Encoding", "gzip"}})),
                               Reply(HttpResponse(200, "own")), Reply(HttpResponse(500, ""))}) {
        this->m_server.Enqueue(reply);
    }
    using Got = std::pair<ErrorCode, std::string>;  // the code, and the body ("null": none)
    const auto got = [](ErrorCode code, unsigned char* out, long size) {
        const std::unique_ptr<unsigned char[]> owned(out);
        return Got(code, out ? std::string(reinterpret_cast<char*>(out), size) : "null");
    };
    const std::string url = this->m_server.Url("/");
    unsigned char data[] = "a=1&b=2";
    const auto post = [&](long length) {
        unsigned char* out = nullptr;
        long size = -1;
        const ErrorCode code =
            TypeParam::kPost(&this->m_fetcher, url.c_str(), &out, size, 5000, data, length);
        return got(code, out, size);
    };
    unsigned char* out = nullptr;
    long size = 0;
    const ErrorCode code = TypeParam::kShort(&this->m_fetcher, url.c_str(), &out, size, 5000);
    EXPECT_EQ(got(code, out, size), Got(ERR_OK, "short"));
    EXPECT_EQ(post(7), Got(TypeParam::kPostNot200, "null"));
    EXPECT_EQ(post(7), Got(ERR_OK, "posted"));
    EXPECT_EQ(ThreadNameOf(GetCurrentThreadId()), "reader");
    LogCapture log;
    EXPECT_EQ(post(7), Got(ERR_DECOMPRESS, "null"));
    EXPECT_EQ(log.Contains(CPXLog::LVL_ERROR,
                           "RVUtil_gfnReadHTMLWithPostData Decompress error: cbData=0"),
              TypeParam::kLogsPostDecodeFailure);
    // A length no request can carry fails without a transfer.
    EXPECT_EQ(post(-1), Got(ERR_REQUEST, "null"));
    EXPECT_EQ(post(1L << 40), Got(ERR_REQUEST, "null"));
    EXPECT_EQ(this->m_server.RequestCount(), 4u);

    // The form with a fetcher of its own runs the full form.
    CString message;
    const auto own = [&] {
        out = nullptr;
        const ErrorCode code = TypeParam::kOwn(url.c_str(), &out, size, message, nullptr, 5000);
        return got(code, out, size);
    };
    EXPECT_EQ(own(), Got(ERR_OK, "own"));
    EXPECT_EQ(own(), Got(ERR_HTTP_STATUS, "null"));
    EXPECT_EQ(message, "Status = 500!");
}

// A fetch answers as the read function does for the same exchange (the same code, from the
// same sequence), and tells what the read function cannot: the status and reason, the
// header lines, the verdict, whether an expiry came, the body of a failed answer, and why.
TYPED_TEST(ReadFunctionsTest, FetchGivesTheReadFunctionsCodeAndTheWholeAnswer) {
    struct Case {
        const char* name;
        std::string response;
        FailureKind kind;
        std::string body;  // the outcome's body, also of an answer that failed
        bool post = false;
    };
    const std::string text = "decoded text";
    const Case cases[] = {
        {"plain", HttpResponse(200, "hello", {{"X-A", " spaced "}}, "Fine"), FailureKind::None,
         "hello"},
        {"404 keeps its page", HttpResponse(404, "<h1>gone</h1>", {}, "Not Found"),
         FailureKind::HttpStatus, "<h1>gone</h1>"},
        {"verdict", HttpResponse(200, "refused", {{"RV_Error", "42"}}), FailureKind::Verdict,
         "refused"},
        {"gzip", HttpResponse(200, GzipText(text), {{"Content-Encoding", "gzip"}}),
         FailureKind::None, text},
        {"corrupt zstd", HttpResponse(200, "not zstd", {{"Content-Encoding", "zstd"}}),
         FailureKind::Decoding, "not zstd"},
        {"cut short", "HTTP/1.1 200 OK\r\nContent-Length: 9\r\n\r\nabc", FailureKind::BodyCutShort,
         ""},
        {"expiry", HttpResponse(200, "x", {{"VR_Expired", "Exp:2030-06-01 12:00:00 LT"}}),
         FailureKind::None, "x"},
        {"POST", HttpResponse(200, "posted"), FailureKind::None, "posted", true},
        {"POST answered 500", HttpResponse(500, "oops", {}, "Broken"), FailureKind::HttpStatus,
         "oops", true},
    };
    const std::string url = this->m_server.Url("/o");
    unsigned char order[] = "a=1";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        this->m_server.Enqueue(Reply(c.response).Close());
        this->m_server.Enqueue(Reply(c.response).Close());
        unsigned char* out = nullptr;
        long size = 0;
        CString message;
        CTime32 expiry;
        const ErrorCode code =
            c.post ? TypeParam::kPost(&this->m_fetcher, url.c_str(), &out, size, 5000, order, 3)
                   : TypeParam::kFull(&this->m_fetcher, url.c_str(), &out, size, message, &expiry,
                                      5000);
        delete[] out;
        FetchOptions options;
        options.timeout = std::chrono::milliseconds(5000);
        if (c.post) {
            options.method = FetchMethod::Post;
            options.body = std::as_bytes(std::span(order, 3));
        }
        const FetchOutcome outcome = Fetch(this->m_fetcher, url, options);
        EXPECT_EQ(outcome.code, code);
        EXPECT_EQ(outcome.ok, code == ERR_OK);
        EXPECT_EQ(outcome.failure.kind, c.kind) << outcome.failure.words;
        EXPECT_EQ(outcome.body.text(), c.body);
        EXPECT_EQ(outcome.failure.words.empty(), c.kind == FailureKind::None);
        if (c.kind != FailureKind::BodyCutShort) {
            const int status = std::stoi(c.response.substr(9, 3));
            EXPECT_EQ(outcome.status, status);
            EXPECT_NE(outcome.Header("content-length"), "") << "the header lines as received";
        }
    }
    // What only the outcome tells.
    this->m_server.Enqueue(Reply(HttpResponse(200, "hello", {{"X-A", " spaced "}}, "Fine")));
    const FetchOutcome plain = Fetch(this->m_fetcher, url);
    EXPECT_EQ(std::tuple(plain.reason, plain.Header("X-A"), plain.verdict.has_value(),
                         plain.expires.has_value()),
              std::tuple(std::string("Fine"), std::string_view("spaced"), false, false));
    this->m_server.Enqueue(
        Reply(HttpResponse(200, "x", {{"VR_Expired", "Exp:2030-06-01 12:00:00 LT"}})));
    const FetchOutcome expiring = Fetch(this->m_fetcher, url);
    ASSERT_TRUE(expiring.expires.has_value());
    EXPECT_EQ(std::chrono::system_clock::to_time_t(*expiring.expires),
              RVUtil_gfnGetExpiredTime("Exp:2030-06-01 12:00:00 LT").GetTime());
    // A header the rules refuse fails the fetch before anything goes out.
    const std::size_t before = this->m_server.RequestCount();
    FetchOptions injected;
    injected.headers = {{"X-Bad", "v\r\nHost: evil"}};
    const FetchOutcome refused = Fetch(this->m_fetcher, url, injected);
    EXPECT_EQ(std::pair(refused.code, refused.failure.kind),
              std::pair(ERR_REQUEST, FailureKind::RefusedHeader));
    EXPECT_EQ(this->m_server.RequestCount(), before);
}

// A streaming fetch gives its sink what a whole fetch gives in its body, with the same code,
// and the status and verdict are decided before the first byte reaches the sink; the limit
// counts what is delivered and may be lifted; the sink can cancel.
TYPED_TEST(ReadFunctionsTest, StreamingDeliversWhatAWholeFetchHolds) {
    const std::string text = AsText(TextBytes(300 * 1024));
    const std::string chunked = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
    const std::string gzipTwice = GzipText(text) + GzipText("and more");
    struct Case {
        const char* name;
        std::string response;
        FailureKind kind;
        FetchOptions options = {};
    };
    FetchOptions everyAnswer;
    everyAnswer.deliverEveryAnswer = true;
    FetchOptions small;
    small.bodyLimit = 1000;
    FetchOptions asSent;
    asSent.decode = false;
    const Case cases[] = {
        {"plain", HttpResponse(200, text), FailureKind::None},
        {"chunked", chunked + Chunked(text, 7000), FailureKind::None},
        {"empty", HttpResponse(200, ""), FailureKind::None},
        {"gzip of two members", HttpResponse(200, gzipTwice, {{"Content-Encoding", "gzip"}}),
         FailureKind::None},
        {"zstd", HttpResponse(200, ZstdText(text), {{"Content-Encoding", "zstd"}}),
         FailureKind::None},
        {"gzip as sent", HttpResponse(200, gzipTwice, {{"Content-Encoding", "gzip"}}),
         FailureKind::None, asSent},
        {"corrupt gzip", HttpResponse(200, "not gzip at all", {{"Content-Encoding", "gzip"}}),
         FailureKind::Decoding},
        {"gzip cut at its end",
         HttpResponse(200, GzipText(text).substr(0, 2000), {{"Content-Encoding", "gzip"}}),
         FailureKind::Decoding},
        {"verdict", HttpResponse(200, text, {{"RV_Error", "no"}}), FailureKind::Verdict},
        {"verdict delivered", HttpResponse(200, text, {{"RV_Error", "no"}}), FailureKind::Verdict,
         everyAnswer},
        {"404", HttpResponse(404, text), FailureKind::HttpStatus},
        {"404 delivered", HttpResponse(404, text), FailureKind::HttpStatus, everyAnswer},
        {"over the limit", HttpResponse(200, text), FailureKind::BodyLimit, small},
        {"decoded over the limit",
         HttpResponse(200, GzipText(std::string(5000, 'z')), {{"Content-Encoding", "gzip"}}),
         FailureKind::BodyLimit, small},
    };
    const std::string url = this->m_server.Url("/s");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        this->m_server.Enqueue(Reply(c.response));
        this->m_server.Enqueue(Reply(c.response));
        const FetchOutcome whole = Fetch(this->m_fetcher, url, c.options);
        std::string streamed;
        const FetchOutcome streaming =
            Fetch(this->m_fetcher, url, c.options, [&](std::span<const std::byte> piece) {
                streamed.append(reinterpret_cast<const char*>(piece.data()), piece.size());
                return true;
            });
        EXPECT_EQ(streaming.code, whole.code);
        EXPECT_EQ(streaming.failure.kind, c.kind) << streaming.failure.words;
        EXPECT_EQ(whole.failure.kind, c.kind) << whole.failure.words;
        EXPECT_TRUE(streaming.body.empty());
        EXPECT_EQ(streaming.delivered, streamed.size());
        const bool delivered = c.kind == FailureKind::None || c.options.deliverEveryAnswer;
        if (delivered) {
            EXPECT_TRUE(streamed == whole.body.text()) << streamed.size() << " bytes streamed";
        } else if (c.kind != FailureKind::Decoding && c.kind != FailureKind::BodyLimit) {
            EXPECT_EQ(streamed.size(), 0u) << "a refused answer's body reached the sink";
        }
    }

    // The head's receiver hears of the head before any of the body, with the request's head
    // when asked to keep it, and may cancel.
    for (const bool goOn : {true, false}) {
        this->m_server.Enqueue(Reply(HttpResponse(200, text, {{"X-Mark", "m"}})));
        std::string order;
        FetchOptions heard;
        heard.keepRequestHead = goOn;
        heard.onHead = [&](const HeadNotice& notice) {
            const bool sent =
                notice.requestHead.starts_with("GET /") && notice.requestHead.ends_with("\r\n\r\n");
            order += notice.status == 200 &&
                             notice.head.find("X-Mark: m\r\n") != std::string_view::npos &&
                             sent == goOn
                         ? "head "
                         : "bad head ";
            return goOn;
        };
        const FetchOutcome told =
            Fetch(this->m_fetcher, url, heard, [&](std::span<const std::byte>) {
                order += order.ends_with("body ") ? "" : "body ";
                return true;
            });
        EXPECT_EQ(order, goOn ? "head body " : "head ");
        EXPECT_EQ(told.failure.kind, goOn ? FailureKind::None : FailureKind::Cancelled);
    }
    // ... as soon as the head is whole, even when no byte of the body ever follows.
    this->m_server.Enqueue(Reply("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n").Close());
    int heads = 0;
    FetchOptions counted;
    counted.onHead = [&heads](const HeadNotice&) { return ++heads > 0; };
    const FetchOutcome cut =
        Fetch(this->m_fetcher, url, counted, [](std::span<const std::byte>) { return true; });
    EXPECT_EQ(std::pair(heads, cut.ok), std::pair(1, false));

    // Cancelled by the sink after its first piece.
    this->m_server.Enqueue(Reply(HttpResponse(200, text)));
    std::size_t pieces = 0;
    const FetchOutcome cancelled =
        Fetch(this->m_fetcher, url, {}, [&](std::span<const std::byte>) { return ++pieces < 1; });
    EXPECT_EQ(std::tuple(cancelled.code, cancelled.failure.kind, pieces),
              std::tuple(ERR_REQUEST, FailureKind::Cancelled, std::size_t{1}));

    // A streaming fetch may lift the limit that holds a whole body.
    RVUtil_gfnSetBodyLimit(1000);
    FetchOptions unlimited;
    unlimited.bodyLimit = 0;
    this->m_server.Enqueue(Reply(HttpResponse(200, text)));
    this->m_server.Enqueue(Reply(HttpResponse(200, text)));
    EXPECT_EQ(Fetch(this->m_fetcher, url).failure.kind, FailureKind::BodyLimit);
    const FetchOutcome lifted =
        Fetch(this->m_fetcher, url, unlimited, [](std::span<const std::byte>) { return true; });
    EXPECT_EQ(std::pair(lifted.code, lifted.delivered),
              std::pair(ERR_OK, std::uint64_t{text.size()}));
}

// Fails the allocations of the call from the nth on: every outcome is a defined code (or
// the allocation failure reaching the caller from outside the guarded copy), nothing
// leaks, and the guarded copy's failure is reported as ERR_ALLOC.
TYPED_TEST(ReadFunctionsTest, AllocationFailuresAnywhereInTheCallAreContained) {
    this->m_server.SetDefaultReply(Reply(HttpResponse(200, "some body")));
    const std::string url = this->m_server.Url("/");
    bool sawAllocCode = false;
    for (std::size_t nth = 1; nth <= 400 && !sawAllocCode; ++nth) {
        unsigned char* out = nullptr;
        long size = -1;
        CString message = "untouched";
        ErrorCode code = ERR_OK;
        bool raised = false;
        // A plain call first, so that each armed call starts from the same state (a pooled
        // connection that a failed call dropped is made again here, not in the armed call).
        ASSERT_EQ(TypeParam::kShort(&this->m_fetcher, url.c_str(), &out, size, 5000), ERR_OK);
        delete[] out;
        out = nullptr;
        size = -1;
        {
            FailAllocationsFrom failing(nth);
            try {
                code = TypeParam::kFull(&this->m_fetcher, url.c_str(), &out, size, message, nullptr,
                                        5000);
            } catch (const std::bad_alloc&) {
                raised = true;
            } catch (CException* e) {
                e->Delete();
                raised = true;
            }
        }
        std::unique_ptr<unsigned char[]> owned(out);
        this->m_fetcher.EndRequest();
        if (raised) {
            continue;
        }
        EXPECT_TRUE(code == ERR_OK || code == ERR_REQUEST || code == ERR_ALLOC)
            << nth << ": " << code;
        if (code == ERR_ALLOC) {
            sawAllocCode = true;
            // Every allocation after the refused one fails too, so the message itself may
            // not fit; the code still tells.
            EXPECT_TRUE(message == "Alloc size exception!" || message == "untouched") << message;
            EXPECT_EQ(out, nullptr);
            EXPECT_EQ(size, -1);
        }
    }
    EXPECT_TRUE(sawAllocCode);
}

// Against servers that misbehave on the wire: heads and bodies that trickle, stall, end
// early or lie about their size, bodies without end, and header blocks that are large or end
// their lines in LF alone; and a name the resolver never answers (more of it in
// name_resolution_test.cpp). Whatever the server does, the call ends within a few time-outs,
// never hands a damaged body over as ERR_OK, and stays within the body limit.
constexpr unsigned long kTimeout = 1000;
constexpr long long kSmallLimit = 64 * 1024;

TYPED_TEST(ReadFunctionsTest, EveryResponseEndsInTimeAndNoDamagedBodyIsHandedOver) {
    const std::string text(3000, 't');
    const std::string gzip = GzipText(text);
    const std::string length100 = "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n";
    const std::string chunked = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
    std::string manyHeaders;
    for (int i = 0; i < 200; ++i) {
        manyHeaders += "X-Filler-" + std::to_string(i) + ": " + std::string(40, 'f') + "\r\n";
    }
    Reply interimForEver;
    for (int i = 0; i < 60; ++i) {
        interimForEver.Send("HTTP/1.1 100 Continue\r\n\r\n").Delay(100ms);
    }
    struct Case {
        const char* name;
        Reply reply;
        ErrorCode code;
        std::string body = {};  // for ERR_OK
        std::string url = {};
    };
    const std::string refused = RefusedUrl("/h");
    const Case cases[] = {
        {"connection refused", Reply(), ERR_REQUEST, "", refused},
        {"name never resolved", Reply(), ERR_REQUEST, "",
         std::string("http://x") + kUnansweredDomain + "/h"},
        {"head trickled", Reply().Trickle(length100 + std::string(100, 'a'), 1, 200ms),
         ERR_REQUEST},
        {"100 Continue for ever", interimForEver, ERR_REQUEST},
        {"body trickled", Reply(length100).Trickle(std::string(100, 'a'), 1, 200ms), ERR_REQUEST},
        {"body stalled", Reply(length100 + "abc").Hang(), ERR_REQUEST},
        {"closed before its length", Reply(length100 + "abcde").Close(), ERR_REQUEST},
        {"reset before its length", Reply(length100 + "abcde").Delay(50ms).Reset(), ERR_REQUEST},
        {"chunk size zz", Reply(chunked + "2\r\nok\r\nzz\r\n"), ERR_REQUEST},
        {"chunk size ffffffffffffffff", Reply(chunked + "ffffffffffffffff\r\nabc"), ERR_REQUEST},
        {"closed before the last chunk", Reply(chunked + "2\r\nok\r\n").Close(), ERR_REQUEST},
        {"length 4294967296 (over the limit), 5 bytes sent",
         Reply("HTTP/1.1 200 OK\r\nContent-Length: 4294967296\r\n\r\nabcde").Close(), ERR_REQUEST},
        {"declared length over the limit",
         Reply(HttpResponse(200, std::string(kSmallLimit + 1, 'o'))), ERR_REQUEST},
        {"body over the limit, no length",
         Reply("HTTP/1.0 200 OK\r\n\r\n" + std::string(kSmallLimit + 1, 'o')).Close(), ERR_REQUEST},
        {"chunked body over the limit",
         Reply(chunked + Chunked(std::string(kSmallLimit + 1, 'o'), 5000)), ERR_REQUEST},
        {"body at the limit", Reply(HttpResponse(200, std::string(kSmallLimit, 'o'))), ERR_OK,
         std::string(kSmallLimit, 'o')},
        {"gzip decoding past the limit",
         Reply(HttpResponse(200, GzipText(std::string(4 * kSmallLimit, 'z')),
                            {{"Content-Encoding", "gzip"}})),
         ERR_DECOMPRESS},
        {"verdict behind many headers",
         Reply("HTTP/1.1 200 OK\r\n" + manyHeaders +
               "RV_Error: denied\r\nContent-Length: 4\r\n\r\nbody"),
         ERR_SERVER_VERDICT},
        {"gzip behind many headers",
         Reply(HttpResponse(200, gzip,
                            {{"X-Big", std::string(3000, 'b')}, {"Content-Encoding", "gzip"}})),
         ERR_OK, text},
        {"verdict in a head of LF endings",
         Reply("HTTP/1.1 200 OK\nContent-Length: 4\nX-A: b\nRV_Error: denied\n\nbody"),
         ERR_SERVER_VERDICT},
        {"two differing lengths",
         Reply("HTTP/1.1 200 OK\r\nContent-Length: 5\r\nContent-Length: 10\r\n\r\n0123456789"),
         ERR_REQUEST},
        {"a list of differing lengths",
         Reply("HTTP/1.1 200 OK\r\nContent-Length: 5, 10\r\n\r\n0123456789"), ERR_REQUEST},
        {"a length repeated equal",
         Reply("HTTP/1.1 200 OK\r\nContent-Length: 5\r\nContent-Length: 5, 5\r\n\r\nhello"), ERR_OK,
         "hello"},
        {"verdict and encoding of interim answers",
         Reply("HTTP/1.1 100 Continue\r\nRV_Error: early\r\n\r\n"
               "HTTP/1.1 103 Early Hints\r\nRV_Error: hint\r\nContent-Encoding: gzip\r\n\r\n" +
               HttpResponse(200, "hello")),
         ERR_OK, "hello"},
        {"verdict in a chunked body's trailer",
         Reply(chunked + "5\r\nhello\r\n0\r\nRV_Error: late\r\n\r\n"), ERR_OK, "hello"},
        {"gzip in a head of mixed endings",
         Reply("HTTP/1.1 200 OK\nContent-Encoding: gzip\r\nContent-Length: " +
               std::to_string(gzip.size()) + "\n\r\n" + gzip),
         ERR_OK, text},
    };
    RVUtil_gfnSetBodyLimit(kSmallLimit);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        this->m_server.Clear();
        this->m_server.Enqueue(c.reply);
        unsigned char* out = nullptr;
        long size = -1;
        CString message;
        const auto start = std::chrono::steady_clock::now();
        const std::string url = c.url.empty() ? this->m_server.Url("/h") : c.url;
        const LogCapture log;
        const ErrorCode code =
            TypeParam::kFull(&this->m_fetcher, url.c_str(), &out, size, message, nullptr, kTimeout);
        EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
        EXPECT_EQ(code, c.code);
        // Whichever limit ends a request, as the body arrives or as it is decoded, says so.
        const auto records = log.Records();
        EXPECT_EQ(std::string(c.name).find("limit") != std::string::npos && c.code != ERR_OK,
                  std::any_of(records.begin(), records.end(), [](const LogRecord& r) {
                      return r.text.rfind("[Body Limit]", 0) == 0;
                  }));
        if (code == ERR_OK) {
            EXPECT_TRUE(std::string(reinterpret_cast<const char*>(out), size) == c.body)
                << "a body of " << size << " bytes, not the one sent";
        } else {
            EXPECT_EQ(out, nullptr);
        }
        if (c.code == ERR_REQUEST) {
            EXPECT_EQ(message, "Request error! Timeout=1000");
            EXPECT_EQ(size, -1);
        }
        delete[] out;
    }
}

// A body without end fails at the limit, and the process never holds much more than the
// limit (measured in a child process as the growth of its peak resident size). The limit is
// above the C library's largest heap block, as the default is: below it, a growing block
// may be copied, so a few MiB can cost twice their size for a moment.
TYPED_TEST(ReadFunctionsTest, AnEndlessBodyFailsWithinTheMemoryOfItsLimit) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "the sanitizers' allocators copy on every growth and keep freed memory";
#endif
    constexpr long long kLimit = 64LL << 20;
    const std::string endless(kLimit + (1 << 20), 'e');
    std::string chunked = Chunked(endless, 64 * 1024);
    chunked.resize(chunked.size() - 5);  // no last chunk
    const Reply replies[] = {
        Reply("HTTP/1.0 200 OK\r\n\r\n" + endless).Close(),
        Reply("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n" + chunked).Close()};
    for (const Reply& reply : replies) {
        this->m_server.Enqueue(reply);
        const pid_t pid = fork();
        if (pid == 0) {
            RVUtil_gfnSetBodyLimit(kLimit);
            WriteFile("/proc/self/clear_refs", "5");  // the peak starts from here
            const long rssKiB = PeakResidentKiB();
            unsigned char* out = nullptr;
            long size = 0;
            CString message;
            const ErrorCode code =
                TypeParam::kFull(&this->m_fetcher, this->m_server.Url("/endless").c_str(), &out,
                                 size, message, nullptr, 10000);
            const long long grownBytes = (PeakResidentKiB() - rssKiB) * 1024LL;
            _exit(code != ERR_REQUEST ? 1 : grownBytes > kLimit * 16 / 10 ? 2 : 0);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0) << "1: not ERR_REQUEST, 2: peak over 1.6 x the limit";
    }
}

// Memory, measured in a child process as the growth of its peak resident size: a streamed
// body of 1 GiB adds at most 16 MiB, and a whole body of 64 MiB is held once (the read
// function hands over the block it arrived in, within 16 MiB of the body's size).
TYPED_TEST(ReadFunctionsTest, StreamsInConstantMemoryAndHoldsAWholeBodyOnce) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "the sanitizers' allocators keep freed memory and add shadow memory";
#endif
    constexpr long long kMiB = 1 << 20;
    constexpr std::size_t kStreamed = std::size_t{1} << 30;
    constexpr long kWhole = 64 << 20;
    this->m_server.Enqueue(
        Reply("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(kStreamed) + "\r\n\r\n")
            .Repeat("streamed body ", kStreamed));
    this->m_server.Enqueue(
        Reply("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(kWhole) + "\r\n\r\n")
            .Repeat("whole body ", kWhole));
    const std::string url = this->m_server.Url("/big");
    const pid_t pid = fork();
    if (pid == 0) {
        WriteFile("/proc/self/clear_refs", "5");
        long start = PeakResidentKiB();
        FetchOptions unlimited;
        unlimited.bodyLimit = 0;
        unlimited.timeout = std::chrono::milliseconds(60000);
        const FetchOutcome streamed =
            Fetch(this->m_fetcher, url, unlimited, [](std::span<const std::byte>) { return true; });
        const long long streamGrowth = (PeakResidentKiB() - start) * 1024;
        WriteFile("/proc/self/clear_refs", "5");
        start = PeakResidentKiB();
        unsigned char* out = nullptr;
        long size = 0;
        CString message;
        const ErrorCode code =
            TypeParam::kFull(&this->m_fetcher, url.c_str(), &out, size, message, nullptr, 60000);
        const long long wholeGrowth = (PeakResidentKiB() - start) * 1024;
        delete[] out;
        _exit(streamed.delivered != kStreamed || code != ERR_OK || size != kWhole ? 1
              : streamGrowth > 16 * kMiB                                          ? 2
              : wholeGrowth > kWhole + 16 * kMiB                                  ? 3
                                                                                  : 0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0)
        << "1: a transfer failed, 2: streaming grew past 16 MiB, 3: the whole body was held twice";
}

// Reading "VR_Expired" texts: the fixed layout, the range checks, the 2038 clamp and the
// "now + 10 s" answer for anything unreadable.
TEST(ExpiredTimeTest, ReadsTheFixedLayoutOrAnswersNowPlusTen) {
    const auto read = [](const char* text) { return RVUtil_gfnGetExpiredTime(text).GetTime(); };
    const std::pair<const char*, std::int64_t> cases[] = {
        // Any separator; letters and padding in the time fields read as zero.
        {"Exp:2026-12-04 10:20:30 LT", LocalTime(2026, 12, 4, 10, 20, 30)},
        {"????2026/12/04 10:20:30xyz", LocalTime(2026, 12, 4, 10, 20, 30)},
        {"abcd2000-01-01 00:00:00   ", LocalTime(2000, 1, 1, 0, 0, 0)},
        {"abcd2026-12-04 xx:yy:zz LT", LocalTime(2026, 12, 4, 0, 0, 0)},
        {"abcd2026-12-04  9:20:30 LT", LocalTime(2026, 12, 4, 0, 20, 30)},
        // A digit in a separator's place runs into the field before it, as the C library
        // reads numbers: "057" is still a second, 2026112 a year clamped into 2038.
        {"abcd2026-12-04 10:20:057LT", LocalTime(2026, 12, 4, 10, 20, 57)},
        {"abcd2026112-04 10:20:30 LT", LocalTime(2038, 1, 4, 10, 20, 30)},
        // Late dates are clamped into early 2038; days past a month's end roll over.
        {"abcd2038-06-30 12:00:00 LT", LocalTime(2038, 1, 17, 12, 0, 0)},
        {"abcd2040-01-05 08:00:00 LT", LocalTime(2038, 1, 5, 8, 0, 0)},
        {"abcd2037-12-31 23:59:59 LT", LocalTime(2037, 12, 31, 23, 59, 59)},
        {"abcd2026-02-30 00:00:00 LT", LocalTime(2026, 3, 2, 0, 0, 0)},
    };
    for (const auto& [text, want] : cases) {
        EXPECT_EQ(read(text), want) << text;
    }
    // Not 26 characters, or a field out of its range ("99...9" saturates, negative as an int).
    for (const char* text :
         {"", "abc2026-12-04 10:20:30 LT", "abcde2026-12-04 10:20:30 LT",
          "abcd1999-12-04 10:20:30 LT", "abcd2026-00-04 10:20:30 LT", "abcd2026-13-04 10:20:30 LT",
          "abcd2026-12-00 10:20:30 LT", "abcd2026-12-32 10:20:30 LT", "abcd2026-12-04 24:20:30 LT",
          "abcd2026-12-04 10:60:30 LT", "abcd2026-12-04 10:20:60 LT", "abcd2026-ab-04 10:20:30 LT",
          "abcd2026-12- 4 10:20:30 LT", "abcd2026-12-04 10:20:307LT",
          "abcd99999999999999999999LT"}) {
        const std::int64_t before = std::time(nullptr);
        const std::int64_t got = read(text);
        EXPECT_GE(got, before + 10) << text;
        EXPECT_LE(got, std::time(nullptr) + 10) << text;
    }
}

}  // namespace
}  // namespace rvtest
