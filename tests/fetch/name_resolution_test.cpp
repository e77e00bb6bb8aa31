// Both fetchers against a name resolver that never answers (UnansweredResolver.h): the read
// ends within its time-out, and nothing after it waits for the lookup it gave up on, neither
// the next request nor the fetcher's end. Lookups given up on hold no more threads than the
// family allows, and leave no thread or descriptor behind once the resolver answers. They
// end on their own threads while the test goes on, so this is a ThreadSanitizer suite too.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <utility>

#include "LogCapture.h"
#include "ReadFamilies.h"
#include "ScopedEnvironment.h"
#include "ScriptedServer.h"
#include "UnansweredResolver.h"

using RVUtil::log::CPXLog;

namespace rvtest {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr unsigned long kTimeout = 1000;
constexpr auto kTimeoutBound = std::chrono::milliseconds(kTimeout) + 1s;
constexpr auto kPrompt = 1s;  // for what must not wait for the resolver, which waits 20 s
// The scripted server's own threads and sockets come and go with its connections.
constexpr int kServerChurn = 2;
constexpr int kRounds = 6;

int EntriesOf(const char* folder) {
    const std::filesystem::directory_iterator entries(folder);
    return static_cast<int>(std::distance(begin(entries), end(entries)));
}
int Threads() {
    return EntriesOf("/proc/self/task");
}
int Descriptors() {
    return EntriesOf("/proc/self/fd");
}

template <class Done>
bool Eventually(Done done) {
    const auto until = Clock::now() + 10s;
    while (!done()) {
        if (Clock::now() > until) {
            return false;
        }
        std::this_thread::sleep_for(10ms);
    }
    return true;
}

template <class Family>
class NameResolutionTest : public ::testing::Test {
  protected:
    using Fetcher = typename Family::Fetcher;

    void SetUp() override {
        m_env.UnsetProxies();
        m_server.SetDefaultReply(Reply(HttpResponse(200, "resolved")));
    }
    void TearDown() override {
        ReleaseUnansweredLookups();
        EXPECT_TRUE(Eventually([] { return UnansweredLookupsWaiting() == 0; }));
    }

    // The read's code, and how long it took.
    std::pair<ErrorCode, Clock::duration> Read(Fetcher& fetcher, const std::string& url) {
        unsigned char* out = nullptr;
        long size = 0;
        CString message;
        const auto start = Clock::now();
        const ErrorCode code =
            Family::kFull(&fetcher, url.c_str(), &out, size, message, nullptr, kTimeout);
        const auto took = Clock::now() - start;
        delete[] out;
        return {code, took};
    }

    const std::string m_unanswered = std::string("http://x") + kUnansweredDomain + "/";
    ScopedEnvironment m_env;
    ScriptedServer m_server;
};

TYPED_TEST_SUITE(NameResolutionTest, Families<::testing::Types>);

TYPED_TEST(NameResolutionTest, TheFetcherEndsAtOnceAfterALookupGivenUpOn) {
    auto fetcher = std::make_unique<typename TypeParam::Fetcher>();
    ASSERT_TRUE(fetcher->Init());
    const int begun = UnansweredLookupsBegun();
    const auto [code, took] = this->Read(*fetcher, this->m_unanswered);
    EXPECT_EQ(code, ERR_REQUEST);
    EXPECT_LT(took, kTimeoutBound);
    EXPECT_EQ(UnansweredLookupsBegun(), begun + 1) << "the fetcher did not ask the resolver";
    const auto start = Clock::now();
    fetcher.reset();
    EXPECT_LT(Clock::now() - start, kPrompt);
}

TYPED_TEST(NameResolutionTest, LookupsGivenUpOnHoldUpNoLaterRequestAndLeaveNothingBehind) {
    typename TypeParam::Fetcher fetcher;
    ASSERT_TRUE(fetcher.Init());
    // Warmed up: libcurl loaded, a kept-alive connection to the server in the pool.
    ASSERT_EQ(this->Read(fetcher, this->m_server.Url("/")).first, ERR_OK);
    const int threads = Threads();
    const int descriptors = Descriptors();
    const int begun = UnansweredLookupsBegun();
    const int held = std::min(kRounds, TypeParam::kAbandonedLookups);
    LogCapture log;
    for (int round = 0; round < kRounds; ++round) {
        SCOPED_TRACE(round);
        const auto [code, took] = this->Read(fetcher, this->m_unanswered);
        EXPECT_EQ(code, ERR_REQUEST);
        EXPECT_LT(took, kTimeoutBound);
        const auto [next, nextTook] = this->Read(fetcher, this->m_server.Url("/"));
        EXPECT_EQ(next, ERR_OK);
        EXPECT_LT(nextTook, kPrompt);
        EXPECT_LE(Threads(), threads + std::min(round + 1, held) + kServerChurn);
    }
    EXPECT_EQ(UnansweredLookupsBegun() - begun, held);
    EXPECT_EQ(UnansweredLookupsWaiting(), held);
    EXPECT_TRUE(log.Contains(CPXLog::LVL_ERROR,
                             TypeParam::UnansweredDetail("x.unanswered.test", kTimeout)));
    if (held < kRounds) {
        EXPECT_TRUE(log.Contains(CPXLog::LVL_ERROR,
                                 "[Http Error Detail]name lookup of x.unanswered.test refused: " +
                                     std::to_string(held) + " earlier lookups still unanswered"));
    }

    ReleaseUnansweredLookups();
    EXPECT_TRUE(Eventually([&] {
        return Threads() <= threads + kServerChurn && Descriptors() <= descriptors + kServerChurn;
    })) << Threads() - threads
        << " threads and " << Descriptors() - descriptors << " descriptors more than before";
    EXPECT_EQ(this->Read(fetcher, this->m_server.Url("/")).first, ERR_OK);
}

}  // namespace
}  // namespace rvtest
