#include "CRVHttpFetcher/FetcherInternals.h"
#include "RVUtil/CRVHttpFetcher.h"
#include "decoding/BodyLimitFor.h"
#include "decoding/DecompressAnswer.h"
#include "http/BodyLimitRecord.h"
#include "log/PXLog.h"

namespace RVUtil {

// This fetcher never decodes gzip on the way in, so a gzip body always still needs it. A
// fetch that streamed its body, or asked for it as sent, has nothing left to decode, unless
// its body did not decode on the way: that is reported here as for a whole body.
int CRVHttpFetcher::IsEncoding() {
    if (m_pInternals->Streaming() || m_pInternals->DecodingLeftOut()) {
        return m_pInternals->streamUndecodable ? 1 : 0;
    }
    const auto kind = m_pInternals->NotesOn(m_arrRespHeaders).Encoding();
    return kind != decoding::ContentEncoding::None ? 1 : 0;
}

// A body appended to an earlier one (no EndRequest in between) is decoded with it as one.
long CRVHttpFetcher::Decompress(BYTE** out) {
    Internals& inside = *m_pInternals;
    if (inside.Streaming() || inside.DecodingLeftOut()) {
        return 0;  // the failure of the decoding on the way is already recorded
    }
    const auto kind = inside.NotesOn(m_arrRespHeaders).Encoding();
    const std::uint64_t limit = decoding::BodyLimitFor(inside.call);
    decoding::DecompressAnswer answer =
        decoding::AnswerDecompress(kind, inside.body.Bytes(), limit, out);
    if (answer.failure) {
        inside.failure = std::move(answer.failure);
        if (inside.failure.kind == FailureKind::BodyLimit) {
            LogChannel()(log::CPXLog::LVL_ERROR)
                .Write(http::kBodyOverLimitRecord, static_cast<long long>(limit),
                       inside.urlPath.c_str());
        }
    }
    return answer.result;
}

}  // namespace RVUtil
