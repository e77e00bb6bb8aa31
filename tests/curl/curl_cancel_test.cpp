// Threads meeting on one fetcher: Fini cancelling a running transfer, and calls serialised
// by the fetcher's lock. Also run under ThreadSanitizer.
#include <chrono>
#include <thread>
#include <vector>

#include "CurlTestFixture.h"

namespace rvtest {
namespace {

using namespace std::chrono_literals;
using RVUtil::CCurlHttpFetcher;

using CurlThreadsTest = CurlTest;

TEST_F(CurlThreadsTest, FiniFromAnotherThreadCancelsARunningTransfer) {
    m_server.Enqueue(Reply().Hang());
    CCurlHttpFetcher fetcher;
    ASSERT_TRUE(fetcher.Init());
    const std::string url = m_server.Url();
    DWORD result = 99;
    // A time-out long enough that only the cancellation can end the transfer in time.
    std::thread transfer([&] { result = fetcher.Request(url.c_str(), nullptr, nullptr, 20000); });
    ASSERT_TRUE(m_server.WaitForRequests(1, 10s));

    const auto start = std::chrono::steady_clock::now();
    fetcher.Fini();  // returns only once the transfer has let go of the handle
    const auto waited = std::chrono::steady_clock::now() - start;
    transfer.join();

    EXPECT_EQ(result, 0u);
    EXPECT_LT(waited, 10s);
    EXPECT_EQ(LogLines(),
              (std::vector<std::string>{SendError(CURLE_ABORTED_BY_CALLBACK, 0, url), kDetail}));
    EXPECT_FALSE(fetcher.IsInit());
    EXPECT_EQ(fetcher.GetResponseHttpStatus(), 404);

    // The fetcher comes back to life with Init.
    ASSERT_TRUE(fetcher.Init());
    m_server.Enqueue(Reply(HttpResponse(200, "again")));
    EXPECT_EQ(fetcher.Request(url.c_str(), nullptr, nullptr, 5000), 1u);
}

// Calls on one fetcher from several threads are serialised by its lock, while each thread
// also initialises fetchers of its own.
TEST_F(CurlThreadsTest, ThreadsShareAFetcherAndInitialiseTheirOwn) {
    m_server.SetDefaultReply(Reply(HttpResponse(200, "shared")));
    CCurlHttpFetcher fetcher;
    ASSERT_TRUE(fetcher.Init());
    const std::string url = m_server.Url();
    std::atomic<int> completed{0};
    std::atomic<int> ready{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 10; ++i) {
                if (CCurlHttpFetcher own; own.Init()) {
                    ++ready;
                }
                if (fetcher.Request(url.c_str(), nullptr, nullptr, 5000) == 1) {
                    ++completed;
                }
                fetcher.FindHeader("Content-Length");
                fetcher.IsInit();
                fetcher.EndRequest();
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(completed.load(), 40);
    EXPECT_EQ(ready.load(), 40);
}

}  // namespace
}  // namespace rvtest
