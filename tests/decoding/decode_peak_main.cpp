// Decodes one large body and prints the result, the process's peak resident size in KiB
// before and after decoding, and the failure's kind: run as a fresh process, so that the peak
// is the decoding's own.
#include <cstdio>
#include <span>
#include <string>

#include "RVUtil/BodyLimit.h"
#include "decoding/ContentDecoding.h"
#include "support/ChildProcess.h"
#include "support/CompressedBodies.h"

int main(int argc, char** argv) {
    constexpr std::size_t kMiB = std::size_t{1} << 20;
    const std::string which = argc > 1 ? argv[1] : "";
    const auto zstdZeros = [](std::size_t mebibytes, bool recordSize) {
        return rvtest::Zstd(rvtest::Bytes(mebibytes * kMiB, 0), recordSize);
    };
    RVUtil::decoding::ContentEncoding kind = RVUtil::decoding::ContentEncoding::Gzip;
    rvtest::Bytes body;
    if (which == "gzip-members") {  // the trailer speaks of the last member only
        body = rvtest::Concat({rvtest::ZeroStreamMember(256), rvtest::ZeroStreamMember(256)});
    } else {
        // 150 MiB of zeros under a limit of 100 MiB.
        RVUtil::RVUtil_gfnSetBodyLimit(100 * kMiB);
        if (which == "gzip") {
            body = rvtest::ZeroStreamMember(150);
        } else if (which == "gzip-trailer-16") {
            body = rvtest::ZeroStreamMember(150, 0, 16);
        } else if (which == "gzip-trailer-99m") {  // a first guess just under the limit
            body = rvtest::ZeroStreamMember(150, 0, 99 * kMiB);
        } else {
            kind = RVUtil::decoding::ContentEncoding::Zstd;
            if (which == "zstd") {
                body = zstdZeros(150, true);
            } else if (which == "zstd-no-size") {
                body = zstdZeros(150, false);
            } else if (which == "zstd-frames") {
                body = rvtest::Concat({zstdZeros(75, true), zstdZeros(75, true)});
            } else if (which == "zstd-frames-no-size") {
                body = rvtest::Concat({zstdZeros(75, false), zstdZeros(75, false)});
            } else {
                return 2;
            }
        }
    }
    rvtest::WriteFile("/proc/self/clear_refs", "5");  // the peak starts from here
    const long before = rvtest::PeakResidentKiB();
    RVUtil::decoding::DecodedBody decoded =
        RVUtil::decoding::DecodeBody(kind, std::as_bytes(std::span(body)));
    const long peak = rvtest::PeakResidentKiB();
    decoded.data.reset();
    std::printf("%zu %ld %ld %s\n", decoded.size, before, peak,
                RVUtil::FailureKindName(decoded.failure.kind));
    return 0;
}
