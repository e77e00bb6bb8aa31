#include "transport/ChunkedDecoder.h"

#include <algorithm>
#include <cstring>

#include "http/StatusLine.h"
#include "platform/Ascii.h"

namespace RVUtil::transport {
namespace {

// Chunks larger than this are taken for a corrupt size line.
constexpr std::uint64_t kMaxChunkSize = std::uint64_t{1} << 48;
// A trailer section beyond this is refused rather than skipped for ever.
constexpr std::size_t kMaxTrailerBytes = 64 * 1024;

}  // namespace

ChunkedDecoder::Status ChunkedDecoder::Decode(const char* in, std::size_t inSize, char* out,
                                              std::size_t outSize, std::size_t* consumed,
                                              std::size_t* produced) {
    std::size_t i = 0;
    std::size_t o = 0;
    while (i < inSize && m_state != State::Done && m_state != State::Bad) {
        if (m_state != State::Data) {
            Step(in[i]);
            ++i;
            continue;
        }
        if (o == outSize) {
            *consumed = i;
            *produced = o;
            return Status::NeedMore;
        }
        const std::size_t n = static_cast<std::size_t>(
            std::min<std::uint64_t>(m_remaining, std::min(inSize - i, outSize - o)));
        std::memcpy(out + o, in + i, n);
        i += n;
        o += n;
        m_remaining -= n;
        if (m_remaining == 0) {
            m_state = State::DataCr;
        }
    }
    *consumed = i;
    *produced = o;
    if (m_state == State::Bad && *m_fault == '\0') {
        m_fault = "bad chunk size";
    }
    if (m_state == State::Done) {
        return Status::Done;
    }
    return m_state == State::Bad ? Status::Bad : Status::NeedMore;
}

void ChunkedDecoder::Step(char c) {
    switch (m_state) {
        case State::Size: {
            const int digit = ascii::HexDigitValue(c);
            if (digit >= 0) {
                m_remaining = m_remaining * 16 + static_cast<std::uint64_t>(digit);
                m_sawDigit = true;
                m_state = m_remaining > kMaxChunkSize ? State::Bad : State::Size;
            } else if (m_sawDigit && c == '\n') {
                m_state = m_remaining == 0 ? State::TrailerStart : State::Data;
            } else if (m_sawDigit) {
                // What follows the size up to the line's end (extensions, blanks, a CR)
                // carries nothing the body needs, and every reader passes over it.
                m_state = State::Extension;
            } else {
                m_state = State::Bad;
            }
            break;
        }
        case State::Extension:
            if (c == '\n') {
                m_state = m_remaining == 0 ? State::TrailerStart : State::Data;
            }
            break;
        case State::DataCr:
            m_state = c == '\r' ? State::DataLf : c == '\n' ? State::Size : State::Bad;
            if (m_state == State::Bad) {
                m_fault = "chunk data longer than its size";
            }
            m_sawDigit = false;
            break;
        case State::DataLf:
            m_state = c == '\n' ? State::Size : State::Bad;
            if (m_state == State::Bad) {
                m_fault = "chunk data longer than its size";
            }
            break;
        case State::TrailerStart:
            if (++m_trailerBytes > kMaxTrailerBytes) {
                m_state = State::Bad;
                m_fault = "trailer section over 64 KiB";
            } else if (c == '\n') {
                EndTrailerLine();
            } else {
                m_trailerLine += c;
            }
            break;
        case State::Data:
        case State::Done:
        case State::Bad:
            break;
    }
}

// A trailer line is read by the rules of a head's lines (its fields are not used): the empty
// line ends the body, and a line that a head could not hold makes the body unreadable.
void ChunkedDecoder::EndTrailerLine() {
    std::string_view line = m_trailerLine;
    if (!line.empty() && line.back() == '\r') {
        line.remove_suffix(1);
    }
    if (line.empty()) {
        m_state = State::Done;
    } else if (const char* fault = http::HeaderLineFault(
                   line, m_trailerLines++ == 0 ? http::HeaderLinePlace::First
                                               : http::HeaderLinePlace::Later)) {
        m_state = State::Bad;
        m_fault = fault;
    }
    m_trailerLine.clear();
}

}  // namespace RVUtil::transport
