// CCurlHttpFetcher against a plain libcurl easy-handle loop doing the same transfers, in the
// same run, from a loopback server in another process:
//   - small GETs (1 KiB body) over one keep-alive connection: request rate, of the fetcher,
//     of the read function RVUtil_gfnCurlReadHTML (which adds the status, verdict and expiry
//     steps), and of the outcome call RVUtil::Fetch against that read function;
//   - one 64 MiB body: throughput of the fetcher and of both families' read functions, and
//     the growth of peak memory over one transfer (each measured in a fresh child process,
//     so that the two do not share a high-water mark);
//   - a 64 MiB gzip text body (about 10 MiB on the wire): the curl read function asking for
//     gzip against the raw loop with libcurl's own gzip decoding (zlib).
// Rounds of the two alternate; the ratio is the median over pairs of neighbouring rounds.
// Usage: bench_curl_fetcher [requests-per-round [pairs]]
#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "LoopbackBench.h"
#include "RVUtil/CCurlHttpFetcher.h"
#include "RVUtil/CRVHttpFetcher.h"
#include "RVUtil/CurlReadFunctions.h"
#include "RVUtil/InetReadFunctions.h"

namespace {

using namespace std::chrono_literals;
using namespace rvbench;

// What a libcurl user writes without the library: one easy handle, a write callback into a
// reused std::string, the status read after each transfer.
class RawLibcurl {
  public:
    // gzip: libcurl asks for gzip and decodes it itself.
    explicit RawLibcurl(bool gzip = false) : m_curl(curl_easy_init()) {
        curl_easy_setopt(m_curl, CURLOPT_WRITEFUNCTION, &RawLibcurl::Append);
        curl_easy_setopt(m_curl, CURLOPT_WRITEDATA, &m_body);
        curl_easy_setopt(m_curl, CURLOPT_TIMEOUT_MS, static_cast<long>(kTimeoutMs));
        if (gzip) {
            curl_easy_setopt(m_curl, CURLOPT_ACCEPT_ENCODING, "gzip");
        }
    }
    ~RawLibcurl() { curl_easy_cleanup(m_curl); }

    std::size_t Get(const std::string& url) {
        m_body.clear();
        curl_easy_setopt(m_curl, CURLOPT_URL, url.c_str());
        long status = 0;
        if (curl_easy_perform(m_curl) != CURLE_OK ||
            curl_easy_getinfo(m_curl, CURLINFO_RESPONSE_CODE, &status) != CURLE_OK ||
            status != 200) {
            throw std::runtime_error("raw libcurl transfer failed");
        }
        return m_body.size();
    }

  private:
    static std::size_t Append(char* data, std::size_t size, std::size_t count, void* user) {
        static_cast<std::string*>(user)->append(data, size * count);
        return size * count;
    }
    CURL* m_curl;
    std::string m_body;
};

// The same transfers through the library, and through its full read function.
using Fetcher = FetcherClient<RVUtil::CCurlHttpFetcher, 1>;
using ReadFunction = ReadFunctionClient<RVUtil::CCurlHttpFetcher, &RVUtil::RVUtil_gfnCurlReadHTML>;
using OwnReadFunction = ReadFunctionClient<RVUtil::CRVHttpFetcher, &RVUtil::RVUtil_gfnReadHTML>;
using Outcome = FetchClient<RVUtil::CCurlHttpFetcher>;

// In a child process: the growth of peak memory over one large transfer.
int MeasureMemory(const std::string& which, const std::string& url) {
    std::size_t got = 0;
    long before = 0;
    if (which == "fetcher") {
        Fetcher client;
        before = PeakResidentKiB();
        got = client.Get(url);
    } else {
        RawLibcurl client;
        before = PeakResidentKiB();
        got = client.Get(url);
    }
    std::printf("%ld\n", PeakResidentKiB() - before);
    return got == kLargeBody ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    curl_global_init(CURL_GLOBAL_DEFAULT);
    if (argc == 4 && std::strcmp(argv[1], "--memory") == 0) {
        return MeasureMemory(argv[2], argv[3]);
    }
    const int smallCount = argc > 1 ? std::atoi(argv[1]) : 1000;
    const int pairs = argc > 2 ? std::atoi(argv[2]) : 31;

    {
        ServerProcess server(kSmallBody);
        Fetcher fetcher;
        RawLibcurl raw;
        const Comparison small =
            CompareRates(fetcher, raw, server.Url(), pairs, smallCount, kSmallBody);
        std::printf("small GET, %zu B body, one keep-alive connection (%d x 2 x %d requests)\n",
                    kSmallBody, pairs, smallCount);
        std::printf(
            "  CCurlHttpFetcher %.0f req/s, raw libcurl %.0f req/s, ratio %.3f (target >= "
            "0.95)\n",
            small.ours, small.other, small.ratio);

        ReadFunction read;
        const Comparison reads =
            CompareRates(read, raw, server.Url(), pairs, smallCount, kSmallBody);
        std::printf(
            "  RVUtil_gfnCurlReadHTML %.0f req/s, raw libcurl %.0f req/s, ratio %.3f (target >= "
            "0.9)\n",
            reads.ours, reads.other, reads.ratio);

        Outcome outcome;
        const Comparison fetches =
            CompareRates(outcome, read, server.Url(), pairs, smallCount, kSmallBody);
        std::printf(
            "  RVUtil::Fetch %.0f req/s, RVUtil_gfnCurlReadHTML %.0f req/s, ratio %.3f (target >= "
            "0.98)\n",
            fetches.ours, fetches.other, fetches.ratio);
    }
    {
        ServerProcess server(kLargeBody);
        const double memoryFetcher = ChildMemoryMiB("fetcher", server.Url());
        const double memoryRaw = ChildMemoryMiB("raw", server.Url());
        Fetcher fetcher;
        RawLibcurl raw;
        const double mib = static_cast<double>(kLargeBody) / (1 << 20);
        Comparison large = CompareRates(fetcher, raw, server.Url(), pairs, 1, kLargeBody, 1);
        large.ours *= mib;
        large.other *= mib;
        std::printf("one 64 MiB body (%d x 2 transfers)\n", pairs);
        std::printf(
            "  CCurlHttpFetcher %.0f MiB/s, raw libcurl %.0f MiB/s, ratio %.3f (target >= 0.9)\n",
            large.ours, large.other, large.ratio);
        std::printf(
            "  peak memory growth over one transfer: CCurlHttpFetcher %.1f MiB, raw libcurl %.1f "
            "MiB\n",
            memoryFetcher, memoryRaw);

        for (const bool own : {false, true}) {
            Comparison read = own ? [&] {
                OwnReadFunction client;
                return CompareRates(client, raw, server.Url(), pairs, 1, kLargeBody, 1);
            }()
                                  : [&] {
                                        ReadFunction client;
                                        return CompareRates(client, raw, server.Url(), pairs, 1,
                                                            kLargeBody, 1);
                                    }();
            std::printf("  %s %.0f MiB/s, raw libcurl %.0f MiB/s, ratio %.3f (target >= 0.7)\n",
                        own ? "RVUtil_gfnReadHTML" : "RVUtil_gfnCurlReadHTML", read.ours * mib,
                        read.other * mib, read.ratio);
        }
    }
    {
        ServerProcess server(kLargeBody, true);
        ReadFunction read;
        read.Fetched().AddHeader("Accept-Encoding", "gzip");
        RawLibcurl raw(true);
        const double mib = static_cast<double>(kLargeBody) / (1 << 20);
        const Comparison gzip = CompareRates(read, raw, server.Url(), pairs, 1, kLargeBody, 1);
        std::printf("one 64 MiB gzip text body (%d x 2 transfers)\n", pairs);
        std::printf(
            "  RVUtil_gfnCurlReadHTML with Accept-Encoding gzip %.0f MiB/s, raw libcurl with its "
            "gzip decoding %.0f MiB/s, ratio %.3f (target >= 2.5)\n",
            gzip.ours * mib, gzip.other * mib, gzip.ratio);
    }
    curl_global_cleanup();
    return 0;
}
