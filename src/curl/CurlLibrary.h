#pragma once

#include <curl/curl.h>

// libcurl's functions as the curl fetcher calls them. libcurl is loaded when the first curl
// fetcher is made, not when a host loads RVUtil (see docs/curl-fetcher.md).
namespace RVUtil::curl {

struct CurlLibrary {
    decltype(&::curl_easy_init) easy_init;
    decltype(&::curl_easy_duphandle) easy_duphandle;
    decltype(&::curl_easy_setopt) easy_setopt;
    decltype(&::curl_easy_getinfo) easy_getinfo;
    decltype(&::curl_easy_cleanup) easy_cleanup;
    decltype(&::curl_slist_append) slist_append;
    decltype(&::curl_slist_free_all) slist_free_all;
    decltype(&::curl_multi_init) multi_init;
    decltype(&::curl_multi_add_handle) multi_add_handle;
    decltype(&::curl_multi_perform) multi_perform;
    decltype(&::curl_multi_poll) multi_poll;
    decltype(&::curl_multi_info_read) multi_info_read;
    decltype(&::curl_multi_remove_handle) multi_remove_handle;
    decltype(&::curl_multi_cleanup) multi_cleanup;
    decltype(&::curl_share_init) share_init;
    decltype(&::curl_share_setopt) share_setopt;
    decltype(&::curl_share_cleanup) share_cleanup;
    decltype(&::curl_version_info) version_info;
    decltype(&::curl_easy_strerror) easy_strerror;
};

// Loads libcurl once per process (thread-safe) and returns its functions. When it cannot
// be loaded (not installed, or older than 7.85, which lacks the protocol options the
// fetcher needs), every function is a stand-in that fails: handles come back null and
// calls report CURLE_FAILED_INIT, so no caller needs a test of its own; Init asks
// CurlLibraryLoaded and fails instead.
const CurlLibrary& Curl();
bool CurlLibraryLoaded();

}  // namespace RVUtil::curl
