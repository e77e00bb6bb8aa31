#include "curl/CurlHeadReader.h"

#include "http/FieldValues.h"
#include "http/StatusLine.h"
#include "platform/Ascii.h"

namespace RVUtil::curl {

void CurlHeadReader::Start() {
    m_raw.Clear();
    m_index.Clear();
    m_state = State::HeadStart;
    m_interim = false;
    m_length.reset();
    m_refusal.clear();
}

bool CurlHeadReader::Refuse(std::string words) {
    m_refusal = std::move(words);
    return false;
}

bool CurlHeadReader::OnLine(std::string_view line) {
    if (m_state == State::FinalHeadDone) {
        return true;  // a trailer: the head it would join is complete
    }
    // The line without its end, read as the transport reads header lines. libcurl hands
    // over whole lines; one without its LF is part of a head cut short.
    std::string_view text;
    http::ForEachHeaderLine(line, [&text](std::string_view cut) { text = cut; });
    if (line.empty() || line.back() != '\n') {
        return Refuse("a response head cut short");
    }
    if (m_state == State::HeadStart) {
        // A new head replaces an interim one before it.
        m_raw.Clear();
        m_index.Clear();
        m_length.reset();
        http::StatusLine status;
        if (!http::ReadStatusLine(text, &status)) {
            return Refuse("not an HTTP/1.0 or 1.1 status line");
        }
        if (status.status == 101) {
            return Refuse("a switch of protocols nobody asked for");
        }
        m_interim = http::IsInterimStatus(status.status);
        m_state = State::FirstHeader;
    } else if (text.empty()) {
        m_state = m_interim ? State::HeadStart : State::FinalHeadDone;
    } else if (const char* fault = http::HeaderLineFault(
                   text, m_state == State::FirstHeader ? http::HeaderLinePlace::First
                                                       : http::HeaderLinePlace::Later)) {
        return Refuse(fault);
    } else {
        m_state = State::InHead;
        const std::size_t colon = text.find(':');
        const std::string_view name = text.substr(0, colon);
        const std::string_view value =
            colon == std::string_view::npos ? std::string_view() : text.substr(colon + 1);
        if (ascii::EqualsNoCase(name, "Content-Length") &&
            !http::FoldContentLength(value, &m_length)) {
            // The value is shown, but no more of it than a reader needs.
            constexpr std::size_t kShown = 64;
            return Refuse(
                "the response names differing or unreadable body lengths "
                "(Content-Length:" +
                std::string(value.substr(0, kShown)) + ")");
        }
        if (ascii::EqualsNoCase(name, "Transfer-Encoding") && !http::IsChunkedAlone(value)) {
            return Refuse("a transfer coding other than chunked alone");
        }
    }
    const std::size_t at = m_raw.Size();
    if (!m_raw.Append(line.data(), line.size())) {
        return false;
    }
    m_index.AddLine(at, text);
    return true;
}

bool CurlHeadReader::Complete() const {
    return m_state == State::FinalHeadDone;
}

}  // namespace RVUtil::curl
