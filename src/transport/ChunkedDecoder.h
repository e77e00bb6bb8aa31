#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Incremental decoder of the chunked transfer coding: takes the bytes as they arrive, in
// pieces of any size, and gives back the data they carry.
namespace RVUtil::transport {

class ChunkedDecoder {
  public:
    enum class Status { NeedMore, Done, Bad };

    // Consumes bytes from in (at most inSize) and writes data to out (at most outSize).
    // *consumed and *produced tell how much of each was used. Done once the last chunk and
    // the trailer section have been read (bytes after them are left unconsumed); Bad for a
    // chunk size that is not hexadecimal or too large, a chunk not followed by its line end,
    // or a trailer line that a head could not hold. Nothing is consumed after Done or Bad.
    Status Decode(const char* in, std::size_t inSize, char* out, std::size_t outSize,
                  std::size_t* consumed, std::size_t* produced);
    // After Bad: what was wrong, in a few words ("bad chunk size").
    const char* Fault() const { return m_fault; }

  private:
    enum class State { Size, Extension, Data, DataCr, DataLf, TrailerStart, Done, Bad };

    // Takes one byte of a size line, of the line end after a chunk's data, or of the
    // trailer section: every state but Data reads byte by byte.
    void Step(char c);
    void EndTrailerLine();

    State m_state = State::Size;
    std::uint64_t m_remaining = 0;  // data bytes left in the current chunk, or the size read so far
    bool m_sawDigit = false;
    std::size_t m_trailerBytes = 0;
    std::string m_trailerLine;  // the trailer line read so far
    int m_trailerLines = 0;
    const char* m_fault = "";
};

}  // namespace RVUtil::transport
