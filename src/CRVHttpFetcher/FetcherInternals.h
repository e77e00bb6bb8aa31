#pragma once

#include "RVUtil/CRVHttpFetcher.h"
#include "buffers/BodyStore.h"

namespace RVUtil {

// The part of CRVHttpFetcher that hosts do not see.
struct CRVHttpFetcher::Internals {
    // The response buffer's block: m_pBuffer, m_nCapacity and m_nSize show it.
    BodyStore body;
};

}  // namespace RVUtil
