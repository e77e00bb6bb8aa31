#pragma once

#include <string>

namespace RVUtil::log {

// The name of the file that storage writes to: <tag>_<source>.log, each part kept to
// characters that are safe in any folder (others become '_'); a missing part is left out,
// and with neither the file is "log.log".
std::string FileBaseName(const char* tag, const char* source);

}  // namespace RVUtil::log
