#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <span>

#include "RVUtil/Failure.h"
#include "decoding/ContentDecoding.h"

namespace RVUtil::decoding {

// Decodes a body that arrives in pieces, handing each piece of output on as it is made, in
// memory that does not grow with the body. It takes what the whole-body decoders take:
// gzip of one or more members, each with its CRC-32 checked and its size trailer not, and
// nothing but zero bytes after the last one; zstd of one or more frames, with or without
// recorded sizes. One difference: a zstd frame whose window is over 8 MiB (only long-range
// compression makes one) is refused, as holding its window would cost that much memory.
class StreamDecoder {
  public:
    // Takes one piece of output, valid during the call; false stops the decoding.
    using Output = std::function<bool(std::span<const std::byte>)>;

    // A decoder for kind; null for None, or when no memory can be had.
    static std::unique_ptr<StreamDecoder> Make(ContentEncoding kind);
    virtual ~StreamDecoder() = default;

    // Decodes the next piece of input. False when it does not decode (LastFailure says why)
    // or out said to stop (LastFailure stays empty).
    virtual bool Feed(std::span<const std::byte> in, const Output& out) = 0;
    // The input has ended: false, with LastFailure saying why, when it ended inside a member
    // or frame, or held none.
    virtual bool Finish() = 0;

    const Failure& LastFailure() const { return m_failure; }

  protected:
    bool Fail(long code, std::string words) {
        m_failure = Failure{FailureKind::Decoding, code, std::move(words)};
        return false;
    }

  private:
    Failure m_failure;
};

}  // namespace RVUtil::decoding
