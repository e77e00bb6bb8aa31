// Placement, ownership and locking of CRVReqQueue.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>

#include "RVUtil/CRVReqQueue.h"
#include "RVUtil/WaitFunctions.h"
#include "TestRequest.h"

namespace {

using queue_test::Contents;
using queue_test::g_alive;
using queue_test::TestRequest;
using RVUtil::CRVReqObject;
using RVUtil::CRVReqQueue;
using ::testing::ElementsAre;
using ::testing::Pair;

bool Signalled(CRVReqQueue& queue) {
    return WaitForSingleObject(queue.QueueEvent(), 0) == WAIT_OBJECT_0;
}

class ReqQueueTest : public ::testing::Test {
  protected:
    void TearDown() override { EXPECT_EQ(g_alive.load(), 0); }
};

TEST_F(ReqQueueTest, PlainAddAppendsAndSignalsRemoveTakesTheHead) {
    CRVReqQueue queue;
    EXPECT_TRUE(queue.AddRequest(new TestRequest(1)));
    EXPECT_TRUE(queue.AddRequest(new TestRequest(2)));
    EXPECT_TRUE(Signalled(queue));
    EXPECT_FALSE(Signalled(queue));  // auto-reset: consumed by the wait above
    EXPECT_EQ(queue.GetQueueCount(), 2);

    CRVReqObject* taken = nullptr;
    EXPECT_TRUE(queue.RemoveRequest(&taken, 12345));
    ASSERT_NE(taken, nullptr);
    EXPECT_EQ(static_cast<TestRequest*>(taken)->key, 1);
    delete taken;
    EXPECT_FALSE(Signalled(queue));  // removing never touches the event
    EXPECT_TRUE(queue.RemoveRequest(&taken, 0));
    delete taken;
    EXPECT_FALSE(queue.RemoveRequest(&taken, 0));
    EXPECT_EQ(taken, nullptr);
}

TEST_F(ReqQueueTest, NullInputIsRefusedAndChangesNothing) {
    CRVReqQueue queue;
    queue.AddRequest(new TestRequest(1));
    ASSERT_TRUE(Signalled(queue));
    EXPECT_FALSE(queue.AddRequest(nullptr));
    EXPECT_FALSE(queue.AddRequest2(nullptr, TRUE));
    EXPECT_FALSE(queue.AddRequest3(nullptr));
    queue.RemoveUnused(nullptr);
    EXPECT_FALSE(queue.RemoveRequest(nullptr, 0));
    EXPECT_FALSE(Signalled(queue));
    EXPECT_THAT(Contents(queue), ElementsAre(Pair(1, 0)));
}

TEST_F(ReqQueueTest, DeduplicatingAddKeepsTheQueuedTwin) {
    CRVReqQueue queue;
    EXPECT_TRUE(queue.AddRequest2(new TestRequest(1), TRUE));  // empty queue, to the head
    EXPECT_TRUE(Signalled(queue));
    queue.AddRequest2(new TestRequest(2), FALSE);  // no twin: the tail
    queue.AddRequest2(new TestRequest(3), TRUE);   // no twin: the head
    EXPECT_TRUE(Signalled(queue));
    EXPECT_THAT(Contents(queue), ElementsAre(Pair(3, 0), Pair(1, 0), Pair(2, 0)));

    // A twin found: the offered request is deleted, nothing is signalled.
    EXPECT_TRUE(queue.AddRequest2(new TestRequest(2, -1, 9), FALSE));
    EXPECT_FALSE(Signalled(queue));
    EXPECT_THAT(Contents(queue), ElementsAre(Pair(3, 0), Pair(1, 0), Pair(2, 0)));
    EXPECT_TRUE(queue.AddRequest2(new TestRequest(2, -1, 9), TRUE));  // the twin moves up
    EXPECT_FALSE(Signalled(queue));
    EXPECT_THAT(Contents(queue), ElementsAre(Pair(2, 0), Pair(3, 0), Pair(1, 0)));
    EXPECT_EQ(g_alive.load(), 3);
}

TEST_F(ReqQueueTest, ReplacingAddReplacesTheFirstTwinAndInsertsInOrder) {
    CRVReqQueue queue;
    EXPECT_TRUE(queue.AddRequest3(new TestRequest(5)));  // empty queue: the head
    EXPECT_TRUE(Signalled(queue));
    queue.AddRequest(new TestRequest(7, -1, 1));
    queue.AddRequest(new TestRequest(7, -1, 2));
    queue.AddRequest(new TestRequest(8));
    ASSERT_TRUE(Signalled(queue));

    // Replaces the twin nearer the head only, then goes behind the request it names.
    EXPECT_TRUE(queue.AddRequest3(new TestRequest(7, 8, 3)));
    EXPECT_TRUE(Signalled(queue));
    EXPECT_THAT(Contents(queue), ElementsAre(Pair(5, 0), Pair(7, 2), Pair(8, 0), Pair(7, 3)));

    // Nobody accepts it: the head, not the tail.
    queue.AddRequest3(new TestRequest(9, 42));
    EXPECT_THAT(Contents(queue),
                ElementsAre(Pair(9, 0), Pair(5, 0), Pair(7, 2), Pair(8, 0), Pair(7, 3)));
    EXPECT_EQ(g_alive.load(), 5);
}

TEST_F(ReqQueueTest, RemoveUnusedClearAndDestructionDeleteEachRequestOnce) {
    auto* queue = new CRVReqQueue;
    queue->AddRequest(new TestRequest(1));
    queue->AddRequest(new TestRequest(2));
    queue->AddRequest(new TestRequest(2));
    TestRequest probe(2);
    queue->RemoveUnused(&probe);  // the first twin only; the probe itself untouched
    EXPECT_THAT(Contents(*queue), ElementsAre(Pair(1, 0), Pair(2, 0)));
    TestRequest stranger(3);
    queue->RemoveUnused(&stranger);
    EXPECT_EQ(queue->GetQueueCount(), 2);
    queue->ClearQueue();
    EXPECT_EQ(queue->GetQueueCount(), 0);
    EXPECT_EQ(g_alive.load(), 2);  // the two on the stack
    queue->AddRequest(new TestRequest(4));
    queue->AddRequest(new TestRequest(5));
    delete queue;
    EXPECT_EQ(g_alive.load(), 2);
}

TEST_F(ReqQueueTest, CallersWalkAndEditTheListUnderTheirOwnLock) {
    CRVReqQueue queue;
    for (int key = 1; key <= 4; ++key) {
        queue.AddRequest(new TestRequest(key));
    }
    queue.LockQueue();
    queue.LockQueue();  // re-entrant
    for (POSITION pos = queue.GetHeadPosition(); pos != nullptr;) {
        POSITION at = pos;
        auto* request = static_cast<TestRequest*>(queue.GetNext(pos));
        if (request->key % 2 == 0) {
            queue.RemoveAt(at);  // unlinked, now ours
            delete request;
        }
    }
    queue.AddRequest(new TestRequest(6));  // a locking operation inside the bracket
    EXPECT_EQ(queue.GetQueueCount(), 3);
    queue.UnlockQueue();
    queue.UnlockQueue();
    EXPECT_THAT(Contents(queue), ElementsAre(Pair(1, 0), Pair(3, 0), Pair(6, 0)));

    POSITION none = nullptr;
    try {
        queue.GetNext(none);
        ADD_FAILURE() << "GetNext accepted a null position";
    } catch (CInvalidArgException* e) {
        e->Delete();
    }
}

TEST_F(ReqQueueTest, AddWaitsForAHolderOfTheLock) {
    CRVReqQueue queue;
    queue.LockQueue();
    std::atomic<bool> added{false};
    std::thread producer([&] {
        queue.AddRequest(new TestRequest(1));
        added = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(added.load());
    EXPECT_EQ(queue.GetQueueCount(), 0);
    queue.UnlockQueue();
    producer.join();
    EXPECT_TRUE(added.load());
    EXPECT_EQ(queue.GetQueueCount(), 1);
}

// A request whose test throws.
class ThrowingRequest : public TestRequest {
  public:
    using TestRequest::TestRequest;
    BOOL IsSameRequest(CObject*) override { throw std::runtime_error("test fails"); }
};

TEST_F(ReqQueueTest, ExceptionFromARequestTestLeavesTheQueueUsable) {
    CRVReqQueue queue;
    queue.AddRequest(new ThrowingRequest(1));
    EXPECT_THROW(queue.AddRequest2(new TestRequest(2), FALSE), std::runtime_error);
    EXPECT_THROW(queue.AddRequest3(new TestRequest(2)), std::runtime_error);
    EXPECT_EQ(g_alive.load(), 1);  // the offered requests were deleted
    std::thread other([&] { queue.AddRequest(new TestRequest(3)); });  // lock was released
    other.join();
    EXPECT_THAT(Contents(queue), ElementsAre(Pair(1, 0), Pair(3, 0)));
}

TEST_F(ReqQueueTest, ConcurrentProducersAndTakerLoseNothing) {
    CRVReqQueue queue;
    constexpr int kPerProducer = 2000;
    std::vector<std::thread> producers;
    for (int p = 0; p < 3; ++p) {
        producers.emplace_back([&queue, p] {
            for (int i = 0; i < kPerProducer; ++i) {
                const int key = p * kPerProducer + i;
                if (p == 0) {
                    queue.AddRequest(new TestRequest(key));
                } else if (p == 1) {
                    queue.AddRequest2(new TestRequest(key), i % 2);
                } else {
                    queue.AddRequest3(new TestRequest(key));
                }
            }
        });
    }
    int taken = 0;
    while (taken < 3 * kPerProducer) {
        if (WaitForSingleObject(queue.QueueEvent(), 10000) != WAIT_OBJECT_0) {
            break;
        }
        CRVReqObject* request = nullptr;
        while (queue.RemoveRequest(&request, 0)) {
            delete request;
            ++taken;
        }
    }
    for (auto& t : producers) {
        t.join();
    }
    EXPECT_EQ(taken, 3 * kPerProducer);
}

}  // namespace
