#include "curl/CurlMultiTransfer.h"

#include "curl/CurlLibrary.h"

namespace RVUtil::curl {

namespace {

CURLcode FromMultiCode(CURLMcode code) {
    return code == CURLM_OUT_OF_MEMORY ? CURLE_OUT_OF_MEMORY : CURLE_BAD_FUNCTION_ARGUMENT;
}

}  // namespace

CURLcode PerformOnMulti(CURLM* multi, CURL* transfer) {
    if (multi == nullptr || transfer == nullptr) {
        return CURLE_BAD_FUNCTION_ARGUMENT;
    }
    CURLMcode code = Curl().multi_add_handle(multi, transfer);
    if (code != CURLM_OK) {
        return FromMultiCode(code);
    }
    int running = 1;
    for (;;) {
        code = Curl().multi_perform(multi, &running);
        if (code != CURLM_OK || running == 0) {
            break;
        }
        // libcurl shortens the wait to its own next deadline (time-outs, retries).
        code = Curl().multi_poll(multi, nullptr, 0, 1000, nullptr);
        if (code != CURLM_OK) {
            break;
        }
    }
    // A finished transfer always leaves its message; without one the result stays an error.
    CURLcode result = FromMultiCode(code);
    if (code == CURLM_OK) {
        int queued = 0;
        while (const CURLMsg* message = Curl().multi_info_read(multi, &queued)) {
            if (message->msg == CURLMSG_DONE && message->easy_handle == transfer) {
                result = message->data.result;
            }
        }
    }
    Curl().multi_remove_handle(multi, transfer);
    return result;
}

}  // namespace RVUtil::curl
