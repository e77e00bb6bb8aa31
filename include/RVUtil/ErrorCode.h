#pragma once

#include <cstdint>

namespace RVUtil {

// Outcome of every read function; the numbers are fixed.
enum ErrorCode : std::int32_t {
    ERR_OK = 0,              // status 200, body obtained (and decoded), no error verdict
    ERR_REQUEST = 1,         // the request itself failed: no usable response
    ERR_HTTP_STATUS = 2,     // a response with a status other than 200
    ERR_DECOMPRESS = 3,      // an encoded body decoded to nothing
    ERR_ALLOC = 4,           // copying the plain body raised
    ERR_SERVER_VERDICT = 5,  // the response carries a non-empty "RV_Error" header
    ERR_INIT = 6,            // a fetcher made for the call failed to initialise
    ERR_NO_FETCHER = 9999,   // no fetcher, or initialising one made for the call raised
};

}  // namespace RVUtil
