#pragma once

#include <limits>
#include <string>

#include "RVUtil/CCurlHttpFetcher.h"
#include "RVUtil/CRVHttpFetcher.h"
#include "RVUtil/CurlReadFunctions.h"
#include "RVUtil/InetReadFunctions.h"
#include "ResponseBody.h"
#include "transport/NameResolver.h"

// The two fetchers and their families of read functions, as type parameters of the suites
// that run both and of the fuzz target that compares them: the functions of each form, and
// where the two differ on purpose. Free of GoogleTest, which the fuzz tree does not have.
namespace rvtest {

using namespace RVUtil;

// The forms' signatures, to pick the overload of a name.
template <class F>
struct FormsOf {
    using Fetcher = F;
    using FullForm = ErrorCode (*)(F*, const char*, unsigned char**, long&, CString&, CTime32*,
                                   unsigned long);
    using ShortForm = ErrorCode (*)(F*, const char*, unsigned char**, long&, unsigned long);
};

struct CurlFamily : FormsOf<CCurlHttpFetcher> {
    static constexpr const char* kName = "curl";
    static constexpr FullForm kFull = &RVUtil_gfnCurlReadHTML;
    static constexpr ShortForm kShort = &RVUtil_gfnCurlReadHTML;
    static constexpr auto kPost = &RVUtil_gfnCurlReadHTMLWithPostData;
    static constexpr auto kOwn = &RVUtil_gfnCurlReadHTMLWithCurlHttpFetcher;
    static constexpr bool kNamesThread = true;
    static constexpr const char* kDecodeFailureMessage = nullptr;  // leaves the text alone
    static constexpr ErrorCode kPostNot200 = ERR_HTTP_STATUS;
    static constexpr bool kLogsPostDecodeFailure = false;

    // Request's result for an exchange that completed with this status.
    static DWORD Completed(int) { return 1; }
    // A status other than 200 is an answer like any other: its body and headers are kept.
    static constexpr bool kKeepsErrorAnswers = true;
    // A second Request without EndRequest replaces the body; EndRequest leaves it.
    static constexpr bool kAppendsBodies = false;
    static constexpr const char* kEmptyPostMethod = "POST";
    // A header of empty value suppresses the header of that name (libcurl's own included).
    static constexpr bool kSendsEmptyValues = false;
    static std::string SentLine(const std::string& name, const std::string& value) {
        return name + ":" + value;
    }
    // libcurl keeps a thread and a descriptor for every lookup it gave up on until the
    // resolver answers, however many there are.
    static constexpr int kAbandonedLookups = std::numeric_limits<int>::max();
    static std::string UnansweredDetail(const std::string&, unsigned long timeout) {
        return "[Curl Error Detail]Resolving timed out after " + std::to_string(timeout) +
               " milliseconds";
    }
};

struct InetFamily : FormsOf<CRVHttpFetcher> {
    static constexpr const char* kName = "rv";
    static constexpr FullForm kFull = &RVUtil_gfnReadHTML;
    static constexpr ShortForm kShort = &RVUtil_gfnReadHTML;
    static constexpr auto kPost = &RVUtil_gfnReadHTMLWithPostData;
    static constexpr auto kOwn = &RVUtil_gfnReadHTMLWithHttpFetcher;
    static constexpr bool kNamesThread = false;
    static constexpr const char* kDecodeFailureMessage = "Decompress size <=0";
    // This fetcher's POST reports any status but 200 as a failed request.
    static constexpr ErrorCode kPostNot200 = ERR_REQUEST;
    static constexpr bool kLogsPostDecodeFailure = true;

    static DWORD Completed(int status) { return static_cast<DWORD>(status); }
    // Any status but 200 keeps neither body nor headers, with an ERROR record.
    static constexpr bool kKeepsErrorAnswers = false;
    // Without EndRequest the next body is appended; EndRequest empties it.
    static constexpr bool kAppendsBodies = true;
    static constexpr const char* kEmptyPostMethod = "GET";
    static constexpr bool kSendsEmptyValues = true;
    static std::string SentLine(const std::string& name, const std::string& value) {
        return name + ": " + value;
    }
    static constexpr int kAbandonedLookups = transport::NameResolver::kMaxAbandoned;
    static std::string UnansweredDetail(const std::string& host, unsigned long timeout) {
        return "[Http Error Detail]timed out after " + std::to_string(timeout) + " ms resolving " +
               host;
    }
};

// Both families as the type list of a suite: Families<::testing::Types>.
template <template <class...> class List>
using Families = List<CurlFamily, InetFamily>;

}  // namespace rvtest
