#include "RVUtil/CRVHttpFetcher.h"
#include "decoding/ContentDecoding.h"

namespace RVUtil {

// This fetcher never decodes gzip on the way in, so a gzip body always still needs it.
int CRVHttpFetcher::IsEncoding() {
    return EncodingOf(FindHeader("Content-Encoding")) != ContentEncoding::None ? 1 : 0;
}

// A body appended to an earlier one (no EndRequest in between) is decoded with it as one.
long CRVHttpFetcher::Decompress(BYTE** out) {
    return DecodeBody(EncodingOf(FindHeader("Content-Encoding")), m_pBuffer, m_nSize, out);
}

}  // namespace RVUtil
