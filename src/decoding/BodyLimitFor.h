#pragma once

#include <cstdint>

#include "http/CallSettings.h"

namespace RVUtil::decoding {

// The body limit one request works under, in bytes; 0 for none. Outside a fetch, and for a
// fetch that names none, it is the process's (RVUtil_gfnGetBodyLimit). A fetch's own limit
// holds for it alone; a whole body stays within what a 32-bit size counts (kMaxBodyLimit),
// and only a streaming fetch may lift the limit (0).
std::uint64_t BodyLimitFor(const http::CallSettings* call);

}  // namespace RVUtil::decoding
