#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "curl/CurlByteArray.h"
#include "http/ParsedHead.h"

namespace RVUtil::curl {

// The heads of one transfer as libcurl hands them over, one line at a time, read by the
// same rules as the own transport reads them (http/): a line libcurl would take one way and
// the transport another (a status line other than HTTP/1.0 or 1.1, a header line without a
// colon, a NUL or a stray CR, differing lengths, a transfer coding other than chunked alone,
// an unasked switch of protocols) is refused, which ends the transfer. Only the final
// response's head is kept in the raw block: interim answers (100 Continue, 103 Early Hints)
// are dropped when the next head starts, so their header lines never become the verdict,
// the expiry or the encoding of the answer that follows; trailer lines of a chunked body,
// which libcurl delivers as header lines too, are not kept either.
class CurlHeadReader {
  public:
    // The final head's lines go to raw as received, and are indexed in index as they come:
    // the head is read once, by this reader.
    CurlHeadReader(CurlByteArray& raw, http::HeadIndex& index) : m_raw(raw), m_index(index) {}

    // Starts a transfer: the raw block is emptied and nothing is refused.
    void Start();
    // One line as libcurl delivers it, line end included. False when the transfer must end:
    // the line was refused, or the raw block could not grow (Refusal then stays empty).
    bool OnLine(std::string_view line);

    // Why a line was refused, in words; empty when none was.
    const std::string& Refusal() const { return m_refusal; }
    // Whether the final head arrived whole (its empty line). A transfer that ends without
    // it brought a head cut short, whatever libcurl made of it.
    bool Complete() const;
    // Refuses the head, with why in words; false, as OnLine gives it.
    bool Refuse(std::string words);

  private:
    enum class State { HeadStart, FirstHeader, InHead, FinalHeadDone };

    CurlByteArray& m_raw;
    http::HeadIndex& m_index;
    State m_state = State::HeadStart;
    bool m_interim = false;
    std::optional<std::uint64_t> m_length;
    std::string m_refusal;
};

}  // namespace RVUtil::curl
