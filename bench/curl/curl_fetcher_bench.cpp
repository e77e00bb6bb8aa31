// CCurlHttpFetcher against a plain libcurl easy-handle loop doing the same transfers, in the
// same run, from a loopback server in another process:
//   - small GETs (1 KiB body) over one keep-alive connection: request rate;
//   - one 64 MiB body: throughput, and the growth of peak memory over one transfer (each
//     measured in a fresh child process, so that the two do not share a high-water mark).
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
#include "RVUtil/CCurlHttpFetcher.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr std::size_t kSmallBody = 1024;
constexpr std::size_t kLargeBody = std::size_t{64} << 20;
constexpr DWORD kTimeoutMs = 60000;

// A loopback server in its own process, answering every request with bodyBytes bytes.
class ServerProcess {
  public:
    explicit ServerProcess(std::size_t bodyBytes)
        : m_process({RVUTIL_LOOPBACK_HTTP, std::to_string(bodyBytes)}) {
        const std::string port = m_process.ReadLine(10s);
        if (port.empty()) {
            throw std::runtime_error("the loopback server did not start");
        }
        m_url = "http://127.0.0.1:" + port + "/bench";
    }
    const std::string& Url() const { return m_url; }

  private:
    rvtest::ChildProcess m_process;
    std::string m_url;
};

// What a libcurl user writes without the library: one easy handle, a write callback into a
// reused std::string, the status read after each transfer.
class RawLibcurl {
  public:
    RawLibcurl() : m_curl(curl_easy_init()) {
        curl_easy_setopt(m_curl, CURLOPT_WRITEFUNCTION, &RawLibcurl::Append);
        curl_easy_setopt(m_curl, CURLOPT_WRITEDATA, &m_body);
        curl_easy_setopt(m_curl, CURLOPT_TIMEOUT_MS, static_cast<long>(kTimeoutMs));
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

// The same transfers through the library, as the read functions drive it.
class Fetcher {
  public:
    Fetcher() { m_fetcher.Init(); }
    std::size_t Get(const std::string& url) {
        if (m_fetcher.Request(url.c_str(), nullptr, nullptr, kTimeoutMs) != 1 ||
            m_fetcher.GetResponseHttpStatus() != 200) {
            throw std::runtime_error("fetcher transfer failed");
        }
        const auto size = static_cast<std::size_t>(m_fetcher.GetResponseSize());
        m_fetcher.EndRequest();
        return size;
    }

  private:
    RVUtil::CCurlHttpFetcher m_fetcher;
};

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Transfers per second for `count` transfers.
template <class Client>
double Rate(Client& client, const std::string& url, int count, std::size_t expected) {
    const auto start = Clock::now();
    for (int i = 0; i < count; ++i) {
        if (client.Get(url) != expected) {
            throw std::runtime_error("short body");
        }
    }
    return count / std::chrono::duration<double>(Clock::now() - start).count();
}

struct Comparison {
    double fetcher;  // median of the fetcher's rounds
    double raw;      // median of the baseline's rounds
    double ratio;    // median of the ratios of neighbouring rounds
};

// Rounds in the order fetcher, raw, raw, fetcher, ... so that a drift in the machine's load
// weighs on both alike; each pair of neighbouring rounds gives one ratio.
template <class Measure>
Comparison Alternate(int pairs, Measure measure) {
    std::vector<double> fetcher;
    std::vector<double> raw;
    std::vector<double> ratios;
    for (int pair = 0; pair < pairs; ++pair) {
        const bool fetcherFirst = pair % 2 == 0;
        const double first = measure(fetcherFirst);
        const double second = measure(!fetcherFirst);
        const double ours = fetcherFirst ? first : second;
        const double theirs = fetcherFirst ? second : first;
        fetcher.push_back(ours);
        raw.push_back(theirs);
        ratios.push_back(ours / theirs);
    }
    return {Median(fetcher), Median(raw), Median(ratios)};
}

// The peak resident size of this process so far (VmHWM), in KiB. Unlike getrusage's
// maxrss it starts afresh with exec, so a child does not inherit its parent's peak.
long PeakResidentKiB() {
    const std::string status = rvtest::ReadFile("/proc/self/status");
    const std::size_t at = status.find("VmHWM:");
    return at == std::string::npos ? 0 : std::strtol(status.c_str() + at + 6, nullptr, 10);
}

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

double ChildMemoryMiB(const std::string& which, const std::string& url) {
    rvtest::ChildProcess child({"/proc/self/exe", "--memory", which, url});
    const std::string line = child.ReadLine(120s);
    return std::strtod(line.c_str(), nullptr) / 1024.0;
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
        Rate(fetcher, server.Url(), 500, kSmallBody);  // warm-up: connection and buffers
        Rate(raw, server.Url(), 500, kSmallBody);
        const Comparison small = Alternate(pairs, [&](bool ours) {
            return ours ? Rate(fetcher, server.Url(), smallCount, kSmallBody)
                        : Rate(raw, server.Url(), smallCount, kSmallBody);
        });
        std::printf("small GET, %zu B body, one keep-alive connection (%d x 2 x %d requests)\n",
                    kSmallBody, pairs, smallCount);
        std::printf(
            "  CCurlHttpFetcher %.0f req/s, raw libcurl %.0f req/s, ratio %.3f (target >= "
            "0.95)\n",
            small.fetcher, small.raw, small.ratio);
    }
    {
        ServerProcess server(kLargeBody);
        const double memoryFetcher = ChildMemoryMiB("fetcher", server.Url());
        const double memoryRaw = ChildMemoryMiB("raw", server.Url());
        Fetcher fetcher;
        RawLibcurl raw;
        Rate(fetcher, server.Url(), 1, kLargeBody);
        Rate(raw, server.Url(), 1, kLargeBody);
        const double mib = static_cast<double>(kLargeBody) / (1 << 20);
        const Comparison large = Alternate(pairs, [&](bool ours) {
            return mib * (ours ? Rate(fetcher, server.Url(), 1, kLargeBody)
                               : Rate(raw, server.Url(), 1, kLargeBody));
        });
        std::printf("one 64 MiB body (%d x 2 transfers)\n", pairs);
        std::printf(
            "  CCurlHttpFetcher %.0f MiB/s, raw libcurl %.0f MiB/s, ratio %.3f (target >= 0.9)\n",
            large.fetcher, large.raw, large.ratio);
        std::printf(
            "  peak memory growth over one transfer: CCurlHttpFetcher %.1f MiB, raw libcurl %.1f "
            "MiB\n",
            memoryFetcher, memoryRaw);
    }
    curl_global_cleanup();
    return 0;
}
