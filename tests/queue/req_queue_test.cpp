// Placement, ownership and locking of CRVReqQueue.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>

#include "RVUtil/CRVReqQueue.h"
#include "RVUtil/WaitFunctions.h"
#include "TestRequest.h"
#include "support/Raises.h"

namespace {

using namespace queue_test;
using RVUtil::CRVReqObject;
using RVUtil::CRVReqQueue;
using ::testing::ElementsAre;
using ::testing::Pair;

bool Signalled(CRVReqQueue& queue) {
    return WaitForSingleObject(queue.QueueEvent(), 0) == WAIT_OBJECT_0;
}

class ReqQueueTest : public ::testing::Test {
  protected:
    void TearDown() override { EXPECT_EQ(g_alive.load(), 0); }  // nothing leaked or lost
};

TEST_F(ReqQueueTest, PlainAddAppendsAndSignalsRemoveTakesTheHeadNullIsRefused) {
    CRVReqQueue queue;
    EXPECT_TRUE(queue.AddRequest(new TestRequest(1)));
    EXPECT_TRUE(queue.AddRequest(new TestRequest(2)));
    EXPECT_TRUE(Signalled(queue));
    EXPECT_FALSE(Signalled(queue));  // auto-reset

    EXPECT_FALSE(queue.AddRequest(nullptr));
    EXPECT_FALSE(queue.AddRequest2(nullptr, TRUE));
    EXPECT_FALSE(queue.AddRequest3(nullptr));
    queue.RemoveUnused(nullptr);
    EXPECT_FALSE(queue.RemoveRequest(nullptr, 0));
    EXPECT_FALSE(Signalled(queue));
    EXPECT_EQ(queue.GetQueueCount(), 2);

    CRVReqObject* taken = nullptr;
    for (int key : {1, 2}) {
        ASSERT_TRUE(queue.RemoveRequest(&taken, 12345));
        EXPECT_EQ(static_cast<TestRequest*>(taken)->key, key);
        delete taken;
    }
    EXPECT_FALSE(queue.RemoveRequest(&taken, 0));
    EXPECT_EQ(taken, nullptr);
    EXPECT_FALSE(Signalled(queue));  // removing never touches the event
}

TEST_F(ReqQueueTest, DeduplicatingAddKeepsTheQueuedTwin) {
    CRVReqQueue queue;
    queue.AddRequest2(new TestRequest(1), TRUE);  // empty queue: the head
    EXPECT_TRUE(Signalled(queue));
    queue.AddRequest2(new TestRequest(2), FALSE);  // no twin: the tail
    queue.AddRequest2(new TestRequest(3), TRUE);   // no twin: the head
    EXPECT_TRUE(Signalled(queue));
    EXPECT_THAT(Contents(queue), ElementsAre(Pair(3, 0), Pair(1, 0), Pair(2, 0)));

    // A twin is queued: the offered request is deleted and nothing is signalled.
    EXPECT_TRUE(queue.AddRequest2(new TestRequest(2, -1, 9), FALSE));
    EXPECT_THAT(Contents(queue), ElementsAre(Pair(3, 0), Pair(1, 0), Pair(2, 0)));
    EXPECT_TRUE(queue.AddRequest2(new TestRequest(2, -1, 9), TRUE));  // the twin moves up
    EXPECT_THAT(Contents(queue), ElementsAre(Pair(2, 0), Pair(3, 0), Pair(1, 0)));
    EXPECT_FALSE(Signalled(queue));
    EXPECT_EQ(g_alive.load(), 3);
}

TEST_F(ReqQueueTest, ReplacingAddReplacesTheFirstTwinAndInsertsInOrder) {
    CRVReqQueue queue;
    queue.AddRequest3(new TestRequest(5));  // empty queue: the head
    EXPECT_TRUE(Signalled(queue));
    queue.AddRequest(new TestRequest(7, -1, 1));
    queue.AddRequest(new TestRequest(7, -1, 2));
    queue.AddRequest(new TestRequest(8));
    ASSERT_TRUE(Signalled(queue));

    // Replaces the twin nearer the head only, then goes behind the request it names.
    queue.AddRequest3(new TestRequest(7, 8, 3));
    EXPECT_TRUE(Signalled(queue));
    EXPECT_THAT(Contents(queue), ElementsAre(Pair(5, 0), Pair(7, 2), Pair(8, 0), Pair(7, 3)));
    queue.AddRequest3(new TestRequest(9, 42));  // nobody accepts it: the head, not the tail
    EXPECT_THAT(Contents(queue),
                ElementsAre(Pair(9, 0), Pair(5, 0), Pair(7, 2), Pair(8, 0), Pair(7, 3)));
}

TEST_F(ReqQueueTest, RemoveUnusedClearWalkAndDestructionDeleteEachRequestOnce) {
    auto* queue = new CRVReqQueue;
    for (int key : {1, 2, 2, 3, 4}) {
        queue->AddRequest(new TestRequest(key));
    }
    TestRequest probe(2);
    queue->RemoveUnused(&probe);  // the first twin only; the probe itself is left alone
    TestRequest stranger(6);
    queue->RemoveUnused(&stranger);
    EXPECT_THAT(Contents(*queue), ElementsAre(Pair(1, 0), Pair(2, 0), Pair(3, 0), Pair(4, 0)));

    queue->LockQueue();
    queue->LockQueue();  // re-entrant, also for the locking operations inside the bracket
    for (POSITION pos = queue->GetHeadPosition(); pos != nullptr;) {
        POSITION at = pos;
        auto* request = static_cast<TestRequest*>(queue->GetNext(pos));
        if (request->key % 2 == 0) {
            queue->RemoveAt(at);  // unlinked, not deleted: now ours
            delete request;
        }
    }
    queue->AddRequest(new TestRequest(5));
    EXPECT_EQ(queue->GetQueueCount(), 3);
    queue->UnlockQueue();
    queue->UnlockQueue();
    POSITION none = nullptr;
    EXPECT_TRUE(rvtest::Raises<CInvalidArgException>([&] { queue->GetNext(none); }));
    queue->ClearQueue();
    EXPECT_EQ(queue->GetQueueCount(), 0);
    queue->AddRequest(new TestRequest(7));
    delete queue;
    EXPECT_EQ(g_alive.load(), 2);  // the two on the stack
}

class ThrowingRequest : public TestRequest {
  public:
    using TestRequest::TestRequest;
    BOOL IsSameRequest(CObject*) override { throw std::runtime_error("test fails"); }
};

TEST_F(ReqQueueTest, ExceptionFromARequestTestReleasesTheLockAndTheOfferedRequest) {
    CRVReqQueue queue;
    queue.AddRequest(new ThrowingRequest(1));
    EXPECT_THROW(queue.AddRequest2(new TestRequest(2), FALSE), std::runtime_error);
    EXPECT_THROW(queue.AddRequest3(new TestRequest(2)), std::runtime_error);
    EXPECT_EQ(g_alive.load(), 1);
    std::thread other([&] { queue.AddRequest(new TestRequest(3)); });  // not left locked
    other.join();
    EXPECT_THAT(Contents(queue), ElementsAre(Pair(1, 0), Pair(3, 0)));
}

}  // namespace
