#pragma once

#include <cstddef>
#include <string>

#include "RVUtil/CStringArray.h"
#include "RVUtil/WinTypes.h"
#include "transport/UrlCracker.h"

namespace RVUtil::transport {
class Request;
}

// What every request form of CRVHttpFetcher does alike before it sends.
namespace RVUtil {

// The longest URL a request takes. A longer one is refused whole, with a log record, rather
// than cut: a cut URL asks the server for something else (its query string lost).
constexpr std::size_t kMaxUrlLength = 64 * 1024;

// A request's URL, canonical and split into what the transport needs.
struct RequestUrl {
    transport::UrlScheme scheme = transport::UrlScheme::Other;
    std::string host;
    unsigned short port = 0;
    std::string path;  // with the query string
};

// Canonicalises and splits url for Request and Request2. False for a null URL and one that
// does not split or is not http or https (nothing logged), and for a URL refused with a log
// record: longer than kMaxUrlLength, holding a control character (CR, LF, NUL, ...) once the
// blanks and line ends around it are dropped, or a blank in its host. Blanks in the path and
// query are sent percent-escaped, so nothing of the URL can split the request line.
bool CrackRequestUrl(const char* url, RequestUrl* out);

// Every request is made from the network, keeps nothing, keeps the connection alive and
// never asks a user. TLS goes by the scheme and the port: an https URL is sent over TLS
// whatever its port, and so is an http URL that names port 443.
DWORD RequestFlagsFor(const RequestUrl& url);

// Adds each name/value pair of headers, in list order, as the line "name: value". A pair the
// transport refuses (a line break in it, put in the list around AddHeader) is left out.
void AddRequestHeaderLines(const CStringArray& headers, transport::Request& request);

}  // namespace RVUtil
