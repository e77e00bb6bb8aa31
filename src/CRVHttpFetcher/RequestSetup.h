#pragma once

#include "RVUtil/CStringArray.h"
#include "RVUtil/WinTypes.h"

namespace RVUtil::inet {
class Request;
}

// What every request form of CRVHttpFetcher does alike before it sends.
namespace RVUtil {

// Copies at most the first 2047 bytes of url into work (kUrlBufferSize bytes) and ends it.
void CopyWorkingUrl(const char* url, char* work);

// Every request is made from the network, keeps nothing, keeps the connection alive and
// never asks a user; TLS is chosen by the port alone, so an https URL on another port goes
// out in plain HTTP and an http URL naming port 443 goes out over TLS.
DWORD RequestFlagsFor(unsigned short port);

// Adds each name/value pair of headers, in list order, as the line "name: value".
void AddRequestHeaderLines(const CStringArray& headers, inet::Request& request);

}  // namespace RVUtil
