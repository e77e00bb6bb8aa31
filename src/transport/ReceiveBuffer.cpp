#include "transport/ReceiveBuffer.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "http/StatusLine.h"

namespace RVUtil::transport {
namespace {

// Large enough that a big body costs few system calls, small enough to be a cheap block.
constexpr std::size_t kReadSize = 64 * 1024;

}  // namespace

std::size_t ReceiveBuffer::Take(char* out, std::size_t size) {
    const std::size_t n = std::min(size, m_end - m_begin);
    std::memcpy(out, m_data.get() + m_begin, n);
    m_begin += n;
    return n;
}

bool ReceiveBuffer::Reserve() {
    if (m_begin == m_end) {
        m_begin = m_end = 0;
    }
    if (m_capacity - m_end >= kReadSize) {
        return true;
    }
    const std::size_t pending = m_end - m_begin;
    const std::size_t needed = pending + kReadSize;
    if (needed <= m_capacity) {
        std::memmove(m_data.get(), m_data.get() + m_begin, pending);
    } else {
        const std::size_t capacity = std::max(needed, m_capacity * 2);
        std::unique_ptr<char[]> grown(new (std::nothrow) char[capacity]);
        if (!grown) {
            return false;
        }
        if (pending > 0) {
            std::memcpy(grown.get(), m_data.get() + m_begin, pending);
        }
        m_data = std::move(grown);
        m_capacity = capacity;
    }
    m_begin = 0;
    m_end = pending;
    return true;
}

InetError ReceiveBuffer::Fill(NetStream& stream, ReceiveDeadline& deadline, std::size_t limit,
                              std::size_t* received) {
    *received = 0;
    if (!Reserve()) {
        return kInetInternalError;
    }
    std::size_t room = m_capacity - m_end;
    if (limit > 0) {
        room = std::min(room, limit);
    }
    const InetError error = deadline.Read(stream, m_data.get() + m_end, room, received);
    m_end += *received;
    return error;
}

InetError ReceiveBuffer::ReadHead(NetStream& stream, ReceiveDeadline& deadline, ResponseHead* head,
                                  bool* anyByte, std::string* detail, UnreadableLength rule) {
    *anyByte = false;
    std::size_t scanned = 0;
    for (;;) {
        const std::string_view pending = Pending();
        const std::size_t end = FindResponseHeadEnd(pending, scanned);
        if (end > 0) {
            const char* fault = "invalid response head";
            const InetError error = ParseResponseHead(pending.substr(0, end), head, rule, &fault);
            if (error != kInetOk) {
                *detail = std::string("invalid response head: ") + fault;
                return error;
            }
            Consume(end);
            if (http::IsInterimStatus(head->status)) {
                scanned = 0;  // an interim answer; the real one follows
                continue;
            }
            return kInetOk;
        }
        if (pending.size() > kMaxResponseHeadSize) {
            *detail = "response head over 1 MiB";
            return kInetInvalidResponse;
        }
        scanned = pending.size();
        std::size_t received = 0;
        const InetError error = Fill(stream, deadline, 0, &received);
        // Only ever called once a request went out: a connection that ends now has carried
        // that request, and the words say so.
        if (error != kInetOk) {
            *detail = error == kInetTimeout ? "waiting for the response head"
                                            : stream.FailureText() + " after the request was sent";
            return error;
        }
        if (received == 0) {
            *detail = *anyByte
                          ? "connection closed inside the response head"
                          : "connection closed after the request was sent, before any response";
            return *anyByte ? kInetInvalidResponse : kInetConnectionAborted;
        }
        *anyByte = true;
    }
}

}  // namespace RVUtil::transport
