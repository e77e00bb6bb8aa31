// CRVHttpFetcher::Request2 against Request on one 64 MiB body from a loopback server in
// another process. Request2 opens its own session and connection for every call and reads
// the body into an array of its declared length, then copies it into the array the object
// keeps; Request reads 4 KiB at a time into a buffer that grows as the body arrives.
//   - from nothing: a fetcher made for each transfer (Request after Init, its buffer
//     growing from 2 KiB) and destroyed after it;
//   - one long-lived fetcher: Request keeps its connection and its grown buffer, Request2
//     still starts from nothing each time;
//   - the growth of peak memory over one transfer.
// Each measurement runs in a fresh child process, so that one side's memory map cannot
// slow the other's (a buffer grown by realloc is fast only while the address space above it
// is free). Children of the two sides alternate; the ratio is the median over pairs.
// Usage: bench_rv_request2 [pairs [transfers-per-child]]
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "LoopbackBench.h"
#include "RVUtil/CRVHttpFetcher.h"

namespace {

using namespace rvbench;

std::size_t CheckedSize(RVUtil::CRVHttpFetcher& fetcher, DWORD status) {
    if (status != 200) {
        throw std::runtime_error("transfer failed");
    }
    return static_cast<std::size_t>(fetcher.GetResponseSize());
}

// One transfer with a fetcher of its own, or with the one the client keeps.
class Client {
  public:
    Client(bool streaming, bool kept) : m_streaming(streaming), m_kept(kept) {
        if (m_kept) {
            m_fetcher = Make();
        }
    }
    std::size_t Get(const std::string& url) {
        std::unique_ptr<RVUtil::CRVHttpFetcher> own;
        RVUtil::CRVHttpFetcher& fetcher = m_kept ? *m_fetcher : *(own = Make());
        if (m_streaming) {
            return CheckedSize(
                fetcher, fetcher.Request2(url.c_str(), nullptr, nullptr, kTimeoutMs, nullptr, 0));
        }
        const std::size_t size =
            CheckedSize(fetcher, fetcher.Request(url.c_str(), nullptr, nullptr, kTimeoutMs));
        fetcher.EndRequest();
        return size;
    }

  private:
    std::unique_ptr<RVUtil::CRVHttpFetcher> Make() const {
        auto fetcher = std::make_unique<RVUtil::CRVHttpFetcher>();
        if (!m_streaming) {
            fetcher->Init();  // Request2 needs nothing of the object
        }
        return fetcher;
    }

    bool m_streaming;
    bool m_kept;
    std::unique_ptr<RVUtil::CRVHttpFetcher> m_fetcher;
};

Client ClientFor(const std::string& which) {
    return Client(which.rfind("request2", 0) == 0, which.find("kept") != std::string::npos);
}

// In a child process: MiB/s (median of the transfers after one warm-up), or the growth of
// peak memory over a single transfer in KiB.
int RunChild(const std::string& mode, const std::string& which, const std::string& url,
             int transfers) {
    Client client = ClientFor(which);
    if (mode == "--memory") {
        const long before = PeakResidentKiB();
        const std::size_t got = client.Get(url);
        std::printf("%ld\n", PeakResidentKiB() - before);
        return got == kLargeBody ? 0 : 1;
    }
    const double mib = static_cast<double>(kLargeBody) / (1 << 20);
    Rate(client, url, 1, kLargeBody);
    std::vector<double> rates;
    for (int i = 0; i < transfers; ++i) {
        rates.push_back(mib * Rate(client, url, 1, kLargeBody));
    }
    std::printf("%f\n", Median(rates));
    return 0;
}

double ChildRate(const std::string& which, const std::string& url, int transfers) {
    rvtest::ChildProcess child({"/proc/self/exe", "--rate", which, url, std::to_string(transfers)});
    const std::string line = child.ReadLine(std::chrono::seconds(300));
    if (line.empty()) {
        throw std::runtime_error("a measuring child failed");
    }
    return std::strtod(line.c_str(), nullptr);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 4 && argv[1][0] == '-') {
        return RunChild(argv[1], argv[2], argv[3], argc > 4 ? std::atoi(argv[4]) : 0);
    }
    const int pairs = argc > 1 ? std::atoi(argv[1]) : 7;
    const int transfers = argc > 2 ? std::atoi(argv[2]) : 5;

    ServerProcess server(kLargeBody);
    const auto compare = [&](const char* ours, const char* other) {
        return Alternate(pairs, [&](bool mine) {
            return ChildRate(mine ? ours : other, server.Url(), transfers);
        });
    };
    const Comparison fresh = compare("request2", "request");
    const Comparison kept = compare("request2-kept", "request-kept");
    const double memoryStreaming = ChildMemoryMiB("request2", server.Url());
    const double memoryRequest = ChildMemoryMiB("request", server.Url());

    std::printf("one 64 MiB body (%d pairs of child processes, %d transfers each)\n", pairs,
                transfers);
    std::printf("  from nothing: Request2 %.0f MiB/s, Request %.0f MiB/s, ratio %.2f\n", fresh.ours,
                fresh.other, fresh.ratio);
    std::printf(
        "  one long-lived fetcher: Request2 %.0f MiB/s, Request (kept connection and buffer) "
        "%.0f MiB/s, ratio %.2f\n",
        kept.ours, kept.other, kept.ratio);
    std::printf(
        "  peak memory growth over one transfer: Request2 %.1f MiB, Request %.1f MiB, ratio "
        "%.2f\n",
        memoryStreaming, memoryRequest, memoryStreaming / memoryRequest);
    return 0;
}
