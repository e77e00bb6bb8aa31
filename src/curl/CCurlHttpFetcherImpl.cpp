// Life cycle of the handles: Init and the options every transfer starts from, Fini and
// cancellation, proxies, and the progress and close-socket callbacks.
#include "curl/CCurlHttpFetcherImpl.h"
#include "curl/CurlLibrary.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cxxabi.h>

#include <stdexcept>
#include <string>

#include "platform/SystemProxy.h"
#include "platform/TrustStore.h"

namespace RVUtil::curl {

namespace {

// The one exception Init lets out, whatever went wrong inside it. Hosts catch it as char*.
char s_curlInitFail[] = "Curl Init Fail";

constexpr const char* kWebSchemes = "http,https";

// Serialises the creation and configuration of easy handles across all fetchers of the
// process. A function-local static: built thread-safely by the first Init, gone at unload.
CCriticalSection& InitLock() {
    static CCriticalSection lock;
    return lock;
}

}  // namespace

CCurlHttpFetcherImpl::CCurlHttpFetcherImpl() = default;

CCurlHttpFetcherImpl::~CCurlHttpFetcherImpl() {
    // Wait for an operation of another thread to leave before the lock goes away. The
    // handle is not touched: the facade has already run Fini.
    m_lock.Lock();
    m_lock.Unlock();
}

BOOL CCurlHttpFetcherImpl::Init() {
    try {
        CSingleLock initLock(&InitLock(), TRUE);
        CSingleLock lock(&m_lock, TRUE);
        if (m_initialized) {
            return FALSE;
        }
        // Without libcurl there is no fetcher to make: Init fails, as it does for any
        // fault inside it.
        if (!CurlLibraryLoaded()) {
            throw std::runtime_error("libcurl cannot be loaded");
        }
        // Handles left behind by an Init that failed half-way are not leaked.
        ReleaseHandles();
        const bool reopening = m_closed;
        // A null handle is not detected here: every later request then fails with
        // CURLE_BAD_FUNCTION_ARGUMENT and is logged. Without the share object transfers
        // only lose TLS session resumption.
        m_curl = Curl().easy_init();
        m_multi = Curl().multi_init();
        m_share = Curl().share_init();
        Curl().share_setopt(m_share, CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION);
        ApplySystemProxy(m_curl);

        ConfigureHandle();

        // Fini keeps the request header pairs and the gzip setting while the new handle
        // carries neither. A fetcher coming back from Fini therefore gets both re-applied,
        // so that the flag IsEncoding reads always matches what the handle does. The first
        // Init after construction installs nothing: headers added before it reach the handle
        // with the next AddHeader or RemoveHeader, as for any fetcher not yet initialised.
        if (reopening) {
            if (m_curlDecodesGzip) {
                Curl().easy_setopt(m_curl, CURLOPT_ACCEPT_ENCODING, "gzip");
            }
            if (!m_requestHeaders.empty()) {
                InstallRequestHeaders(m_requestHeaders);
            }
        }

        m_httpStatus = 0;
        m_initialized = TRUE;
        m_closed = FALSE;
        m_abort = 0;
        return TRUE;
    } catch (abi::__forced_unwind&) {
        throw;  // thread cancellation must pass
    } catch (...) {
        throw s_curlInitFail;
    }
}

void CCurlHttpFetcherImpl::ConfigureHandle() {
    Curl().easy_setopt(m_curl, CURLOPT_HEADER, 0L);
    Curl().easy_setopt(m_curl, CURLOPT_WRITEDATA, &m_bodyReceiver);
    // The head reader fills m_rawHeaders with the final response's head; its end
    // begins a streaming fetch's delivery.
    Curl().easy_setopt(m_curl, CURLOPT_HEADERDATA, this);
    Curl().easy_setopt(m_curl, CURLOPT_HTTP_CONTENT_DECODING, 1L);
    Curl().easy_setopt(m_curl, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_NONE));
    Curl().easy_setopt(m_curl, CURLOPT_NOPROGRESS, 0L);
    // The older progress interface is the one whose user pointer is the abort word; it
    // is deprecated but present in every libcurl this builds against.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    Curl().easy_setopt(m_curl, CURLOPT_PROGRESSDATA, &m_abort);
    Curl().easy_setopt(m_curl, CURLOPT_WRITEFUNCTION, &CCurlHttpFetcherImpl::OnWriteBody);
    Curl().easy_setopt(m_curl, CURLOPT_HEADERFUNCTION, &CCurlHttpFetcherImpl::OnWriteHeader);
    Curl().easy_setopt(m_curl, CURLOPT_PROGRESSFUNCTION, &CCurlHttpFetcherImpl::OnProgress);
#pragma GCC diagnostic pop
    Curl().easy_setopt(m_curl, CURLOPT_CLOSESOCKETFUNCTION, &CCurlHttpFetcherImpl::OnCloseSocket);
    // Only the web: a file, gopher or dict URL (given, or named by a redirect) would read
    // local files or write raw bytes to local services.
    Curl().easy_setopt(m_curl, CURLOPT_PROTOCOLS_STR, kWebSchemes);
    Curl().easy_setopt(m_curl, CURLOPT_REDIR_PROTOCOLS_STR, kWebSchemes);
    // libcurl leaves the process's SIGPIPE setting alone; see docs/curl-fetcher.md.
    Curl().easy_setopt(m_curl, CURLOPT_NOSIGNAL, 1L);
    // A proxy's answer to CONNECT is the tunnel's, not the server's: like the own
    // transport, the fetcher keeps only the server's response head.
    Curl().easy_setopt(m_curl, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
    // The trust store the administrator named, as the own transport reads it; libcurl's
    // defaults otherwise.
    const platform::TrustStoreLocations trust = platform::ReadTrustStoreLocations();
    if (!trust.file.empty()) {
        Curl().easy_setopt(m_curl, CURLOPT_CAINFO, trust.file.c_str());
    }
    if (!trust.dir.empty()) {
        Curl().easy_setopt(m_curl, CURLOPT_CAPATH, trust.dir.c_str());
    }
}

void CCurlHttpFetcherImpl::Fini() {
    // Before the lock: a transfer on another thread holds it and stops at its next progress
    // report, after which this call gets the lock and releases the handle.
    m_abort = 1;
    CSingleLock lock(&m_lock, TRUE);
    if (m_closed) {
        return;
    }
    ReleaseHandles();
    if (m_headerList != nullptr) {
        Curl().slist_free_all(m_headerList);
        m_headerList = nullptr;
    }
    m_body.Release();
    m_rawHeaders.Release();
    m_headIndex.Clear();
    m_closed = TRUE;
    m_initialized = FALSE;
}

void CCurlHttpFetcherImpl::ReleaseHandles() {
    // The multi handle closes the cached connections; the share object goes last, once no
    // easy handle uses it.
    if (m_multi != nullptr) {
        Curl().multi_cleanup(m_multi);
        m_multi = nullptr;
    }
    if (m_curl != nullptr) {
        Curl().easy_cleanup(m_curl);
        m_curl = nullptr;
    }
    if (m_share != nullptr) {
        Curl().share_cleanup(m_share);
        m_share = nullptr;
    }
}

BOOL CCurlHttpFetcherImpl::IsInit() {
    return m_initialized;
}

void CCurlHttpFetcherImpl::SetProxy(const char* host, WORD port) {
    CSingleLock lock(&m_lock, TRUE);
    if (m_closed) {
        return;
    }
    Curl().easy_setopt(m_curl, CURLOPT_PROXY, host);
    Curl().easy_setopt(m_curl, CURLOPT_PROXYPORT, static_cast<long>(port));
}

void CCurlHttpFetcherImpl::SetNoProxy(const char* hosts) {
    CSingleLock lock(&m_lock, TRUE);
    if (m_closed) {
        return;
    }
    Curl().easy_setopt(m_curl, CURLOPT_NOPROXY, hosts);
}

// The system proxy comes from the platform's proxy settings (the conventional proxy
// environment variables), read once per Init. Any failure leaves the handle without a
// proxy, or with the proxy but without credentials, and is not reported.
void CCurlHttpFetcherImpl::ApplySystemProxy(CURL* handle) {
    try {
        const platform::SystemProxySettings settings = platform::ReadSystemProxy();
        const platform::ProxyServer* proxy = settings.Named();
        if (proxy == nullptr) {
            return;
        }
        // scheme://host:port without the user info: the credentials follow separately.
        const std::string address = proxy->Address();
        if (Curl().easy_setopt(handle, CURLOPT_PROXY, address.c_str()) != CURLE_OK) {
            return;
        }
        if (proxy->user.empty()) {
            return;
        }
        if (proxy->user.find(':') == std::string::npos) {
            const std::string userPassword = proxy->user + ":" + proxy->password;
            Curl().easy_setopt(handle, CURLOPT_PROXYUSERPWD, userPassword.c_str());
        } else {
            // A joined "user:password" would be cut at the name's own colon.
            Curl().easy_setopt(handle, CURLOPT_PROXYUSERNAME, proxy->user.c_str());
            Curl().easy_setopt(handle, CURLOPT_PROXYPASSWORD, proxy->password.c_str());
        }
    } catch (abi::__forced_unwind&) {
        throw;
    } catch (...) {
        // silent by design: the fetcher works without the system proxy
    }
}

int CCurlHttpFetcherImpl::OnProgress(void* user, double, double, double, double) {
    const auto* abort = static_cast<const std::atomic<std::int32_t>*>(user);
    return (abort != nullptr && abort->load() == 1) ? 1 : 0;
}

int CCurlHttpFetcherImpl::OnCloseSocket(void*, curl_socket_t socket) {
    if (socket == CURL_SOCKET_BAD) {
        return 1;
    }
    // Linger on with a zero time-out makes the close abortive: the peer sees a reset, and
    // no socket lingers in TIME_WAIT on this side.
    const linger abortive{1, 0};
    setsockopt(socket, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
    close(socket);
    return 0;
}

}  // namespace RVUtil::curl
