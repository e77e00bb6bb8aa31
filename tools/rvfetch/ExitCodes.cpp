#include "ExitCodes.h"

namespace rvfetch {

using RVUtil::FailureKind;

const std::vector<ExitCodeMeaning>& ExitCodeMeanings() {
    static const std::vector<ExitCodeMeaning> kTable = {
        {exitcode::kOk, "success: an answer came (any status without -f)"},
        {exitcode::kUnsupportedProtocol, "a scheme other than http and https"},
        {exitcode::kUsage, "bad options, or the fetcher could not be set up"},
        {exitcode::kMalformedUrl, "the URL is malformed"},
        {exitcode::kProxyName, "the proxy's name did not resolve"},
        {exitcode::kHostName, "the host's name did not resolve"},
        {exitcode::kConnect, "could not connect to the host or the proxy"},
        {exitcode::kWeirdReply, "the answer is not HTTP as the library reads it"},
        {exitcode::kPartial, "the body ended before its length or last chunk"},
        {exitcode::kHttpError, "-f, --fail-with-body: a status of 400 or more"},
        {exitcode::kWrite, "the output failed (a closed pipe, binary to a terminal)"},
        {exitcode::kOutOfMemory, "out of memory"},
        {exitcode::kTimeout, "a time-out (-m, --connect-timeout)"},
        {exitcode::kTls, "the TLS handshake failed"},
        {exitcode::kAborted, "the transfer was cancelled"},
        {exitcode::kTooManyRedirects, "more redirects than --max-redirs"},
        {exitcode::kEmptyReply, "the connection closed before any answer"},
        {exitcode::kSend, "the request could not be sent"},
        {exitcode::kReceive, "the connection failed while the answer came"},
        {exitcode::kPeerCertificate, "the certificate is untrusted or for another name"},
        {exitcode::kBadEncoding, "--compressed: the body does not decode"},
        {exitcode::kFileSize, "the body is larger than --max-filesize"},
        {exitcode::kCaFile, "--cacert or --capath cannot be read"},
        {exitcode::kVerdict, "the server refused with an RV_Error verdict"},
    };
    return kTable;
}

int ExitCodeOf(const RVUtil::Failure& failure, bool curlBackend, bool throughProxy) {
    // libcurl's code is curl's exit status where libcurl itself failed; failures the
    // library finds itself (limits, decoding, the receiver) are told by kind.
    const bool curlCode = curlBackend && failure.code > 0 && failure.code < 100;
    switch (failure.kind) {
        case FailureKind::None:
            return exitcode::kOk;
        case FailureKind::RefusedUrl:
            return curlCode ? static_cast<int>(failure.code) : exitcode::kMalformedUrl;
        case FailureKind::RefusedHeader:
            return exitcode::kUsage;
        case FailureKind::NameResolution:
            return curlCode       ? static_cast<int>(failure.code)
                   : throughProxy ? exitcode::kProxyName
                                  : exitcode::kHostName;
        case FailureKind::Connect:
            return exitcode::kConnect;
        case FailureKind::Tls:
            if (curlCode) {
                return static_cast<int>(failure.code);
            }
            // The own transport's numbers for a certificate that chains to no trusted one
            // (12045) or names another host (12038); any other handshake failure is 12175.
            return failure.code == 12045 || failure.code == 12038 ? exitcode::kPeerCertificate
                                                                  : exitcode::kTls;
        case FailureKind::Timeout:
            return exitcode::kTimeout;
        case FailureKind::ConnectionClosed:
            return curlCode ? static_cast<int>(failure.code) : exitcode::kEmptyReply;
        case FailureKind::BodyCutShort:
            return curlCode ? static_cast<int>(failure.code) : exitcode::kPartial;
        case FailureKind::BodyLimit:
            return exitcode::kFileSize;
        case FailureKind::Decoding:
            return exitcode::kBadEncoding;
        case FailureKind::Protocol:
            return curlCode ? static_cast<int>(failure.code) : exitcode::kWeirdReply;
        case FailureKind::HttpStatus:
            return exitcode::kHttpError;
        case FailureKind::Verdict:
            return exitcode::kVerdict;
        case FailureKind::Cancelled:
            return exitcode::kAborted;
        case FailureKind::OutOfMemory:
            return exitcode::kOutOfMemory;
        case FailureKind::Internal:
            return curlCode ? static_cast<int>(failure.code) : exitcode::kUsage;
    }
    return exitcode::kUsage;
}

}  // namespace rvfetch
