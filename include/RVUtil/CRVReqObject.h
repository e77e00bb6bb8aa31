#pragma once

#include "RVUtil/CObject.h"
#include "RVUtil/Export.h"
#include "RVUtil/WinTypes.h"

namespace RVUtil {

// Base of the requests a CRVReqQueue holds; the host derives its request classes from it.
// The queue always calls the two tests on the request already queued, with the newly
// offered request as the argument. Requests are created with new and deleted through the
// virtual destructor by whoever owns them (the queue, or the taker of RemoveRequest).
class RVUTIL_API CRVReqObject : public CObject {
  public:
    CRVReqObject();
    ~CRVReqObject() override;

    // TRUE when this queued request stands for the same request as other.
    virtual BOOL IsSameRequest(CObject* other) = 0;
    // TRUE when other belongs directly behind this one.
    virtual BOOL IsInsertAfter(CObject* other) = 0;
};

}  // namespace RVUtil
