#pragma once

#include <string>
#include <vector>

#include <RVUtil/Failure.h>

namespace rvfetch {

// rvfetch's exit statuses: curl's number wherever curl has one for the same failure, and
// numbers of its own from 100 up, beyond curl's, for what only rvfetch knows.
namespace exitcode {
constexpr int kOk = 0;
constexpr int kUnsupportedProtocol = 1;
constexpr int kUsage = 2;  // bad options, or a fetcher that cannot be set up
constexpr int kMalformedUrl = 3;
constexpr int kProxyName = 5;
constexpr int kHostName = 6;
constexpr int kConnect = 7;
constexpr int kWeirdReply = 8;
constexpr int kPartial = 18;
constexpr int kHttpError = 22;
constexpr int kWrite = 23;
constexpr int kOutOfMemory = 27;
constexpr int kTimeout = 28;
constexpr int kTls = 35;
constexpr int kAborted = 42;
constexpr int kTooManyRedirects = 47;
constexpr int kEmptyReply = 52;
constexpr int kSend = 55;
constexpr int kReceive = 56;
constexpr int kPeerCertificate = 60;
constexpr int kBadEncoding = 61;
constexpr int kFileSize = 63;
constexpr int kCaFile = 77;
constexpr int kVerdict = 100;
}  // namespace exitcode

struct ExitCodeMeaning {
    int code;
    const char* meaning;
};

// Every status rvfetch can end with, for --help and the manual page.
const std::vector<ExitCodeMeaning>& ExitCodeMeanings();

// The exit status for a failed fetch. On the curl backend the failure's code is libcurl's,
// which is curl's exit status for the same failure; the own transport's numbers are mapped
// by kind. throughProxy: the fetch went through a proxy named with -x, whose name is then
// the one that did not resolve.
int ExitCodeOf(const RVUtil::Failure& failure, bool curlBackend, bool throughProxy);

}  // namespace rvfetch
