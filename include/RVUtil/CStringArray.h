#pragma once

#include "RVUtil/CObject.h"
#include "RVUtil/CString.h"
#include "RVUtil/detail/CArrayOf.h"

class CStringArray : public CObject, public RVUtil::detail::CArrayOf<CString> {};
