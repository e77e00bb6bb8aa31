#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "RVUtil/Failure.h"
#include "RVUtil/FetchOptions.h"
#include "decoding/ContentDecoding.h"
#include "decoding/StreamDecoder.h"
#include "http/ParsedHead.h"

namespace RVUtil::decoding {

// Where a streaming fetch's body goes, the same way on both fetchers: once the final head is
// complete it decides whether the body reaches the sink at all (an answer whose status is
// not 200, or that carries a verdict, does not unless the options ask for it), then decodes
// it on the fly when asked, keeps the delivered bytes under the limit, and stops the
// transfer when the sink cancels, the limit is passed or the body does not decode.
class BodyDelivery {
  public:
    enum class Stop { None, Cancelled, OverLimit, Undecodable };

    // limit: the most bytes the sink is given; 0 for none. options: whether to decode, to
    // deliver every answer, and whom to tell of the head. sentHead: where the fetcher keeps
    // the request's head as last sent, read when the response's head is whole (a request
    // sent again on a fresh connection may replace it until then).
    BodyDelivery(const BodySink& sink, const FetchOptions& options, std::uint64_t limit,
                 const std::string& sentHead);

    // The final head (its status and the head as received) is complete: the head's receiver
    // is told, and the head's verdict and encoding are read as the read functions read them.
    // True when the body goes to the sink.
    bool Begin(int status, const http::HeadView& head);
    bool Delivering() const { return m_delivering; }
    // One piece of the body as received. False stops the transfer (Stopped says why); a body
    // that is not delivered stops it at its first byte, with Stopped None.
    bool Feed(const void* data, std::size_t n);
    // The body has ended as its framing says. False when what was decoded ends inside a
    // member or frame, or decodes to nothing.
    bool Finish();

    Stop Stopped() const { return m_stop; }
    // Why it stopped, as a failure value (kind None when it did not).
    const Failure& LastFailure() const { return m_failure; }
    // The body went through a decoder: a failure is then the decoding's, as for a whole
    // body that Decompress could not decode.
    bool Decoding() const { return m_decoder != nullptr; }
    std::uint64_t Delivered() const { return m_delivered; }

  private:
    bool Give(std::span<const std::byte> piece);
    bool StopWith(Stop stop, Failure failure);

    const BodySink& m_sink;
    const FetchOptions& m_options;
    std::uint64_t m_limit;
    const std::string& m_sentHead;
    bool m_delivering = false;
    std::unique_ptr<StreamDecoder> m_decoder;
    std::uint64_t m_delivered = 0;
    Stop m_stop = Stop::None;
    Failure m_failure;
};

}  // namespace RVUtil::decoding
