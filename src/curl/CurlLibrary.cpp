#include "curl/CurlLibrary.h"

#include <dlfcn.h>

namespace RVUtil::curl {
namespace {

// The shared library's soname: the interface this code was built against.
constexpr const char* kLibcurl = "libcurl.so.4";
// CURLOPT_PROTOCOLS_STR and CURLOPT_REDIR_PROTOCOLS_STR came with 7.85.0.
constexpr unsigned kOldestVersion = 0x075500;

// Stand-ins for a libcurl that could not be loaded.
CURL* NoHandle() {
    return nullptr;
}
CURL* NoDuplicate(CURL*) {
    return nullptr;
}
CURLcode NoEasyCall(CURL*, CURLoption, ...) {
    return CURLE_FAILED_INIT;
}
CURLcode NoInfo(CURL*, CURLINFO, ...) {
    return CURLE_FAILED_INIT;
}
void NoCleanup(CURL*) {}
curl_slist* NoList(curl_slist*, const char*) {
    return nullptr;
}
void NoListFree(curl_slist*) {}
CURLM* NoMulti() {
    return nullptr;
}
CURLMcode NoMultiHandle(CURLM*, CURL*) {
    return CURLM_BAD_HANDLE;
}
CURLMcode NoMultiPerform(CURLM*, int*) {
    return CURLM_BAD_HANDLE;
}
CURLMcode NoMultiPoll(CURLM*, curl_waitfd*, unsigned, int, int*) {
    return CURLM_BAD_HANDLE;
}
CURLMsg* NoMessage(CURLM*, int*) {
    return nullptr;
}
CURLMcode NoMultiCleanup(CURLM*) {
    return CURLM_BAD_HANDLE;
}
CURLSH* NoShare() {
    return nullptr;
}
CURLSHcode NoShareCall(CURLSH*, CURLSHoption, ...) {
    return CURLSHE_INVALID;
}
CURLSHcode NoShareCleanup(CURLSH*) {
    return CURLSHE_INVALID;
}
curl_version_info_data* NoVersion(CURLversion) {
    return nullptr;
}
const char* NoWords(CURLcode) {
    return "libcurl cannot be loaded";
}

constexpr CurlLibrary kUnavailable{
    NoHandle, NoDuplicate,   NoEasyCall,     NoInfo,      NoCleanup, NoList,        NoListFree,
    NoMulti,  NoMultiHandle, NoMultiPerform, NoMultiPoll, NoMessage, NoMultiHandle, NoMultiCleanup,
    NoShare,  NoShareCall,   NoShareCleanup, NoVersion,   NoWords};

template <class Function>
bool Bind(void* library, const char* name, Function* slot) {
    void* symbol = dlsym(library, name);
    if (symbol == nullptr) {
        return false;
    }
    *slot = reinterpret_cast<Function>(symbol);
    return true;
}

struct Loaded {
    CurlLibrary functions = kUnavailable;
    bool available = false;

    Loaded() {
        // Never closed: handles and connections may live until the process ends. Lazy:
        // binding every call of libcurl's thirty-odd libraries at once would cost more than
        // the few that a transfer reaches.
        void* library = dlopen(kLibcurl, RTLD_LAZY | RTLD_LOCAL);
        if (library == nullptr) {
            return;
        }
        CurlLibrary found{};
        const bool complete =
            Bind(library, "curl_easy_init", &found.easy_init) &&
            Bind(library, "curl_easy_duphandle", &found.easy_duphandle) &&
            Bind(library, "curl_easy_setopt", &found.easy_setopt) &&
            Bind(library, "curl_easy_getinfo", &found.easy_getinfo) &&
            Bind(library, "curl_easy_cleanup", &found.easy_cleanup) &&
            Bind(library, "curl_slist_append", &found.slist_append) &&
            Bind(library, "curl_slist_free_all", &found.slist_free_all) &&
            Bind(library, "curl_multi_init", &found.multi_init) &&
            Bind(library, "curl_multi_add_handle", &found.multi_add_handle) &&
            Bind(library, "curl_multi_perform", &found.multi_perform) &&
            Bind(library, "curl_multi_poll", &found.multi_poll) &&
            Bind(library, "curl_multi_info_read", &found.multi_info_read) &&
            Bind(library, "curl_multi_remove_handle", &found.multi_remove_handle) &&
            Bind(library, "curl_multi_cleanup", &found.multi_cleanup) &&
            Bind(library, "curl_share_init", &found.share_init) &&
            Bind(library, "curl_share_setopt", &found.share_setopt) &&
            Bind(library, "curl_share_cleanup", &found.share_cleanup) &&
            Bind(library, "curl_version_info", &found.version_info) &&
            Bind(library, "curl_easy_strerror", &found.easy_strerror);
        if (!complete) {
            return;
        }
        const curl_version_info_data* version = found.version_info(CURLVERSION_NOW);
        if (version == nullptr || version->version_num < kOldestVersion) {
            return;
        }
        functions = found;
        available = true;
    }
};

const Loaded& Library() {
    static const Loaded kLoaded;
    return kLoaded;
}

}  // namespace

const CurlLibrary& Curl() {
    return Library().functions;
}

bool CurlLibraryLoaded() {
    return Library().available;
}

}  // namespace RVUtil::curl
