// CRVHttpFetcher::Request2 against Request on one 64 MiB body from a loopback server in
// another process, each transfer starting from nothing as Request2 always does: Request2
// opens its own session and connection and allocates the body at its declared length (plus
// the copy the object keeps); Request runs on a fetcher made and initialised for the
// transfer, its buffer growing from 2 KiB as the body arrives. Throughput alternates rounds
// and takes the median ratio; the growth of peak memory over one transfer is measured in a
// fresh child process for each. Request through one long-lived fetcher (kept connection,
// buffer already grown) is shown for reference.
// Usage: bench_rv_request2 [pairs]
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>

#include "LoopbackBench.h"
#include "RVUtil/CRVHttpFetcher.h"

namespace {

using namespace rvbench;

constexpr std::size_t kBody = std::size_t{64} << 20;
constexpr DWORD kTimeoutMs = 60000;

std::size_t checkedSize(RVUtil::CRVHttpFetcher& fetcher, DWORD status) {
    if (status != 200) {
        throw std::runtime_error("transfer failed");
    }
    return static_cast<std::size_t>(fetcher.GetResponseSize());
}

class Streaming {
  public:
    std::size_t Get(const std::string& url) {
        return checkedSize(
            m_fetcher, m_fetcher.Request2(url.c_str(), nullptr, nullptr, kTimeoutMs, nullptr, 0));
    }

  private:
    RVUtil::CRVHttpFetcher m_fetcher;  // never initialised: Request2 needs nothing of it
};

class FreshRequest {
  public:
    std::size_t Get(const std::string& url) {
        RVUtil::CRVHttpFetcher fetcher;
        fetcher.Init();
        return checkedSize(fetcher, fetcher.Request(url.c_str(), nullptr, nullptr, kTimeoutMs));
    }
};

class KeptRequest {
  public:
    KeptRequest() { m_fetcher.Init(); }
    std::size_t Get(const std::string& url) {
        const std::size_t size =
            checkedSize(m_fetcher, m_fetcher.Request(url.c_str(), nullptr, nullptr, kTimeoutMs));
        m_fetcher.EndRequest();
        return size;
    }

  private:
    RVUtil::CRVHttpFetcher m_fetcher;
};

// In a child process: the growth of peak memory over one transfer.
template <class Client>
int measureMemory(const std::string& url) {
    Client client;
    const long before = PeakResidentKiB();
    const std::size_t got = client.Get(url);
    std::printf("%ld\n", PeakResidentKiB() - before);
    return got == kBody ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "--memory") == 0) {
        return std::strcmp(argv[2], "request2") == 0 ? measureMemory<Streaming>(argv[3])
                                                     : measureMemory<FreshRequest>(argv[3]);
    }
    const int pairs = argc > 1 ? std::atoi(argv[1]) : 11;
    const double mib = static_cast<double>(kBody) / (1 << 20);

    ServerProcess server(kBody);
    const double memoryStreaming = ChildMemoryMiB("request2", server.Url());
    const double memoryRequest = ChildMemoryMiB("request", server.Url());
    Streaming streaming;
    FreshRequest fresh;
    KeptRequest kept;
    Rate(streaming, server.Url(), 1, kBody);  // warm-up
    Rate(fresh, server.Url(), 1, kBody);
    Rate(kept, server.Url(), 1, kBody);
    const Comparison large = Alternate(pairs, [&](bool ours) {
        return mib * (ours ? Rate(streaming, server.Url(), 1, kBody)
                           : Rate(fresh, server.Url(), 1, kBody));
    });
    const Comparison warm = Alternate(pairs, [&](bool ours) {
        return mib * (ours ? Rate(streaming, server.Url(), 1, kBody)
                           : Rate(kept, server.Url(), 1, kBody));
    });
    std::printf("one 64 MiB body, each transfer from nothing (%d x 2 transfers)\n", pairs);
    std::printf("  Request2 %.0f MiB/s, Request on a fresh fetcher %.0f MiB/s, ratio %.3f\n",
                large.ours, large.theirs, large.ratio);
    std::printf("  Request2 %.0f MiB/s, Request on a kept fetcher %.0f MiB/s, ratio %.3f\n",
                warm.ours, warm.theirs, warm.ratio);
    std::printf(
        "  peak memory growth over one transfer: Request2 %.1f MiB, Request %.1f MiB, ratio "
        "%.2f\n",
        memoryStreaming, memoryRequest, memoryStreaming / memoryRequest);
    return 0;
}
