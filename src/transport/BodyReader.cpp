#include "transport/BodyReader.h"

#include <algorithm>

#include "transport/NetStream.h"
#include "transport/ReceiveBuffer.h"
#include "transport/ReceiveDeadline.h"

namespace RVUtil::transport {
namespace {

// A body read asking for at least this much goes straight into the caller's memory.
constexpr std::size_t kDirectReadSize = 32 * 1024;

}  // namespace

void BodyReader::Start(BodyFraming framing, std::uint64_t length, NetStream& stream,
                       ReceiveBuffer& pending, ReceiveDeadline& deadline) {
    m_stream = &stream;
    m_pending = &pending;
    m_deadline = &deadline;
    m_framing = framing;
    m_length = length;
    m_state = State::Reading;
    m_remaining = length;
    m_chunked = ChunkedDecoder();
    m_received = 0;
    deadline.StartBody();
    if (framing == BodyFraming::None || (framing == BodyFraming::Length && length == 0)) {
        m_state = State::Complete;
    }
}

InetError BodyReader::Fail(InetError error, const std::string& streamText) {
    std::string progress = std::to_string(m_received);
    if (m_framing == BodyFraming::Length) {
        progress.append(" of ").append(std::to_string(m_length));
    }
    progress.append(" body bytes");
    m_error = error;
    if (error == kInetTimeout) {
        m_detail = TimedOut(m_deadline->Window(), "with the body stalled after " + progress);
    } else {
        m_detail = (streamText.empty() ? "connection closed" : streamText) + " after " + progress;
    }
    return error;
}

InetError BodyReader::Read(char* out, std::size_t size, std::size_t* received) {
    *received = 0;
    switch (m_state) {
        case State::Failed:
            return m_error;
        case State::Complete:
            return kInetOk;
        case State::Reading:
            break;
    }
    if (size == 0) {
        return kInetOk;
    }
    InetError error = kInetOk;
    switch (m_framing) {
        case BodyFraming::Length:
            error = ReadLength(out, size, received);
            break;
        case BodyFraming::Chunked:
            error = ReadChunked(out, size, received);
            break;
        case BodyFraming::UntilClose:
            error = ReadUntilClose(out, size, received);
            break;
        case BodyFraming::None:
            m_state = State::Complete;
            break;
    }
    if (error != kInetOk) {
        m_state = State::Failed;
    }
    m_received += *received;
    return error;
}

InetError BodyReader::ReadLength(char* out, std::size_t size, std::size_t* received) {
    const std::size_t wanted = static_cast<std::size_t>(std::min<std::uint64_t>(size, m_remaining));
    std::size_t n = m_pending->Take(out, wanted);
    if (n == 0) {
        InetError error = kInetOk;
        if (wanted >= kDirectReadSize) {
            error = m_deadline->Read(*m_stream, out, wanted, &n);
        } else {
            // Never ask for more than the body still owes: what follows it is not ours.
            std::size_t arrived = 0;
            error = m_pending->Fill(*m_stream, *m_deadline,
                                    static_cast<std::size_t>(
                                        std::min<std::uint64_t>(m_remaining, std::size_t{1} << 30)),
                                    &arrived);
            n = m_pending->Take(out, wanted);
        }
        if (error != kInetOk) {
            return Fail(error, m_stream->FailureText());
        }
        if (n == 0) {
            return Fail(kInetConnectionAborted, std::string());  // closed before the end
        }
    }
    m_remaining -= n;
    *received = n;
    if (m_remaining == 0) {
        m_state = State::Complete;
    }
    return kInetOk;
}

InetError BodyReader::ReadChunked(char* out, std::size_t size, std::size_t* received) {
    for (;;) {
        if (m_pending->Pending().empty()) {
            std::size_t arrived = 0;
            const InetError error = m_pending->Fill(*m_stream, *m_deadline, 0, &arrived);
            if (error != kInetOk) {
                return Fail(error, m_stream->FailureText());
            }
            if (arrived == 0) {
                return Fail(kInetConnectionAborted, std::string());  // before the last chunk
            }
        }
        const std::string_view pending = m_pending->Pending();
        std::size_t consumed = 0;
        std::size_t produced = 0;
        const ChunkedDecoder::Status status =
            m_chunked.Decode(pending.data(), pending.size(), out, size, &consumed, &produced);
        m_pending->Consume(consumed);
        *received = produced;
        if (status == ChunkedDecoder::Status::Bad) {
            m_error = kInetInvalidResponse;
            m_detail = m_chunked.Fault();
            if (produced == 0) {
                return kInetInvalidResponse;
            }
            // The data ahead of the corruption is delivered; the next read reports it.
            m_state = State::Failed;
            return kInetOk;
        }
        if (status == ChunkedDecoder::Status::Done) {
            m_state = State::Complete;
            return kInetOk;
        }
        if (produced > 0) {
            return kInetOk;
        }
    }
}

InetError BodyReader::ReadUntilClose(char* out, std::size_t size, std::size_t* received) {
    std::size_t n = m_pending->Take(out, size);
    if (n == 0) {
        if (const InetError error = m_deadline->Read(*m_stream, out, size, &n); error != kInetOk) {
            return Fail(error, m_stream->FailureText());
        }
        if (n == 0) {
            m_state = State::Complete;  // the end of the connection is the end of the body
        }
    }
    *received = n;
    return kInetOk;
}

bool BodyReader::FinishFromPending() {
    if (m_framing == BodyFraming::Length) {
        if (m_pending->Pending().size() < m_remaining) {
            return false;
        }
        m_pending->Consume(static_cast<std::size_t>(m_remaining));
        m_remaining = 0;
        m_state = State::Complete;
        return true;
    }
    if (m_framing == BodyFraming::Chunked) {
        char scratch[4096];
        for (;;) {
            const std::string_view pending = m_pending->Pending();
            std::size_t consumed = 0;
            std::size_t produced = 0;
            const ChunkedDecoder::Status status = m_chunked.Decode(
                pending.data(), pending.size(), scratch, sizeof scratch, &consumed, &produced);
            m_pending->Consume(consumed);
            if (status == ChunkedDecoder::Status::Done) {
                m_state = State::Complete;
                return true;
            }
            if (status == ChunkedDecoder::Status::Bad || (consumed == 0 && produced == 0)) {
                return false;
            }
        }
    }
    return false;
}

}  // namespace RVUtil::transport
