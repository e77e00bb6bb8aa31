#include "RVUtil/RVUtil.h"
