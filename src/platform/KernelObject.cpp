#include "platform/KernelObject.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>

#include "RVUtil/AfxException.h"

namespace RVUtil::platform {

EventObject::EventObject(Kind kind, bool manualReset, bool initiallySet)
    : m_kind(kind), m_manualReset(manualReset), m_set(initiallySet) {
    m_fd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (m_fd < 0) {
        AfxThrowMemoryException();
    }
}

EventObject::~EventObject() {
    ::close(m_fd);
}

EventObject* EventObject::FromHandle(HANDLE handle) {
    auto* object = static_cast<EventObject*>(handle);
    return object != nullptr && object->m_tag == kTag ? object : nullptr;
}

void EventObject::AddRef() {
    m_refs.fetch_add(1, std::memory_order_relaxed);
}

void EventObject::Release() {
    if (m_refs.fetch_sub(1, std::memory_order_acq_rel) == 1) {
        delete this;
    }
}

void EventObject::Set() {
    // Setting a set event changes nothing (whoever set it rang for the sleepers); reading
    // first keeps the cache line shared while a producer and a consumer keep it set.
    if (m_set.load()) {
        return;
    }
    // The exchange and the load of the waiter count pair with a waiter's increment and its
    // flag check (both sequentially consistent): either the waiter sees the flag before it
    // sleeps, or this setter sees the waiter and rings.
    if (!m_set.exchange(true) && m_waiters.load() > 0) {
        Ring();
    }
}

void EventObject::Reset() {
    // A doorbell count left behind is drained lazily by the next waiter that finds it.
    m_set.store(false);
}

bool EventObject::TryAcquire() {
    if (m_manualReset) {
        return m_set.load();
    }
    return m_set.load() && m_set.exchange(false);
}

void EventObject::Drain() {
    std::uint64_t count = 0;
    (void)!::read(m_fd, &count, sizeof count);  // EAGAIN: another waiter drained it first
}

void EventObject::Ring() {
    const std::uint64_t one = 1;
    (void)!::write(m_fd, &one, sizeof one);  // fails only when the counter is full: rung anyway
}

std::optional<DWORD> EventObject::AcquireFirst(EventObject* const* objects, DWORD count) {
    for (DWORD i = 0; i < count; ++i) {
        if (objects[i]->TryAcquire()) {
            return i;
        }
    }
    return std::nullopt;
}

bool EventObject::AnswerDoorbell(short revents) {
    if ((revents & POLLNVAL) != 0) {
        return false;
    }
    if ((revents & POLLIN) != 0) {
        // Take the doorbell down, or it would cut this thread's next sleep short. That may
        // swallow a ring meant for another sleeper; while the flag is on and others sleep,
        // ring again for them.
        Drain();
        if (IsSet() && m_waiters.load() > 1) {
            Ring();
        }
    }
    return true;
}

EventObject::WaitResult EventObject::WaitAny(EventObject* const* objects, DWORD count,
                                             DWORD timeoutMs) {
    if (const std::optional<DWORD> index = AcquireFirst(objects, count)) {
        return {WaitResult::Outcome::Signalled, *index};
    }
    if (timeoutMs == 0) {
        return {WaitResult::Outcome::TimedOut, 0};
    }
    std::optional<Clock::time_point> deadline;
    if (timeoutMs != INFINITE) {
        deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    }
    for (DWORD i = 0; i < count; ++i) {
        objects[i]->m_waiters.fetch_add(1);
    }
    const WaitResult result = WaitOnDoorbells(objects, count, deadline);
    for (DWORD i = 0; i < count; ++i) {
        objects[i]->m_waiters.fetch_sub(1);
    }
    return result;
}

EventObject::WaitResult EventObject::WaitOnDoorbells(EventObject* const* objects, DWORD count,
                                                     std::optional<Clock::time_point> deadline) {
    pollfd fds[kMaxWaitObjects];
    for (DWORD i = 0; i < count; ++i) {
        fds[i] = {objects[i]->m_fd, POLLIN, 0};
    }
    for (;;) {
        if (const std::optional<DWORD> index = AcquireFirst(objects, count)) {
            return {WaitResult::Outcome::Signalled, *index};
        }
        int pollMs = -1;
        if (deadline) {
            const auto left = *deadline - Clock::now();
            if (left <= Clock::duration::zero()) {
                return {WaitResult::Outcome::TimedOut, 0};
            }
            // Rounded up, so that poll never returns just before the deadline.
            const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
            pollMs = ms > INT_MAX ? INT_MAX : static_cast<int>(ms);
        }
        const int ready = ::poll(fds, count, pollMs);
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready < 0) {
            return {WaitResult::Outcome::Failed, 0};
        }
        for (DWORD i = 0; i < count && ready > 0; ++i) {
            if (!objects[i]->AnswerDoorbell(fds[i].revents)) {
                return {WaitResult::Outcome::Failed, 0};
            }
        }
    }
}

HANDLE DuplicateHandle(HANDLE handle) {
    EventObject* object = EventObject::FromHandle(handle);
    if (object == nullptr) {
        return nullptr;
    }
    object->AddRef();
    return handle;
}

BOOL CloseHandle(HANDLE handle) {
    EventObject* object = EventObject::FromHandle(handle);
    if (object == nullptr) {
        return FALSE;
    }
    object->Release();
    return TRUE;
}

}  // namespace RVUtil::platform
