#pragma once

#include <cstddef>

namespace RVUtil {

// Asks the kernel to back a large decode buffer with huge pages. Decoding writes every byte
// of the buffer once, and with 4 KiB pages the page faults of a fresh buffer cost as much as
// the decoding itself. Small buffers and refusals are left as they are.
void AdviseLargeBuffer(void* data, std::size_t size);

}  // namespace RVUtil
