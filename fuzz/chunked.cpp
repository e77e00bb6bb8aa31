// Chunked decoding, whole against piecewise: the input decoded in one call must give the
// same data, the same end and the same verdict as the same bytes handed over in small
// pieces into a small output buffer. The first byte chooses the piece sizes.
#include <string>

#include "support/FuzzCheck.h"
#include "transport/ChunkedDecoder.h"

namespace {

using RVUtil::transport::ChunkedDecoder;

struct Outcome {
    ChunkedDecoder::Status status = ChunkedDecoder::Status::NeedMore;
    std::size_t consumed = 0;
    std::string data;
};

Outcome Whole(std::string_view in) {
    Outcome out;
    out.data.resize(in.size());
    std::size_t produced = 0;
    out.status = ChunkedDecoder().Decode(in.data(), in.size(), out.data.data(), out.data.size(),
                                         &out.consumed, &produced);
    out.data.resize(produced);
    return out;
}

Outcome Piecewise(std::string_view in, unsigned schedule) {
    ChunkedDecoder decoder;
    Outcome out;
    const std::size_t room = 1 + schedule % 7;
    std::size_t arrived = 0;
    for (unsigned step = 0; out.status == ChunkedDecoder::Status::NeedMore; ++step) {
        if (out.consumed == arrived) {
            if (arrived == in.size()) {
                break;
            }
            arrived = std::min(in.size(), arrived + 1 + (schedule >> 3) % 5 + step % 3);
        }
        char buffer[8];
        std::size_t consumed = 0;
        std::size_t produced = 0;
        out.status = decoder.Decode(in.data() + out.consumed, arrived - out.consumed, buffer, room,
                                    &consumed, &produced);
        // Each call must move on: take bytes, give data, or reach a verdict.
        FUZZ_CHECK(consumed > 0 || produced > 0 || out.status != ChunkedDecoder::Status::NeedMore);
        FUZZ_CHECK(consumed <= arrived - out.consumed && produced <= room);
        out.consumed += consumed;
        out.data.append(buffer, produced);
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const std::string_view in = rvfuzz::Text(data + 1, size - 1);
    const Outcome whole = Whole(in);
    const Outcome pieces = Piecewise(in, data[0]);
    FUZZ_CHECK(whole.status == pieces.status);
    FUZZ_CHECK(whole.consumed == pieces.consumed);
    FUZZ_CHECK(whole.data == pieces.data);
    FUZZ_CHECK(whole.data.size() <= whole.consumed);
    return 0;
}
