// The decoding of a whole body: the gzip body the fetcher asked for and decodes itself after
// the transfer, and what IsEncoding and Decompress tell of the rest.
#include <cstdint>
#include <utility>

#include "curl/CCurlHttpFetcherImpl.h"
#include "decoding/BodyLimitFor.h"
#include "decoding/ContentDecoding.h"
#include "decoding/DecompressAnswer.h"
#include "http/BodyLimitRecord.h"
#include "http/ParsedHead.h"
#include "log/PXLog.h"

namespace RVUtil::curl {

using decoding::BodyLimitFor;
using decoding::ContentEncoding;
using decoding::EncodingOf;

bool CCurlHttpFetcherImpl::DecodeGzipBody(long long bodyLimit) {
    const bool decodedAsSent = m_call != nullptr && !m_call->options.decode;
    if (!m_curlDecodesGzip || decodedAsSent ||
        EncodingOf(http::HeadView(m_rawHeaders.Text(), m_headIndex)
                       .Find("Content-Encoding")
                       .value_or("")) != ContentEncoding::Gzip) {
        return true;
    }
    decoding::DecodedBody decoded = decoding::DecodeBody(ContentEncoding::Gzip, m_body.Bytes(),
                                                         static_cast<std::size_t>(bodyLimit));
    if (!decoded.failure) {
        m_body.Adopt(std::move(decoded.data), decoded.size);
        return true;
    }
    // What libcurl answered when it decoded: a body over the limit as the array refusing its
    // bytes, another failure as a content encoding it could not read.
    const FailureKind kind = decoded.failure.kind;
    m_lastCode = kind == FailureKind::BodyLimit     ? CURLE_WRITE_ERROR
                 : kind == FailureKind::OutOfMemory ? CURLE_OUT_OF_MEMORY
                                                    : CURLE_BAD_CONTENT_ENCODING;
    m_decodeFailure = std::move(decoded.failure);
    return false;
}

BOOL CCurlHttpFetcherImpl::IsEncoding() {
    CSingleLock lock(&m_lock, TRUE);
    if (m_closed) {
        return FALSE;
    }
    // A fetch that streamed its body, or asked for it as sent, has nothing left to decode,
    // unless its body did not decode on the way: that is reported as for a whole body.
    if (m_call != nullptr && (m_call->sink != nullptr || !m_call->options.decode)) {
        return m_streamUndecodable;
    }
    // With the flag set the fetcher has already decoded a gzip body; a zstd body always
    // waits for Decompress.
    switch (Notes().Encoding()) {
        case ContentEncoding::Zstd:
            return TRUE;
        case ContentEncoding::Gzip:
            return m_curlDecodesGzip ? FALSE : TRUE;
        case ContentEncoding::None:
            break;
    }
    return FALSE;
}

const decoding::ResponseNotes& CCurlHttpFetcherImpl::Notes() {
    for (std::size_t at = m_notes.Pairs(); at < m_responseHeaders.size(); ++at) {
        m_notes.Note(m_responseHeaders[at].name, m_responseHeaders[at].value);
    }
    return m_notes;
}

CString CCurlHttpFetcherImpl::NotedValue(decoding::ResponseNotes::Noted noted) {
    CSingleLock lock(&m_lock, TRUE);
    if (m_closed) {
        return CString();
    }
    const auto at = Notes().At(noted);
    return at.has_value() ? CString(m_responseHeaders[*at].value) : CString();
}

long CCurlHttpFetcherImpl::Decompress(BYTE** out) {
    // A closed fetcher has no Content-Encoding, which decodes to nothing.
    CSingleLock lock(&m_lock, TRUE);
    if (m_call != nullptr && (m_call->sink != nullptr || !m_call->options.decode)) {
        return 0;  // the failure of the decoding on the way is already recorded
    }
    const ContentEncoding kind = m_closed ? ContentEncoding::None : Notes().Encoding();
    const std::uint64_t limit = BodyLimitFor(m_call);
    decoding::DecompressAnswer answer =
        decoding::AnswerDecompress(kind, m_body.Bytes(), limit, out);
    if (answer.failure) {
        m_failure = std::move(answer.failure);
        if (m_failure.kind == FailureKind::BodyLimit) {
            LogChannel()(log::CPXLog::LVL_ERROR)
                .Write(http::kBodyOverLimitRecord, static_cast<long long>(limit),
                       m_lastUrl.c_str());
        }
    }
    return answer.result;
}

}  // namespace RVUtil::curl
