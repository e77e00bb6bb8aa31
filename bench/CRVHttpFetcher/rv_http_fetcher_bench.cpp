// CRVHttpFetcher against CCurlHttpFetcher doing the same transfers, in the same run, from a
// loopback server in another process:
//   - small GETs (1 KiB body) through one fetcher, Request then EndRequest: request rate;
//   - one 64 MiB body into a freshly initialised fetcher: throughput, the response buffer
//     growing from its initial size as the body arrives;
//   - the same body again and again through one fetcher, whose buffer is already large.
// Rounds of the two alternate and the medians are compared.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
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

using Ours = FetcherClient<RVUtil::CRVHttpFetcher, 200>;
using Curl = FetcherClient<RVUtil::CCurlHttpFetcher, 1>;
using InetRead = ReadFunctionClient<RVUtil::CRVHttpFetcher, &RVUtil::RVUtil_gfnReadHTML>;
using CurlRead = ReadFunctionClient<RVUtil::CCurlHttpFetcher, &RVUtil::RVUtil_gfnCurlReadHTML>;

// MiB/s of one large transfer into a fetcher made for it.
template <class Client>
double FreshThroughput(const std::string& url) {
    Client client;
    const auto start = Clock::now();
    if (client.Get(url) != kLargeBody) {
        throw std::runtime_error("short body");
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    return static_cast<double>(kLargeBody) / (1 << 20) / seconds;
}

}  // namespace

int main(int argc, char** argv) {
    const int smallCount = argc > 1 ? std::atoi(argv[1]) : 20000;
    const int rounds = 7;
    {
        ServerProcess server(kSmallBody);
        Ours ours;
        Curl curl;
        const Comparison small =
            CompareRates(ours, curl, server.Url(), rounds, smallCount, kSmallBody);
        std::printf("small GET, %zu B body, one fetcher (%d x 2 x %d requests)\n", kSmallBody,
                    rounds, smallCount);
        std::printf(
            "  CRVHttpFetcher %.0f req/s, CCurlHttpFetcher %.0f req/s, ratio %.3f (target >= 1.0, "
            "floor 0.9)\n",
            small.ours, small.other, small.ratio);

        InetRead inetRead;
        CurlRead curlRead;
        const Comparison reads =
            CompareRates(inetRead, curlRead, server.Url(), rounds, smallCount, kSmallBody);
        std::printf(
            "  RVUtil_gfnReadHTML %.0f req/s, RVUtil_gfnCurlReadHTML %.0f req/s, ratio %.3f "
            "(target "
            ">= 0.9)\n",
            reads.ours, reads.other, reads.ratio);
    }
    {
        ServerProcess server(kLargeBody);
        FreshThroughput<Ours>(server.Url());
        FreshThroughput<Curl>(server.Url());
        std::vector<double> oursRates;
        std::vector<double> curlRates;
        for (int round = 0; round < rounds; ++round) {
            oursRates.push_back(FreshThroughput<Ours>(server.Url()));
            curlRates.push_back(FreshThroughput<Curl>(server.Url()));
        }
        const double a = Median(oursRates);
        const double b = Median(curlRates);
        std::printf("one 64 MiB body into a fresh fetcher (%d rounds)\n", rounds);
        std::printf(
            "  CRVHttpFetcher %.0f MiB/s, CCurlHttpFetcher %.0f MiB/s, ratio %.3f (target >= "
            "0.8)\n",
            a, b, a / b);

        Ours ours;
        Curl curl;
        const double mib = static_cast<double>(kLargeBody) / (1 << 20);
        Rate(ours, server.Url(), 1, kLargeBody);
        Rate(curl, server.Url(), 1, kLargeBody);
        oursRates.clear();
        curlRates.clear();
        for (int round = 0; round < rounds; ++round) {
            oursRates.push_back(mib * Rate(ours, server.Url(), 2, kLargeBody));
            curlRates.push_back(mib * Rate(curl, server.Url(), 2, kLargeBody));
        }
        const double c = Median(oursRates);
        const double d = Median(curlRates);
        std::printf("64 MiB bodies through one fetcher (%d x 2 transfers)\n", rounds);
        std::printf("  CRVHttpFetcher %.0f MiB/s, CCurlHttpFetcher %.0f MiB/s, ratio %.3f\n", c, d,
                    c / d);
    }
    return 0;
}
