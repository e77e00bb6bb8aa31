// Body decoding against what a user would call instead, on a 64 MiB body: DecodeBody's gzip
// path against zlib's inflate, its zstd path against libzstd's own one-shot call, and for a
// frame that records no size against libzstd's streaming decoder into a buffer grown by
// realloc.
// Each pair decodes the same data in the same run, and the ratios are printed at the end.
#include <benchmark/benchmark.h>
#include <zlib.h>
#include <zstd.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <map>
#include <span>
#include <stdexcept>
#include <string>

#include "buffers/LargeBuffer.h"
#include "decoding/ContentDecoding.h"
#include "support/CompressedBodies.h"

namespace {

constexpr std::size_t kBodySize = std::size_t{64} << 20;

const rvtest::Bytes& Plain() {
    static const rvtest::Bytes kPlain = rvtest::TextBytes(kBodySize);
    return kPlain;
}

const rvtest::Bytes& GzipBody() {
    static const rvtest::Bytes kBody = rvtest::Gzip(Plain());
    return kBody;
}

const rvtest::Bytes& ZstdBody() {
    static const rvtest::Bytes kBody = rvtest::Zstd(Plain());
    return kBody;
}

const rvtest::Bytes& ZstdStreamBody() {
    static const rvtest::Bytes kBody = rvtest::Zstd(Plain(), false);
    return kBody;
}

void SetBytes(benchmark::State& state) {
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBodySize));
}

void DecodeBody(benchmark::State& state, RVUtil::decoding::ContentEncoding kind,
                const rvtest::Bytes& compressed) {
    const rvtest::Bytes body = compressed;
    for (auto _ : state) {
        RVUtil::decoding::DecodedBody decoded =
            RVUtil::decoding::DecodeBody(kind, std::as_bytes(std::span(body)));
        if (decoded.failure || decoded.size != kBodySize) {
            state.SkipWithError("DecodeBody failed");
        }
        benchmark::DoNotOptimize(decoded.data.get());
    }
    SetBytes(state);
}

void BM_Gzip_DecodeBody(benchmark::State& state) {
    DecodeBody(state, RVUtil::decoding::ContentEncoding::Gzip, GzipBody());
}

// What a zlib user writes: the gzip wrapper, an output array of the trailer's size, one call.
// With `advised`, the output array gets the same huge-page advice as the library's, which
// leaves the decoders alone to compare.
void ZlibInflate(benchmark::State& state, bool advised) {
    rvtest::Bytes body = GzipBody();
    for (auto _ : state) {
        const std::size_t size =
            std::size_t{body[body.size() - 4]} | std::size_t{body[body.size() - 3]} << 8 |
            std::size_t{body[body.size() - 2]} << 16 | std::size_t{body[body.size() - 1]} << 24;
        BYTE* out = new BYTE[size];
        if (advised) {
            RVUtil::buffers::AdviseLargeBuffer(out, size);
        }
        z_stream z{};
        inflateInit2(&z, 16 + MAX_WBITS);
        z.next_in = body.data();
        z.avail_in = static_cast<uInt>(body.size());
        z.next_out = out;
        z.avail_out = static_cast<uInt>(size);
        if (inflate(&z, Z_FINISH) != Z_STREAM_END || z.total_out != kBodySize) {
            state.SkipWithError("inflate failed");
        }
        inflateEnd(&z);
        benchmark::DoNotOptimize(out);
        delete[] out;
    }
    SetBytes(state);
}

void BM_Gzip_ZlibInflate(benchmark::State& state) {
    ZlibInflate(state, false);
}
void BM_Gzip_ZlibInflateAdvised(benchmark::State& state) {
    ZlibInflate(state, true);
}

void BM_Zstd_DecodeBody(benchmark::State& state) {
    DecodeBody(state, RVUtil::decoding::ContentEncoding::Zstd, ZstdBody());
}
void BM_Zstd_DecodeBodyNoSize(benchmark::State& state) {
    DecodeBody(state, RVUtil::decoding::ContentEncoding::Zstd, ZstdStreamBody());
}

void ZstdLibrary(benchmark::State& state, bool advised) {
    rvtest::Bytes body = ZstdBody();
    for (auto _ : state) {
        const auto size = ZSTD_getFrameContentSize(body.data(), body.size());
        BYTE* out = new BYTE[size];
        if (advised) {
            RVUtil::buffers::AdviseLargeBuffer(out, size);
        }
        if (ZSTD_decompress(out, size, body.data(), body.size()) != kBodySize) {
            state.SkipWithError("ZSTD_decompress failed");
        }
        benchmark::DoNotOptimize(out);
        delete[] out;
    }
    SetBytes(state);
}

void BM_Zstd_Library(benchmark::State& state) {
    ZstdLibrary(state, false);
}
void BM_Zstd_LibraryAdvised(benchmark::State& state) {
    ZstdLibrary(state, true);
}

// What a libzstd user writes for a frame without a size: one streaming context kept between
// bodies, output grown by doubling with realloc (which moves large blocks without copying).
void BM_Zstd_LibraryStreamNoSize(benchmark::State& state) {
    rvtest::Bytes body = ZstdStreamBody();
    ZSTD_DCtx* d = ZSTD_createDCtx();
    for (auto _ : state) {
        ZSTD_DCtx_reset(d, ZSTD_reset_session_only);
        ZSTD_outBuffer out{std::malloc(ZSTD_DStreamOutSize()), ZSTD_DStreamOutSize(), 0};
        ZSTD_inBuffer in{body.data(), body.size(), 0};
        std::size_t left = 1;
        while (left != 0 && !ZSTD_isError(left)) {
            if (out.pos == out.size) {
                out.size *= 2;
                out.dst = std::realloc(out.dst, out.size);
            }
            left = ZSTD_decompressStream(d, &out, &in);
        }
        if (left != 0 || out.pos != kBodySize) {
            state.SkipWithError("ZSTD_decompressStream failed");
        }
        benchmark::DoNotOptimize(out.dst);
        std::free(out.dst);
    }
    ZSTD_freeDCtx(d);
    SetBytes(state);
}

BENCHMARK(BM_Gzip_DecodeBody)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_Gzip_ZlibInflate)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_Gzip_ZlibInflateAdvised)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_Zstd_DecodeBody)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_Zstd_Library)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_Zstd_LibraryAdvised)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_Zstd_DecodeBodyNoSize)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_Zstd_LibraryStreamNoSize)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// Keeps each benchmark's CPU time per iteration for the ratios: the machine is shared, and
// the decoders are single-threaded, so CPU time (page faults included) is the steadier
// measure.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    RatioReporter() : ConsoleReporter(OO_Tabular) {}
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const auto& run : runs) {
            if (run.run_type == Run::RT_Iteration && !run.error_occurred) {
                times[run.run_name.function_name] = run.GetAdjustedCPUTime();
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> times;
};

void PrintRatio(const RatioReporter& r, const char* ours, const char* baseline, double target) {
    const auto a = r.times.find(ours);
    const auto b = r.times.find(baseline);
    if (a == r.times.end() || b == r.times.end() || a->second <= 0) {
        return;
    }
    const double ratio = b->second / a->second;
    char line[200];
    std::snprintf(line, sizeof line, "ratio %s / %s: %.2fx (target >= %.2fx) %s", baseline, ours,
                  ratio, target, ratio >= target ? "ok" : "BELOW TARGET");
    std::cout << line << std::endl;
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    // Data is made before timing starts.
    GzipBody();
    ZstdBody();
    ZstdStreamBody();
    std::cout << "gzip body " << GzipBody().size() << " bytes, zstd body " << ZstdBody().size()
              << " bytes (" << ZstdStreamBody().size() << " without its size), decoded "
              << kBodySize << " bytes" << std::endl;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    std::cout << "speed ratios (higher is better for RVUtil):" << std::endl;
    PrintRatio(reporter, "BM_Gzip_DecodeBody", "BM_Gzip_ZlibInflate", 1.8);
    PrintRatio(reporter, "BM_Zstd_DecodeBody", "BM_Zstd_Library", 0.95);
    PrintRatio(reporter, "BM_Zstd_DecodeBodyNoSize", "BM_Zstd_LibraryStreamNoSize", 0.9);
    std::cout << "decoders alone (both outputs with huge-page advice):" << std::endl;
    PrintRatio(reporter, "BM_Gzip_DecodeBody", "BM_Gzip_ZlibInflateAdvised", 1.8);
    PrintRatio(reporter, "BM_Zstd_DecodeBody", "BM_Zstd_LibraryAdvised", 0.95);
    return 0;
}
