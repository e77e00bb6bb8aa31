#include "curl/CurlBodyReceiver.h"

#include "curl/CurlLibrary.h"

namespace RVUtil::curl {

void CurlBodyReceiver::Start(CURL* transfer, std::uint64_t limit,
                             decoding::BodyDelivery* delivery) noexcept {
    m_transfer = transfer;
    m_limit = limit;
    m_delivery = delivery;
    m_begun = false;
    m_sized = false;
    m_overLimit = false;
    m_store.SetGrowthLimit(static_cast<std::size_t>(limit));
}

bool CurlBodyReceiver::BeginDelivery() noexcept {
    m_begun = true;
    long status = 0;
    if (Curl().easy_getinfo(m_transfer, CURLINFO_RESPONSE_CODE, &status) != CURLE_OK) {
        status = 0;
    }
    return m_delivery->Begin(static_cast<int>(status), http::HeadView(m_head.Text(), m_headIndex));
}

bool CurlBodyReceiver::OnData(const char* data, std::size_t n) noexcept {
    if (m_delivery != nullptr) {
        if (!m_begun && !BeginDelivery()) {
            return false;
        }
        return m_delivery->Feed(data, n);
    }
    const std::size_t room =
        m_limit > m_store.Size() ? static_cast<std::size_t>(m_limit - m_store.Size()) : 0;
    if (!m_sized) {
        m_sized = true;
        curl_off_t declared = -1;
        if (m_transfer != nullptr &&
            Curl().easy_getinfo(m_transfer, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &declared) ==
                CURLE_OK &&
            declared > 0 && static_cast<std::size_t>(declared) <= room) {
            // Without the room the bytes are appended all the same, growing the store.
            (void)m_store.Reserve(static_cast<std::size_t>(declared));
        }
    }
    if (n > room) {
        m_overLimit = true;
        return false;
    }
    return m_store.Append(data, n);
}

void CurlBodyReceiver::Complete() noexcept {
    if (m_delivery == nullptr || (!m_begun && !BeginDelivery())) {
        return;
    }
    if (m_delivery->Delivering() && m_delivery->Stopped() == decoding::BodyDelivery::Stop::None) {
        m_delivery->Finish();
    }
}

bool CurlBodyReceiver::Skipped() const noexcept {
    return m_delivery != nullptr && m_begun && !m_delivery->Delivering() &&
           m_delivery->Stopped() == decoding::BodyDelivery::Stop::None;
}

}  // namespace RVUtil::curl
