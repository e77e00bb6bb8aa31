#include "curl/CurlHeadReader.h"

#include "http/FieldValues.h"
#include "http/HeaderLines.h"
#include "http/StatusLine.h"
#include "platform/Ascii.h"

namespace RVUtil {

void CurlHeadReader::Start() {
    m_raw.Clear();
    m_state = State::HeadStart;
    m_interim = false;
    m_length.reset();
    m_refusal.clear();
}

bool CurlHeadReader::OnLine(std::string_view line) {
    if (m_state == State::FinalHeadDone) {
        return true;  // a trailer: the head it would join is complete
    }
    // The line without its end, read as the transport reads header lines.
    std::string_view text;
    http::ForEachHeaderLine(line, [&text](std::string_view cut) { text = cut; });
    if (m_state == State::HeadStart) {
        // A new head replaces an interim one before it.
        m_raw.Clear();
        m_length.reset();
        http::StatusLine status;
        m_interim = http::ReadStatusLine(text, &status) && http::IsInterimStatus(status.status);
        m_state = State::InHead;
    } else if (text.empty()) {
        m_state = m_interim ? State::HeadStart : State::FinalHeadDone;
    } else if (const std::size_t colon = text.find(':');
               colon != std::string_view::npos &&
               ascii::EqualsNoCase(text.substr(0, colon), "Content-Length") &&
               !http::FoldContentLength(text.substr(colon + 1), &m_length)) {
        // The value is shown, but no more of it than a reader needs.
        constexpr std::size_t kShown = 64;
        m_refusal = "the response names differing or unreadable body lengths (Content-Length:" +
                    std::string(text.substr(colon + 1, kShown)) + ")";
        return false;
    }
    return m_raw.Append(line.data(), line.size());
}

}  // namespace RVUtil
