// Appends and splits against what a host would use instead: std::string::append and a
// plain std::string split. Prints each ratio (RVUtil throughput / baseline throughput).
#include <benchmark/benchmark.h>

#include <RVUtil/RVUtil.h>

#include <malloc.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace {

// About 1 MiB in appends of 1 to 64 bytes, the same for both contenders.
struct Appends {
    std::string pool;
    std::vector<std::pair<std::size_t, int>> runs;  // offset into pool, length
    std::size_t total = 0;

    Appends() {
        std::mt19937 rng(42);
        pool.resize(1 << 16);
        for (char& c : pool) {
            c = static_cast<char>('a' + rng() % 26);
        }
        std::uniform_int_distribution<int> length(1, 64);
        while (total < (1u << 20)) {
            const int n = length(rng);
            runs.emplace_back(rng() % (pool.size() - 64), n);
            total += static_cast<std::size_t>(n);
        }
    }
};
const Appends& SharedAppends() {
    static const Appends kData;
    return kData;
}

// About 10 MB of comma-separated fields of 1 to 20 characters.
const std::string& DelimitedText() {
    static const std::string kText = [] {
        std::mt19937 rng(7);
        std::uniform_int_distribution<int> length(1, 20);
        std::string t;
        while (t.size() < 10'000'000) {
            t.append(static_cast<std::size_t>(length(rng)), static_cast<char>('a' + rng() % 26));
            t += ',';
        }
        return t;
    }();
    return kText;
}

// One pass of each contender; every pass returns something to keep the work observable.
const char* MemBufferAppends(RVUtil::CRVMemBuffer& buffer) {
    const Appends& data = SharedAppends();
    for (const auto& [offset, n] : data.runs) {
        buffer.Write(data.pool.data() + offset, n);
    }
    return buffer.GetData();
}
const char* StringAppends(std::string& buffer) {
    const Appends& data = SharedAppends();
    for (const auto& [offset, n] : data.runs) {
        buffer.append(data.pool.data() + offset, static_cast<std::size_t>(n));
    }
    return buffer.data();
}
std::size_t RvutilSplit(const CString& text) {
    std::vector<CString> fields;
    RVUtil::RVUtil_gfnSplit(text, fields, ',', 0);
    return fields.size();
}
std::size_t StdStringSplit(const std::string& text) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (std::size_t hit; (hit = text.find(',', start)) != std::string::npos; start = hit + 1) {
        if (hit != start) {
            fields.emplace_back(text, start, hit - start);
        }
    }
    if (start != text.size()) {
        fields.emplace_back(text, start);
    }
    return fields.size();
}

void BM_MemBufferWrite(benchmark::State& state) {
    for (auto _ : state) {
        RVUtil::CRVMemBuffer buffer;
        benchmark::DoNotOptimize(MemBufferAppends(buffer));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * SharedAppends().total));
}

void BM_StringAppend(benchmark::State& state) {
    for (auto _ : state) {
        std::string buffer;
        benchmark::DoNotOptimize(StringAppends(buffer));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * SharedAppends().total));
}

// The same appends into storage kept from the previous round (Clear / clear()).
void BM_MemBufferWriteReused(benchmark::State& state) {
    RVUtil::CRVMemBuffer buffer;
    for (auto _ : state) {
        buffer.Clear();
        benchmark::DoNotOptimize(MemBufferAppends(buffer));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * SharedAppends().total));
}

void BM_StringAppendReused(benchmark::State& state) {
    std::string buffer;
    for (auto _ : state) {
        buffer.clear();
        benchmark::DoNotOptimize(StringAppends(buffer));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * SharedAppends().total));
}

void BM_SplitVector(benchmark::State& state) {
    const CString text(DelimitedText());
    for (auto _ : state) {
        benchmark::DoNotOptimize(RvutilSplit(text));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * DelimitedText().size()));
}

void BM_StdStringSplit(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(StdStringSplit(DelimitedText()));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * DelimitedText().size()));
}

// Only the split's first step, the copy of the source into a scratch buffer sized for it:
// shows how much of the split's time that copy takes.
void BM_SplitScratchCopy(benchmark::State& state) {
    const CString text(DelimitedText());
    for (auto _ : state) {
        RVUtil::CRVMemBuffer scratch(static_cast<UINT>(text.GetLength()) + 10, 256);
        scratch.Write(text.GetString(), -1);
        benchmark::DoNotOptimize(scratch.GetData());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * DelimitedText().size()));
}

BENCHMARK(BM_MemBufferWrite);
BENCHMARK(BM_StringAppend);
BENCHMARK(BM_MemBufferWriteReused);
BENCHMARK(BM_StringAppendReused);
BENCHMARK(BM_SplitVector)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StdStringSplit)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SplitScratchCopy)->Unit(benchmark::kMillisecond);

// The ratios: the two contenders run in alternating rounds and each keeps its fastest
// round. On a machine shared with other work this cancels most of the interference that
// separately timed benchmarks suffer (their ratios were seen to swing by half).
template <class A, class B>
void PairedRatio(const char* what, std::size_t bytes, int rounds, A&& ours, B&& baseline) {
    using Clock = std::chrono::steady_clock;
    auto fastest = [](auto& best, auto&& run) {
        const auto start = Clock::now();
        run();
        best = std::min(best, Clock::now() - start);
    };
    Clock::duration bestOurs = Clock::duration::max();
    Clock::duration bestBaseline = Clock::duration::max();
    for (int i = 0; i < rounds; ++i) {
        if (i % 2 == 0) {
            fastest(bestOurs, ours);
            fastest(bestBaseline, baseline);
        } else {
            fastest(bestBaseline, baseline);
            fastest(bestOurs, ours);
        }
    }
    const auto mbPerSecond = [bytes](Clock::duration d) {
        return static_cast<double>(bytes) / std::chrono::duration<double>(d).count() / 1e6;
    };
    std::printf("%-42s RVUtil %8.1f MB/s  baseline %8.1f MB/s  ratio %.2f\n", what,
                mbPerSecond(bestOurs), mbPerSecond(bestBaseline),
                mbPerSecond(bestOurs) / mbPerSecond(bestBaseline));
}

void PrintRatios() {
    const std::size_t appended = SharedAppends().total;
    PairedRatio(
        "Write 1-64 B vs string::append (fresh)", appended, 400,
        [] {
            RVUtil::CRVMemBuffer buffer;
            benchmark::DoNotOptimize(MemBufferAppends(buffer));
        },
        [] {
            std::string buffer;
            benchmark::DoNotOptimize(StringAppends(buffer));
        });
    RVUtil::CRVMemBuffer kept;
    std::string keptString;
    PairedRatio(
        "Write 1-64 B vs string::append (reused)", appended, 400,
        [&] {
            kept.Clear();
            benchmark::DoNotOptimize(MemBufferAppends(kept));
        },
        [&] {
            keptString.clear();
            benchmark::DoNotOptimize(StringAppends(keptString));
        });
    const CString text(DelimitedText());
    PairedRatio(
        "Split 10 MB: vector<CString> vs std::string", DelimitedText().size(), 16,
        [&] { benchmark::DoNotOptimize(RvutilSplit(text)); },
        [] { benchmark::DoNotOptimize(StdStringSplit(DelimitedText())); });
}

}  // namespace

int main(int argc, char** argv) {
    // glibc adapts its mmap and trim thresholds to the blocks freed so far, so the cost of
    // a fresh 1 MiB buffer would depend on which benchmark ran before (mmapped blocks are
    // page-faulted anew each time). Fixed thresholds measure what a warmed-up host sees:
    // freed blocks are reused.
    mallopt(M_MMAP_THRESHOLD, 64 << 20);
    mallopt(M_TRIM_THRESHOLD, 128 << 20);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::printf("\nRatios from alternating rounds, fastest round of each:\n");
    PrintRatios();
    return 0;
}
