#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// The bytes of an HTTP/1.1 request head, built from what a request was given.
namespace RVUtil::transport {

struct RequestHeadFields {
    std::string_view verb;
    std::string_view target;         // origin form "/p?q", or absolute form through a proxy
    std::string_view host;           // value of the Host line
    std::string_view authorization;  // value of an Authorization line, empty for none
    std::string_view proxyAuthorization;
    std::string_view extraLines;  // the caller's header lines, each ended by CR LF
    std::optional<std::size_t> contentLength;
    bool keepConnection = true;
};

// Request line, Host, the credentials, the caller's lines in their order, Content-Length
// and, without keep-alive, "Connection: close"; then the empty line. A caller's Host or
// Authorization line takes the place of the transport's own; a caller's Content-Length or
// Transfer-Encoding line is left out, because the transport frames the body itself.
std::string BuildRequestHead(const RequestHeadFields& fields);

// "Basic " and the base64 form of user:password.
std::string BasicCredentials(std::string_view user, std::string_view password);

// The request target for a cracked path: the fragment is dropped (it never goes to a
// server), and blanks and control bytes, which would break the request line, are
// percent-escaped. Everything else goes as written.
std::string RequestTargetOf(std::string_view path);

// Appends line to lines, ended by CR LF unless it already is.
void AppendHeaderLine(std::string& lines, std::string_view line);

}  // namespace RVUtil::transport
