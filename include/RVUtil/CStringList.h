#pragma once

#include "RVUtil/CObject.h"
#include "RVUtil/CString.h"
#include "RVUtil/detail/CListOf.h"

class CStringList : public CObject, public RVUtil::detail::CListOf<CString> {
  public:
    explicit CStringList(INT_PTR blockSize = 10) : CListOf(blockSize) {}
};
