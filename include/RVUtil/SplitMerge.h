#pragma once

#include <vector>

#include "RVUtil/CString.h"
#include "RVUtil/CStringArray.h"
#include "RVUtil/CStringList.h"
#include "RVUtil/CUIntArray.h"
#include "RVUtil/Export.h"

namespace RVUtil {

// Cuts src at each delim into fields and replaces the container's contents with them, in
// order. Only the text before src's first zero byte counts. Empty fields are skipped,
// except that the vector form keeps inner empty fields when bKeepEmpty is not 0; an empty
// last field is never kept. A zero delim makes the whole text one field.
RVUTIL_API void RVUtil_gfnSplit(const CString& src, std::vector<CString>& vec, char delim,
                                int bKeepEmpty);
RVUTIL_API void RVUtil_gfnSplit(const CString& src, CStringArray& arr, char delim);
RVUTIL_API void RVUtil_gfnSplit(const CString& src, CStringList& list, char delim);
// Each field is read as a decimal int (leading blanks skipped, text after the number
// ignored, no number gives 0) and stored as its 32-bit pattern: -1 becomes 4294967295.
RVUTIL_API void RVUtil_gfnSplit(const CString& src, CUIntArray& arr, char delim);

// Joins the elements with delim between them (none before the first or after the last).
// Each element counts up to its first zero byte, and so does the result: a zero delim
// gives only the first element.
RVUTIL_API CString RVUtil_gfnMerge(std::vector<CString>& vec, char delim);
RVUTIL_API CString RVUtil_gfnMerge(CStringArray& arr, char delim);
RVUTIL_API CString RVUtil_gfnMerge(CStringList& list, char delim);
// Numbers are written as signed decimals: 4294967295 comes out as -1.
RVUTIL_API CString RVUtil_gfnMerge(CUIntArray& arr, char delim);

}  // namespace RVUtil
