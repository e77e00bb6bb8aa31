#pragma once

#include <curl/curl.h>

#include <cstddef>

#include "buffers/BodyStore.h"

namespace RVUtil {

// What the write callback hands one transfer's body to: the fetcher's body store, under the
// body limit. The first bytes of a body whose length the head declared make the store
// reserve exactly that length, so the body lands in the one block the read functions can
// hand to the host; a body without a length grows the store as it comes.
class CurlBodyReceiver {
  public:
    explicit CurlBodyReceiver(BodyStore& store) : m_store(store) {}

    // A transfer starts: its handle, for the declared length, and the limit in bytes.
    void Start(CURL* transfer, long long limit) noexcept;
    // false refuses the bytes, which ends the transfer (CURLE_WRITE_ERROR): they would pass
    // the limit (OverLimit then tells), or the store could not grow.
    bool OnData(const char* data, std::size_t n) noexcept;
    bool OverLimit() const noexcept { return m_overLimit; }

  private:
    BodyStore& m_store;
    CURL* m_transfer = nullptr;
    std::size_t m_limit = 0;
    bool m_sized = false;
    bool m_overLimit = false;
};

}  // namespace RVUtil
