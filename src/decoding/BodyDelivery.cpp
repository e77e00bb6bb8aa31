#include "decoding/BodyDelivery.h"

#include <string>

#include "http/VerdictHeaders.h"

namespace RVUtil::decoding {

BodyDelivery::BodyDelivery(const BodySink& sink, const FetchOptions& options, std::uint64_t limit,
                           const std::string& sentHead)
    : m_sink(sink), m_options(options), m_limit(limit), m_sentHead(sentHead) {}

bool BodyDelivery::Begin(int status, const http::HeadView& head) {
    const HeadNotice notice{status, head.Raw(),
                            m_options.keepRequestHead ? std::string_view(m_sentHead) : ""};
    if (m_options.onHead && !m_options.onHead(notice)) {
        return StopWith(Stop::Cancelled,
                        {FailureKind::Cancelled, 0, "the head's receiver cancelled the request"});
    }
    const bool verdict = !head.Find(kErrorVerdictHeader).value_or("").empty();
    const ContentEncoding encoding = EncodingOf(head.Find("Content-Encoding").value_or(""));
    m_delivering = m_options.deliverEveryAnswer || (status == 200 && !verdict);
    if (m_delivering && m_options.decode && encoding != ContentEncoding::None) {
        m_decoder = StreamDecoder::Make(encoding);
        if (m_decoder == nullptr) {
            m_delivering = false;
            return StopWith(Stop::Undecodable,
                            {FailureKind::OutOfMemory, 0, "no memory for a decoder of the body"});
        }
    }
    return m_delivering;
}

bool BodyDelivery::StopWith(Stop stop, Failure failure) {
    m_stop = stop;
    m_failure = std::move(failure);
    return false;
}

bool BodyDelivery::Give(std::span<const std::byte> piece) {
    if (m_limit != 0 && piece.size() > m_limit - m_delivered) {
        return StopWith(Stop::OverLimit,
                        {FailureKind::BodyLimit, static_cast<long>(m_limit),
                         "the body passed the limit of " + std::to_string(m_limit) + " bytes"});
    }
    m_delivered += piece.size();
    if (!m_sink(piece)) {
        return StopWith(Stop::Cancelled,
                        {FailureKind::Cancelled, 0, "the body's receiver cancelled the request"});
    }
    return true;
}

bool BodyDelivery::Feed(const void* data, std::size_t n) {
    if (!m_delivering || m_stop != Stop::None) {
        return false;
    }
    const std::span<const std::byte> piece(static_cast<const std::byte*>(data), n);
    if (m_decoder == nullptr) {
        return Give(piece);
    }
    if (!m_decoder->Feed(piece, [this](std::span<const std::byte> out) { return Give(out); })) {
        // A stop of Give's own is already recorded; otherwise the data did not decode.
        return m_stop != Stop::None ? false : StopWith(Stop::Undecodable, m_decoder->LastFailure());
    }
    return true;
}

bool BodyDelivery::Finish() {
    if (!m_delivering || m_stop != Stop::None || m_decoder == nullptr) {
        return m_stop == Stop::None;
    }
    if (!m_decoder->Finish()) {
        return StopWith(Stop::Undecodable, m_decoder->LastFailure());
    }
    // A body that decodes to nothing is a failed decoding for the read functions too.
    if (m_delivered == 0) {
        return StopWith(Stop::Undecodable,
                        {FailureKind::Decoding, 0, "the body decodes to nothing"});
    }
    return true;
}

}  // namespace RVUtil::decoding
