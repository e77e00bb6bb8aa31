#pragma once

// What the fetcher benchmarks share: a loopback server in a process of its own, the
// library's fetchers and read functions as clients, request rates, rounds of two
// contenders that alternate so that a drift in the machine's load weighs on both alike,
// and the peak memory of one transfer in a fresh process.
#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "RVUtil/CString.h"
#include "RVUtil/CTime32.h"
#include "RVUtil/ErrorCode.h"
#include "RVUtil/Fetch.h"
#include "RVUtil/WinTypes.h"

namespace rvbench {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kSmallBody = 1024;
constexpr std::size_t kLargeBody = std::size_t{64} << 20;
constexpr DWORD kTimeoutMs = 60000;

// GETs through one of the library's fetchers: Request, the status check, EndRequest.
// Completed is what the fetcher's Request returns for a completed exchange.
template <class Fetcher, DWORD Completed>
class FetcherClient {
  public:
    FetcherClient() { m_fetcher.Init(); }
    std::size_t Get(const std::string& url) {
        if (m_fetcher.Request(url.c_str(), nullptr, nullptr, kTimeoutMs) != Completed ||
            m_fetcher.GetResponseHttpStatus() != 200) {
            throw std::runtime_error("fetcher transfer failed");
        }
        const auto size = static_cast<std::size_t>(m_fetcher.GetResponseSize());
        m_fetcher.EndRequest();
        return size;
    }

  private:
    Fetcher m_fetcher;
};

// The full read function of either family on its own fetcher (status check, body copy,
// verdict header, expiry, EndRequest), the body released as a host would.
template <class Fetcher, RVUtil::ErrorCode (*Read)(Fetcher*, const char*, unsigned char**, long&,
                                                   CString&, CTime32*, unsigned long)>
class ReadFunctionClient {
  public:
    ReadFunctionClient() { m_fetcher.Init(); }
    std::size_t Get(const std::string& url) {
        unsigned char* body = nullptr;
        long size = 0;
        CString message;
        CTime32 expiry;
        if (Read(&m_fetcher, url.c_str(), &body, size, message, &expiry, kTimeoutMs) !=
            RVUtil::ERR_OK) {
            throw std::runtime_error("read function failed");
        }
        delete[] body;
        return static_cast<std::size_t>(size);
    }
    Fetcher& Fetched() { return m_fetcher; }

  private:
    Fetcher m_fetcher;
};

// The same GET through the outcome interface (RVUtil::Fetch), the body whole.
template <class Fetcher>
class FetchClient {
  public:
    FetchClient() { m_fetcher.Init(); }
    std::size_t Get(const std::string& url) {
        const RVUtil::FetchOutcome outcome = RVUtil::Fetch(m_fetcher, url, m_options);
        if (!outcome) {
            throw std::runtime_error("fetch failed: " + outcome.failure.words);
        }
        return outcome.body.size();
    }

  private:
    Fetcher m_fetcher;
    RVUtil::FetchOptions m_options = [] {
        RVUtil::FetchOptions options;
        options.timeout = std::chrono::milliseconds(kTimeoutMs);
        return options;
    }();
};

// rvutil_loopback_http in its own process, answering every request with bodyBytes bytes
// (gzip: that many bytes of text, sent gzip-compressed).
class ServerProcess {
  public:
    explicit ServerProcess(std::size_t bodyBytes, bool gzip = false)
        : m_process(
              gzip ? std::vector<std::string>{RVUTIL_LOOPBACK_HTTP, std::to_string(bodyBytes),
                                              "gzip"}
                   : std::vector<std::string>{RVUTIL_LOOPBACK_HTTP, std::to_string(bodyBytes)}) {
        const std::string port = m_process.ReadLine(std::chrono::seconds(10));
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

inline double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Transfers per second for `count` transfers of client.Get, each of `expected` bytes.
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
    double ours;   // median of our rounds
    double other;  // median of the other's rounds
    double ratio;  // median of the ratios of neighbouring rounds
};

// Rounds in the order ours, other, other, ours, ... ; each pair of neighbouring rounds
// gives one ratio. measure(true) measures ours, measure(false) the other.
template <class Measure>
Comparison Alternate(int pairs, Measure measure) {
    std::vector<double> ours;
    std::vector<double> other;
    std::vector<double> ratios;
    for (int pair = 0; pair < pairs; ++pair) {
        const bool oursFirst = pair % 2 == 0;
        const double first = measure(oursFirst);
        const double second = measure(!oursFirst);
        ours.push_back(oursFirst ? first : second);
        other.push_back(oursFirst ? second : first);
        ratios.push_back(ours.back() / other.back());
    }
    return {Median(ours), Median(other), Median(ratios)};
}

// Alternate over the rates of count transfers of expected bytes each by ours and by other,
// after warmUp transfers of each (connections opened, buffers grown).
template <class Ours, class Other>
Comparison CompareRates(Ours& ours, Other& other, const std::string& url, int pairs, int count,
                        std::size_t expected, int warmUp = 500) {
    Rate(ours, url, warmUp, expected);
    Rate(other, url, warmUp, expected);
    return Alternate(pairs, [&](bool mine) {
        return mine ? Rate(ours, url, count, expected) : Rate(other, url, count, expected);
    });
}

using rvtest::PeakResidentKiB;

// Runs this program again as "<self> --memory <which> <url>" and reads the KiB it prints
// (its peak growth over one transfer) as MiB: a fresh process, so that the transfer has
// the high-water mark to itself.
inline double ChildMemoryMiB(const std::string& which, const std::string& url) {
    rvtest::ChildProcess child({"/proc/self/exe", "--memory", which, url});
    const std::string line = child.ReadLine(std::chrono::seconds(120));
    return std::strtod(line.c_str(), nullptr) / 1024.0;
}

}  // namespace rvbench
