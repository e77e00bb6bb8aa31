#pragma once

#include "RVUtil/CObject.h"
#include "RVUtil/detail/CListOf.h"

// A list of CObject pointers; it never deletes the objects it points to.
class CObList : public CObject, public RVUtil::detail::CListOf<CObject*> {
  public:
    explicit CObList(INT_PTR blockSize = 10) : CListOf(blockSize) {}
};
