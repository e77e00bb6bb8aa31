#pragma once

#include "RVUtil/CObject.h"
#include "RVUtil/WinTypes.h"
#include "RVUtil/detail/CArrayOf.h"

class CUIntArray : public CObject, public RVUtil::detail::CArrayOf<UINT> {};
