#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "RVUtil/Failure.h"
#include "transport/ChunkedDecoder.h"
#include "transport/InetError.h"
#include "transport/ResponseHead.h"

// The body of a response, read as its head frames it: Content-Length bytes, the chunked
// coding, or everything up to the end of the connection.
namespace RVUtil::transport {

class NetStream;
class ReceiveBuffer;
class ReceiveDeadline;

class BodyReader {
  public:
    enum class State { Reading, Complete, Failed };

    // Begins a body framed as framing says (length: the Content-Length), read from stream
    // after the bytes that arrived behind the head in pending, at the pace deadline sets.
    // The three belong to the request, which outlives every read.
    void Start(BodyFraming framing, std::uint64_t length, NetStream& stream, ReceiveBuffer& pending,
               ReceiveDeadline& deadline);
    State Current() const { return m_state; }

    // Delivers up to size body bytes, with the transfer coding removed. *received 0 means
    // the body has ended as its framing says. A body cut short (closed or reset before its
    // length or last chunk), a corrupt chunked coding and a body that stops moving fail,
    // after the bytes that arrived before were delivered; every read after a failure
    // answers it again.
    InetError Read(char* out, std::size_t size, std::size_t* received);
    // Finishes the body from bytes already received, without waiting; true when it could.
    bool FinishFromPending();

    // After a failed read: what went wrong in a few plain words, saying how far the body got
    // ("connection closed after 5 of 100 body bytes").
    const std::string& ErrorDetail() const { return m_detail; }
    Failure LastFailure() const { return Failure{FailureKindOf(m_error, true), m_error, m_detail}; }

  private:
    InetError ReadLength(char* out, std::size_t size, std::size_t* received);
    InetError ReadChunked(char* out, std::size_t size, std::size_t* received);
    InetError ReadUntilClose(char* out, std::size_t size, std::size_t* received);
    // Records error with words saying how far the body got, and returns it. streamText: the
    // stream's words for the failure, empty for a connection that just ended.
    InetError Fail(InetError error, const std::string& streamText);

    NetStream* m_stream = nullptr;
    ReceiveBuffer* m_pending = nullptr;
    ReceiveDeadline* m_deadline = nullptr;
    BodyFraming m_framing = BodyFraming::None;
    std::uint64_t m_length = 0;
    State m_state = State::Complete;
    std::uint64_t m_remaining = 0;
    std::uint64_t m_received = 0;
    ChunkedDecoder m_chunked;
    InetError m_error = kInetOk;
    std::string m_detail;
};

}  // namespace RVUtil::transport
