#pragma once

#include <cstddef>

// Fixed sizes of CRVHttpFetcher's buffers. They bound what a request accepts: a longer URL
// is cut, a longer host name or path is refused, a longer header block goes unrecorded.
namespace RVUtil {

constexpr int kInitialBufferSize = 2048;      // response buffer that Init allocates
constexpr std::size_t kUrlBufferSize = 2048;  // URL working copy, canonicalised in place
constexpr std::size_t kHostNameSize = 256;
constexpr std::size_t kUrlPathSize = 2048;
constexpr std::size_t kRawHeaderSize = 1024;  // the whole response head, with its terminator
constexpr std::size_t kReadChunkSize = 4096;  // one body read

}  // namespace RVUtil
