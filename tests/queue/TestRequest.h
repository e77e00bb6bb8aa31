#pragma once

#include <atomic>
#include <vector>

#include "RVUtil/CRVReqObject.h"
#include "RVUtil/CRVReqQueue.h"

namespace queue_test {

// Live TestRequest objects, so that every test can check that nothing leaked or was deleted
// twice.
inline std::atomic<int> g_alive{0};

// A request with a key (twins share it) and, optionally, the key it belongs behind.
class TestRequest : public RVUtil::CRVReqObject {
  public:
    explicit TestRequest(int key, int behind = -1, int tag = 0)
        : key(key), behind(behind), tag(tag) {
        ++g_alive;
    }
    ~TestRequest() override { --g_alive; }

    BOOL IsSameRequest(CObject* other) override {
        return static_cast<TestRequest*>(other)->key == key ? TRUE : FALSE;
    }
    BOOL IsInsertAfter(CObject* other) override {
        return static_cast<TestRequest*>(other)->behind == key ? TRUE : FALSE;
    }

    const int key;
    const int behind;
    const int tag;
};

// (key, tag) of every queued request, head first.
inline std::vector<std::pair<int, int>> Contents(RVUtil::CRVReqQueue& queue) {
    std::vector<std::pair<int, int>> out;
    queue.LockQueue();
    for (POSITION pos = queue.GetHeadPosition(); pos != nullptr;) {
        auto* request = static_cast<TestRequest*>(queue.GetNext(pos));
        out.emplace_back(request->key, request->tag);
    }
    queue.UnlockQueue();
    return out;
}

}  // namespace queue_test
