#include "curl/CurlBodyReceiver.h"

#include "curl/CurlLibrary.h"

namespace RVUtil {

void CurlBodyReceiver::Start(CURL* transfer, long long limit) noexcept {
    m_transfer = transfer;
    m_limit = limit > 0 ? static_cast<std::size_t>(limit) : 0;
    m_sized = false;
    m_overLimit = false;
    m_store.SetGrowthLimit(m_limit);
}

bool CurlBodyReceiver::OnData(const char* data, std::size_t n) noexcept {
    const std::size_t room = m_limit > m_store.Size() ? m_limit - m_store.Size() : 0;
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

}  // namespace RVUtil
