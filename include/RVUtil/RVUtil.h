#pragma once

// Everything RVUtil exports.
#include "RVUtil/AfxException.h"
#include "RVUtil/CCriticalSection.h"
#include "RVUtil/CCurlHttpFetcher.h"
#include "RVUtil/CObList.h"
#include "RVUtil/CObject.h"
#include "RVUtil/CRVHttpFetcher.h"
#include "RVUtil/CString.h"
#include "RVUtil/CStringArray.h"
#include "RVUtil/CStringList.h"
#include "RVUtil/CUIntArray.h"
#include "RVUtil/Export.h"
#include "RVUtil/ThreadId.h"
#include "RVUtil/WinTypes.h"
