#pragma once

#include <cstdint>
#include <vector>

// gzip and zstd bodies made with zlib and libzstd, as servers send them: for rvfetch's
// demonstration, the tests and the benchmarks.
namespace loopback {

using Bytes = std::vector<std::uint8_t>;

// Runs deflate over data with the given window bits (negative: raw, 31: gzip wrapper).
Bytes Deflate(const Bytes& data, int windowBits, int level = 6);
// A standard gzip body as zlib writes it.
Bytes Gzip(const Bytes& data, int level = 6);
// A zstd frame; with recordSize false the header carries no content size, as a streaming
// compressor writes it.
Bytes Zstd(const Bytes& data, bool recordSize = true, int level = 3);

}  // namespace loopback
