// Both families of read functions end to end against a scripted server: codes, messages,
// the body hand-over, the verdict headers, and the request ended on every path. The
// families share one sequence; where they differ the family says so.
#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <new>
#include <string>

#include "AllocationFailure.h"
#include "CompressedBodies.h"
#include "LogCapture.h"
#include "RVUtil/AfxException.h"
#include "RVUtil/ExpiredTime.h"
#include "RVUtil/ThreadId.h"
#include "RVUtil/ThreadName.h"
#include "ReadFamilies.h"
#include "ScriptedServer.h"

namespace rvtest {
namespace {

using namespace RVUtil;

std::string ThreadName() {
    std::ifstream comm("/proc/self/task/" + std::to_string(GetCurrentThreadId()) + "/comm");
    std::string name;
    std::getline(comm, name);
    return name;
}

std::string AsText(const Bytes& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

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

    Outcome ReadFull(const std::string& path, bool wantExpiry = false,
                     unsigned long timeout = 5000) {
        Outcome o;
        unsigned char* out = nullptr;
        o.code = Family::Full(&m_fetcher, m_server.Url(path).c_str(), &out, o.size, o.message,
                              wantExpiry ? &o.expiry : nullptr, timeout);
        o.bodyNull = out == nullptr;
        o.body.reset(out);
        return o;
    }

    ScriptedServer m_server;
    typename Family::Fetcher m_fetcher;
};

TYPED_TEST_SUITE(ReadFunctionsTest, Families);

TYPED_TEST(ReadFunctionsTest, NullFetcherTouchesNothing) {
    unsigned char sentinel = 7;
    unsigned char* out = &sentinel;
    long size = 42;
    CString message = "kept";
    CTime32 expiry(5);
    const char* url = "http://127.0.0.1/";
    EXPECT_EQ(TypeParam::Full(nullptr, url, &out, size, message, &expiry, 1000), ERR_NO_FETCHER);
    EXPECT_EQ(TypeParam::Short(nullptr, url, &out, size, 1000), ERR_NO_FETCHER);
    EXPECT_EQ(TypeParam::Post(nullptr, url, &out, size, 1000, &sentinel, 1), ERR_NO_FETCHER);
    EXPECT_EQ(out, &sentinel);
    EXPECT_EQ(size, 42);
    EXPECT_EQ(message, "kept");
    EXPECT_EQ(expiry.GetTime(), 5);
    EXPECT_EQ(ThreadName(), "reader");
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
    EXPECT_EQ(ThreadName(), TypeParam::kNamesThread ? "CurlHttpFetcher" : "reader");
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
        {"404", HttpResponse(404, "page"), ERR_HTTP_STATUS, "Status = 404!", nullptr, -1},
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
    this->m_server.Enqueue(Reply(HttpResponse(200, "short")));
    this->m_server.Enqueue(Reply(HttpResponse(404, "")));
    this->m_server.Enqueue(Reply(HttpResponse(200, "posted")));
    unsigned char* out = nullptr;
    long size = 0;
    ASSERT_EQ(TypeParam::Short(&this->m_fetcher, this->m_server.Url("/").c_str(), &out, size, 5000),
              ERR_OK);
    std::unique_ptr<unsigned char[]> owned(out);
    EXPECT_EQ(size, 5);

    unsigned char data[] = "a=1&b=2";
    out = nullptr;
    EXPECT_EQ(TypeParam::Post(&this->m_fetcher, this->m_server.Url("/post").c_str(), &out, size,
                              5000, data, 7),
              TypeParam::kPostNot200);
    EXPECT_EQ(out, nullptr);
    ASSERT_EQ(TypeParam::Post(&this->m_fetcher, this->m_server.Url("/post").c_str(), &out, size,
                              5000, data, 7),
              ERR_OK);
    owned.reset(out);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(out), size), "posted");
    EXPECT_EQ(ThreadName(), "reader");
    // A length no request can carry fails without a transfer.
    const std::string url = this->m_server.Url("/");
    EXPECT_EQ(TypeParam::Post(&this->m_fetcher, url.c_str(), &out, size, 5000, data, -1),
              ERR_REQUEST);
    EXPECT_EQ(TypeParam::Post(&this->m_fetcher, url.c_str(), &out, size, 5000, data, 1L << 40),
              ERR_REQUEST);
    EXPECT_EQ(this->m_server.RequestCount(), 3u);

    // The form with a fetcher of its own runs the full form.
    this->m_server.Enqueue(Reply(HttpResponse(200, "own")));
    this->m_server.Enqueue(Reply(HttpResponse(500, "")));
    CString message;
    ASSERT_EQ(TypeParam::Own(url.c_str(), &out, size, message, nullptr, 5000), ERR_OK);
    owned.reset(out);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(out), size), "own");
    EXPECT_EQ(TypeParam::Own(url.c_str(), &out, size, message, nullptr, 5000), ERR_HTTP_STATUS);
    EXPECT_EQ(message, "Status = 500!");
}

TYPED_TEST(ReadFunctionsTest, PostFormLogsADecodeFailureWhereItsFamilyDoes) {
    this->m_server.Enqueue(Reply(HttpResponse(200, "not gzip", {{"Content-Encoding", "gzip"}})));
    LogCapture log;
    unsigned char data[] = "x";
    unsigned char* out = nullptr;
    long size = -1;
    EXPECT_EQ(TypeParam::Post(&this->m_fetcher, this->m_server.Url("/").c_str(), &out, size, 5000,
                              data, 1),
              ERR_DECOMPRESS);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(log.Contains(CPXLog::LVL_ERROR,
                           "RVUtil_gfnReadHTMLWithPostData Decompress error: cbData=0"),
              TypeParam::kLogsPostDecodeFailure);
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
        ASSERT_EQ(TypeParam::Short(&this->m_fetcher, url.c_str(), &out, size, 5000), ERR_OK);
        delete[] out;
        out = nullptr;
        size = -1;
        {
            FailAllocationsFrom failing(nth);
            try {
                code = TypeParam::Full(&this->m_fetcher, url.c_str(), &out, size, message, nullptr,
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

}  // namespace
}  // namespace rvtest
