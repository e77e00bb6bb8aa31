#pragma once

#include <curl/curl.h>

#include <cstddef>

#include "buffers/BodyStore.h"
#include "curl/CurlByteArray.h"
#include "decoding/BodyDelivery.h"
#include "http/ParsedHead.h"

namespace RVUtil::curl {

// What the write callback hands one transfer's body to. A whole body goes to the fetcher's
// body store, under the body limit: the first bytes of a body whose length the head declared
// make the store reserve exactly that length, so the body lands in the one block the read
// functions can hand to the host; a body without a length grows the store as it comes. A
// streaming fetch's body goes to its BodyDelivery instead, which is told about the final
// head (kept in head) as soon as it is whole.
class CurlBodyReceiver {
  public:
    CurlBodyReceiver(buffers::BodyStore& store, const CurlByteArray& head,
                     const http::HeadIndex& headIndex)
        : m_store(store), m_head(head), m_headIndex(headIndex) {}

    // A transfer starts: its handle, the limit in bytes (0: none), and the delivery of a
    // streaming fetch (null for a whole body).
    void Start(CURL* transfer, std::uint64_t limit, decoding::BodyDelivery* delivery) noexcept;
    // false refuses the bytes, which ends the transfer (CURLE_WRITE_ERROR): they would pass
    // the limit (OverLimit then tells), the store could not grow, or the delivery stopped.
    bool OnData(const char* data, std::size_t n) noexcept;
    // The final head is whole: a streaming fetch's delivery begins (its head receiver is
    // told). false ends the transfer: the body is not to be delivered.
    bool OnHeadComplete() noexcept { return m_delivery == nullptr || m_begun || BeginDelivery(); }
    // The transfer completed: a delivery that has not begun (no body) begins now, and is
    // finished. No effect on a whole body.
    void Complete() noexcept;

    bool OverLimit() const noexcept { return m_overLimit; }
    // The delivery took nothing of the body, as it was not to be delivered: a transfer it
    // ended that way is complete as far as the fetcher is concerned.
    bool Skipped() const noexcept;

  private:
    bool BeginDelivery() noexcept;

    buffers::BodyStore& m_store;
    const CurlByteArray& m_head;
    const http::HeadIndex& m_headIndex;
    CURL* m_transfer = nullptr;
    std::uint64_t m_limit = 0;
    decoding::BodyDelivery* m_delivery = nullptr;
    bool m_begun = false;
    bool m_sized = false;
    bool m_overLimit = false;
};

}  // namespace RVUtil::curl
