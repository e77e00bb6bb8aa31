#include "RVUtil/CRVReqObject.h"

namespace RVUtil {

CRVReqObject::CRVReqObject() = default;
CRVReqObject::~CRVReqObject() = default;

}  // namespace RVUtil
