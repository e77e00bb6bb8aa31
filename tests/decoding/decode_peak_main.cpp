// Decodes one large body and prints the result, then the process's peak resident size in KiB
// before and after decoding: run as a fresh process, so that the peak is the decoding's own.
#include <cstdio>
#include <string>

#include "decoding/ContentDecoding.h"
#include "support/ChildProcess.h"
#include "support/CompressedBodies.h"

int main(int argc, char** argv) {
    const std::string which = argc > 1 ? argv[1] : "";
    rvtest::Bytes body;
    if (which == "gzip-bomb") {  // 1 GiB + 1 zero bytes, the size trailer says 16
        body = rvtest::ZeroStreamMember(1024, 1, 16);
    } else if (which == "gzip-members") {  // the trailer speaks of the last member only
        body = rvtest::Concat({rvtest::ZeroStreamMember(256), rvtest::ZeroStreamMember(256)});
    } else {
        return 2;
    }
    const long before = rvtest::PeakResidentKiB();
    BYTE* out = nullptr;
    const long result = RVUtil::DecodeBody(RVUtil::ContentEncoding::Gzip, body.data(),
                                           static_cast<long>(body.size()), &out);
    const long peak = rvtest::PeakResidentKiB();
    delete[] out;
    std::printf("%ld %ld %ld\n", result, before, peak);
    return 0;
}
