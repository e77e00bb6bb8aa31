// Request throughput of CRVReqQueue + CRVReqThread against a plain mutex + condition
// variable queue of unique_ptr doing the same work, and the cost of the de-duplicating and
// ordered adds as the queue grows. Prints the figures and the ratios.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "RVUtil/RVUtil.h"

namespace {

using Clock = std::chrono::steady_clock;
using RVUtil::CRVReqObject;
using RVUtil::CRVReqQueue;

class Request : public CRVReqObject {
  public:
    explicit Request(int key, int behind = -1) : key(key), behind(behind) {}
    BOOL IsSameRequest(CObject* other) override {
        return static_cast<Request*>(other)->key == key ? TRUE : FALSE;
    }
    BOOL IsInsertAfter(CObject* other) override {
        return static_cast<Request*>(other)->behind == key ? TRUE : FALSE;
    }
    const int key;
    const int behind;
};

// What a trivial OnRequest does, in both set-ups.
std::atomic<long> g_sink{0};
void Process(CObject* request) {
    g_sink.fetch_add(static_cast<Request*>(request)->key & 1, std::memory_order_relaxed);
}

class Runnable : public RVUtil::IRVReqThreadRunnable {
  public:
    Runnable(CRVReqQueue* queue, int expected) : m_queue(queue), m_expected(expected) {}
    HRESULT GetReqQueue(CRVReqQueue** ppQueue) override {
        *ppQueue = m_queue;
        return 0;
    }
    HRESULT OnThreadStart() override { return 0; }
    HRESULT OnRequest(CObject* pReq) override {
        Process(pReq);
        if (++m_seen == m_expected) {
            m_done.SetEvent();
        }
        return 0;
    }
    HRESULT OnThreadEnd() override { return 0; }
    void WaitDone() { m_done.Lock(INFINITE); }

  private:
    CRVReqQueue* m_queue;
    const int m_expected;
    int m_seen = 0;
    CEvent m_done;
};

double RvUtilRate(int count) {
    CRVReqQueue queue;
    Runnable runnable(&queue, count);
    RVUtil::CRVReqThread worker(&runnable);
    worker.Start();
    const auto start = Clock::now();
    for (int i = 0; i < count; ++i) {
        queue.AddRequest(new Request(i));
    }
    runnable.WaitDone();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    worker.Stop();
    return count / seconds;
}

double PlainRate(int count) {
    std::mutex mutex;
    std::condition_variable ready;
    std::deque<std::unique_ptr<Request>> queue;
    std::thread consumer([&] {
        for (int seen = 0; seen < count; ++seen) {
            std::unique_ptr<Request> request;
            {
                std::unique_lock<std::mutex> lock(mutex);
                ready.wait(lock, [&] { return !queue.empty(); });
                request = std::move(queue.front());
                queue.pop_front();
            }
            Process(request.get());
        }
    });
    const auto start = Clock::now();
    for (int i = 0; i < count; ++i) {
        {
            std::lock_guard<std::mutex> lock(mutex);
            queue.push_back(std::make_unique<Request>(i));
        }
        ready.notify_one();
    }
    consumer.join();
    return count / std::chrono::duration<double>(Clock::now() - start).count();
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Nanoseconds per call of add on a queue holding size requests; add leaves the queue as
// it found it.
template <class Add>
double NanosPerAdd(int size, Add add) {
    CRVReqQueue queue;
    for (int key = 0; key < size; ++key) {
        queue.AddRequest(new Request(key));
    }
    const int calls = std::max(200, 2000000 / size);
    const auto start = Clock::now();
    for (int i = 0; i < calls; ++i) {
        add(queue, size);
    }
    return std::chrono::duration<double, std::nano>(Clock::now() - start).count() / calls;
}

}  // namespace

int main() {
    constexpr int kRequests = 500000;
    constexpr int kRuns = 7;
    // The two set-ups run in turns, so that a busy machine weighs on both alike; the ratio
    // reported is the median of the ratios of each turn.
    std::vector<double> rv, plain, ratios;
    for (int run = 0; run < kRuns; ++run) {
        rv.push_back(RvUtilRate(kRequests));
        plain.push_back(PlainRate(kRequests));
        ratios.push_back(rv.back() / plain.back());
        std::fprintf(stderr, "  turn %d: %.0f vs %.0f requests/s\n", run, rv.back(), plain.back());
    }
    std::printf("queue+worker throughput (%d requests, one producer, median of %d turns)\n",
                kRequests, kRuns);
    std::printf("  CRVReqQueue+CRVReqThread  %12.0f requests/s\n", Median(rv));
    std::printf("  mutex+condvar+unique_ptr  %12.0f requests/s\n", Median(plain));
    std::printf("  ratio                     %12.2f (target >= 0.50)\n", Median(ratios));

    std::printf("\nadd cost by queue length (ns per call; ns per queued request)\n");
    std::printf("  %8s %14s %14s %14s\n", "queued", "Add+Remove", "AddRequest2", "AddRequest3");
    for (int size : {100, 1000, 10000}) {
        // Plain append plus taking the head out: the constant-time reference.
        const double plainAdd = NanosPerAdd(size, [](CRVReqQueue& q, int) {
            q.AddRequest(new Request(-1));
            CRVReqObject* head = nullptr;
            q.RemoveRequest(&head, 0);
            delete head;
        });
        // The twin is the last request: a full walk, the offered request dropped.
        const double dedup = NanosPerAdd(
            size, [](CRVReqQueue& q, int n) { q.AddRequest2(new Request(n - 1), FALSE); });
        // Replaces the last request and goes behind its predecessor: two full walks.
        const double ordered = NanosPerAdd(
            size, [](CRVReqQueue& q, int n) { q.AddRequest3(new Request(n - 1, n - 2)); });
        std::printf("  %8d %14.0f %8.0f;%5.2f %8.0f;%5.2f\n", size, plainAdd, dedup, dedup / size,
                    ordered, ordered / size);
    }
    return 0;
}
