#pragma once

#include <curl/curl.h>

#include <string>

#include "RVUtil/Failure.h"

namespace RVUtil::curl {

// What the fetcher knows of a transfer that failed, beside libcurl's code.
struct TransferFacts {
    CURLcode code = CURLE_OK;
    const char* libcurlWords = "";  // libcurl's error buffer; empty when it wrote none
    bool requestSent = false;       // bytes of the request went out
    bool bodyOverLimit = false;     // the body array refused bytes past the body limit
    long long bodyLimit = 0;
    std::string headRefusal;  // why the head reader refused a line (CurlHeadReader)
    Failure delivery;         // why a streamed body's delivery stopped the transfer
};

// The failure of a transfer, as one value: its kind, libcurl's code (or, for a head the
// fetcher refused, CURLE_WEIRD_SERVER_REPLY) and words. The words are libcurl's own where it
// gave any, saying more where the fetcher knows more (the connection closed after the
// request went out, which limit a body passed).
Failure FailureOfTransfer(const TransferFacts& facts);

}  // namespace RVUtil::curl
