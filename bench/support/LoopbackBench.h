#pragma once

// What the fetcher benchmarks share: a loopback server in a process of its own, request
// rates, and rounds of two contenders that alternate so that a drift in the machine's load
// weighs on both alike.
#include <algorithm>
#include <chrono>
#include <cstddef>
#include <stdexcept>
#include <string>
#include <vector>

#include "ChildProcess.h"

namespace rvbench {

using Clock = std::chrono::steady_clock;

// rvutil_loopback_http in its own process, answering every request with bodyBytes bytes.
class ServerProcess {
  public:
    explicit ServerProcess(std::size_t bodyBytes)
        : m_process({RVUTIL_LOOPBACK_HTTP, std::to_string(bodyBytes)}) {
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

}  // namespace rvbench
