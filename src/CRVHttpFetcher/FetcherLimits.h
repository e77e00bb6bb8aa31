#pragma once

#include <cstddef>

// Fixed sizes of CRVHttpFetcher's buffers. The URL sizes are the contract of the protected
// CrackUrl, which hosts call with buffers of these sizes; requests themselves take URLs up
// to kMaxUrlLength (RequestSetup.h) and header blocks up to the transport's head limit.
namespace RVUtil::inet {

constexpr int kInitialBufferSize = 2048;      // response buffer that Init allocates
constexpr std::size_t kUrlBufferSize = 2048;  // URL working copy, canonicalised in place
constexpr std::size_t kHostNameSize = 256;
constexpr std::size_t kUrlPathSize = 2048;
constexpr std::size_t kReadChunkSize = 4096;         // one body read
constexpr std::size_t kStreamPieceSize = 64 * 1024;  // one piece of a streamed body

}  // namespace RVUtil::inet
