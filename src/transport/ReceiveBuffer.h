#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "transport/NetStream.h"
#include "transport/ReceiveDeadline.h"
#include "transport/ResponseHead.h"

// Bytes received on a stream and not consumed yet: a response head is read into it in
// pieces, and what arrives behind the head waits there for the body reader.
namespace RVUtil::transport {

class ReceiveBuffer {
  public:
    std::string_view Pending() const { return {m_data.get() + m_begin, m_end - m_begin}; }
    void Consume(std::size_t n) { m_begin += n; }
    // Copies up to size pending bytes to out and consumes them.
    std::size_t Take(char* out, std::size_t size);

    // One read from stream of at most limit bytes (0: as many as fit), bounded by deadline.
    // *received 0 means the stream has ended.
    InetError Fill(NetStream& stream, ReceiveDeadline& deadline, std::size_t limit,
                   std::size_t* received);

    // Reads the next final response head, passing over interim (1xx) ones, all before the
    // deadline. *anyByte tells whether anything at all arrived, which separates a connection
    // closed before the response (kInetConnectionAborted) from a head cut short
    // (kInetInvalidResponse). On failure *detail says in a few words what was wrong.
    InetError ReadHead(NetStream& stream, ReceiveDeadline& deadline, ResponseHead* head,
                       bool* anyByte, std::string* detail,
                       UnreadableLength rule = UnreadableLength::Refuse);

  private:
    // Makes room for at least one read of kReadSize bytes, keeping what is pending.
    bool Reserve();

    std::unique_ptr<char[]> m_data;
    std::size_t m_capacity = 0;
    std::size_t m_begin = 0;
    std::size_t m_end = 0;
};

}  // namespace RVUtil::transport
