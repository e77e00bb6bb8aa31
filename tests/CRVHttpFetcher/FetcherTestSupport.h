#pragma once

#include <string>

#include "RVUtil/CRVHttpFetcher.h"
#include "ResponseBody.h"

namespace rvtest {

// Opens the fetcher's protected members to the tests.
class TestFetcher : public RVUtil::CRVHttpFetcher {
  public:
    using CRVHttpFetcher::IsDataBufferReady;
    using CRVHttpFetcher::IsSessionReady;
    using CRVHttpFetcher::ParseHeader;
    using CRVHttpFetcher::SaveData;

    int Capacity() const { return m_nCapacity; }
    const CStringArray& ResponseHeaders() const { return m_arrRespHeaders; }
    CStringArray& ResponseHeaders() { return m_arrRespHeaders; }
    const CStringArray& RequestHeaders() const { return m_arrReqHeaders; }
    std::string Body() { return BodyOf(*this); }
};

}  // namespace rvtest
