// Appends and splits against what a host would use instead: std::string::append and a
// plain std::string split. Prints each ratio (RVUtil throughput / baseline throughput).
#include <benchmark/benchmark.h>

#include <RVUtil/RVUtil.h>

#include <cstdio>
#include <map>
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
const Appends& appends() {
    static const Appends data;
    return data;
}

// About 10 MB of comma-separated fields of 1 to 20 characters.
const std::string& delimitedText() {
    static const std::string text = [] {
        std::mt19937 rng(7);
        std::uniform_int_distribution<int> length(1, 20);
        std::string t;
        while (t.size() < 10'000'000) {
            t.append(static_cast<std::size_t>(length(rng)), static_cast<char>('a' + rng() % 26));
            t += ',';
        }
        return t;
    }();
    return text;
}

void BM_MemBufferWrite(benchmark::State& state) {
    const Appends& data = appends();
    for (auto _ : state) {
        RVUtil::CRVMemBuffer buffer;
        for (const auto& [offset, n] : data.runs) {
            buffer.Write(data.pool.data() + offset, n);
        }
        benchmark::DoNotOptimize(buffer.GetData());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.total));
}

void BM_StringAppend(benchmark::State& state) {
    const Appends& data = appends();
    for (auto _ : state) {
        std::string buffer;
        for (const auto& [offset, n] : data.runs) {
            buffer.append(data.pool.data() + offset, static_cast<std::size_t>(n));
        }
        benchmark::DoNotOptimize(buffer.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.total));
}

// The same appends into storage kept from the previous round (Clear / clear()).
void BM_MemBufferWriteReused(benchmark::State& state) {
    const Appends& data = appends();
    RVUtil::CRVMemBuffer buffer;
    for (auto _ : state) {
        buffer.Clear();
        for (const auto& [offset, n] : data.runs) {
            buffer.Write(data.pool.data() + offset, n);
        }
        benchmark::DoNotOptimize(buffer.GetData());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.total));
}

void BM_StringAppendReused(benchmark::State& state) {
    const Appends& data = appends();
    std::string buffer;
    for (auto _ : state) {
        buffer.clear();
        for (const auto& [offset, n] : data.runs) {
            buffer.append(data.pool.data() + offset, static_cast<std::size_t>(n));
        }
        benchmark::DoNotOptimize(buffer.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.total));
}

void BM_SplitVector(benchmark::State& state) {
    const CString text(delimitedText());
    for (auto _ : state) {
        std::vector<CString> fields;
        RVUtil::RVUtil_gfnSplit(text, fields, ',', 0);
        benchmark::DoNotOptimize(fields.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * delimitedText().size()));
}

// Only the split's first step, the copy of the source into a scratch buffer sized for it:
// shows how much of the split's time that copy takes.
void BM_SplitScratchCopy(benchmark::State& state) {
    const CString text(delimitedText());
    for (auto _ : state) {
        RVUtil::CRVMemBuffer scratch(static_cast<UINT>(text.GetLength()) + 10, 256);
        scratch.Write(text.GetString(), -1);
        benchmark::DoNotOptimize(scratch.GetData());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * delimitedText().size()));
}

void BM_StdStringSplit(benchmark::State& state) {
    const std::string& text = delimitedText();
    for (auto _ : state) {
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
        benchmark::DoNotOptimize(fields.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

BENCHMARK(BM_MemBufferWrite);
BENCHMARK(BM_StringAppend);
BENCHMARK(BM_MemBufferWriteReused);
BENCHMARK(BM_StringAppendReused);
BENCHMARK(BM_SplitVector)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StdStringSplit)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SplitScratchCopy)->Unit(benchmark::kMillisecond);

// Prints as usual and keeps each benchmark's throughput for the ratios: the median when
// the run is repeated (--benchmark_repetitions=N; aggregates follow the single runs and
// replace them), otherwise the single result.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            const auto it = run.counters.find("bytes_per_second");
            if (it != run.counters.end() &&
                (run.run_type == Run::RT_Iteration || run.aggregate_name == "median")) {
                throughput[run.run_name.function_name] = it->second.value;
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> throughput;
};

void printRatio(const std::map<std::string, double>& t, const char* what, const char* ours,
                const char* baseline) {
    const auto a = t.find(ours);
    const auto b = t.find(baseline);
    if (a == t.end() || b == t.end() || b->second <= 0) {
        return;
    }
    std::printf("%-40s RVUtil %8.1f MB/s  baseline %8.1f MB/s  ratio %.2f\n", what, a->second / 1e6,
                b->second / 1e6, a->second / b->second);
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    std::printf("\n");
    printRatio(reporter.throughput, "Write 1-64 B vs string::append (fresh)", "BM_MemBufferWrite",
               "BM_StringAppend");
    printRatio(reporter.throughput, "Write 1-64 B vs string::append (reused)",
               "BM_MemBufferWriteReused", "BM_StringAppendReused");
    printRatio(reporter.throughput, "Split 10 MB into vector<CString>", "BM_SplitVector",
               "BM_StdStringSplit");
    return 0;
}
