// Calls into the read functions' layer; linked with a lower layer alone, the call is left
// undefined.
#include "RVUtil/ExpiredTime.h"

CTime32 CallUpward() {
    return RVUtil::RVUtil_gfnGetExpiredTime(CString("Exp:2026-12-04 10:20:30 LT"));
}
