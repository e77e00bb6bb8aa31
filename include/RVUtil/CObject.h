#pragma once

#include "RVUtil/Export.h"

// Root of the framework's polymorphic objects: lists of CObject pointers delete through it.
class RVUTIL_API CObject {
  public:
    CObject() = default;
    virtual ~CObject();

  protected:
    CObject(const CObject&) = default;
    CObject& operator=(const CObject&) = default;
};
