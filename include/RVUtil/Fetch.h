#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "RVUtil/ErrorCode.h"
#include "RVUtil/Export.h"
#include "RVUtil/Failure.h"
#include "RVUtil/FetchOptions.h"

namespace RVUtil {

class CCurlHttpFetcher;
class CRVHttpFetcher;

// A block of bytes that frees itself: the body of a whole fetch.
class OwnedBytes {
  public:
    OwnedBytes() = default;
    // Takes data, an array from new[] of at least size bytes.
    OwnedBytes(unsigned char* data, std::size_t size) noexcept : m_data(data), m_size(size) {}
    OwnedBytes(OwnedBytes&& other) noexcept
        : m_data(std::exchange(other.m_data, nullptr)), m_size(std::exchange(other.m_size, 0)) {}
    OwnedBytes& operator=(OwnedBytes&& other) noexcept {
        if (this != &other) {
            delete[] m_data;
            m_data = std::exchange(other.m_data, nullptr);
            m_size = std::exchange(other.m_size, 0);
        }
        return *this;
    }
    OwnedBytes(const OwnedBytes&) = delete;
    OwnedBytes& operator=(const OwnedBytes&) = delete;
    ~OwnedBytes() { delete[] m_data; }

    const unsigned char* data() const noexcept { return m_data; }
    std::size_t size() const noexcept { return m_size; }
    bool empty() const noexcept { return m_size == 0; }
    std::span<const std::byte> bytes() const noexcept {
        return {reinterpret_cast<const std::byte*>(m_data), m_size};
    }
    std::string_view text() const noexcept {
        return {reinterpret_cast<const char*>(m_data), m_size};
    }
    // Gives the array up to the caller, who releases it with delete[].
    unsigned char* release() noexcept {
        m_size = 0;
        return std::exchange(m_data, nullptr);
    }

  private:
    unsigned char* m_data = nullptr;
    std::size_t m_size = 0;
};

// Everything one fetch learned: whether it succeeded, the code the read functions give for
// the same exchange, the answer as far as it came, and on failure why.
struct FetchOutcome {
    // What the read functions call success: status 200, the body whole (and decoded), no
    // verdict. code is then ERR_OK and failure's kind None.
    bool ok = false;
    ErrorCode code = ERR_REQUEST;

    // The final response: its status (0 when none came), the reason phrase after it, and
    // its header lines in order, names and values as sent (blanks around a value dropped).
    // Interim answers (1xx) are not part of it.
    int status = 0;
    std::string reason;
    std::vector<std::pair<std::string, std::string>> headers;
    // The value of the first header of that name, letter case ignored; empty when none.
    std::string_view Header(std::string_view name) const;

    // The final response's head exactly as received (status line, header lines and the
    // empty line, each ended as the server ended it), and the request's head as it was sent
    // when the options asked to keep it.
    std::string responseHead;
    std::string requestHead;

    // The server's RV_Error verdict, when the response carries a non-empty one.
    std::optional<std::string> verdict;
    // The time VR_Expired names, only when the response carries that header.
    std::optional<std::chrono::system_clock::time_point> expires;

    // A whole fetch: the body (decoded when asked), also of an answer that failed for its
    // status or its verdict. A plain body is followed by one zero byte beyond its size.
    OwnedBytes body;
    // A streaming fetch: the bytes the sink was given.
    std::uint64_t delivered = 0;

    // Why the fetch failed: the kind, the failing layer's own number (libcurl's code, the
    // own transport's error number, the status, a decoder's error) and words.
    Failure failure;

    explicit operator bool() const noexcept { return ok; }
};

// One request on the host's fetcher, which must be initialised, the body whole. The fetcher
// keeps its settings, request headers and connections; a response it still held is ended
// first, and the fetch's own response is ended when it returns.
RVUTIL_API FetchOutcome Fetch(CCurlHttpFetcher& fetcher, std::string_view url,
                              const FetchOptions& options = {});
RVUTIL_API FetchOutcome Fetch(CRVHttpFetcher& fetcher, std::string_view url,
                              const FetchOptions& options = {});
// The same, streaming: the body goes to sink as it arrives, in constant memory, decoded on
// the fly when the options ask for it. The status and the verdict are decided before the
// first byte reaches the sink; outcome.body stays empty.
RVUTIL_API FetchOutcome Fetch(CCurlHttpFetcher& fetcher, std::string_view url,
                              const FetchOptions& options, const BodySink& sink);
RVUTIL_API FetchOutcome Fetch(CRVHttpFetcher& fetcher, std::string_view url,
                              const FetchOptions& options, const BodySink& sink);

// Which fetcher a fetch makes for itself: one of the two, or the one the backend probe
// (RVUtil_IsUseWinInet) says suits the machine.
enum class FetcherKind { Curl, Own, Probe };

// One request on a fetcher made, initialised and destroyed for it.
RVUTIL_API FetchOutcome Fetch(FetcherKind kind, std::string_view url,
                              const FetchOptions& options = {});
RVUTIL_API FetchOutcome Fetch(FetcherKind kind, std::string_view url, const FetchOptions& options,
                              const BodySink& sink);

}  // namespace RVUtil
