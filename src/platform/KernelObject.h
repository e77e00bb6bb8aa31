#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>

#include "RVUtil/WinTypes.h"

namespace RVUtil::platform {

// A waitable kernel object: an event, or (ThreadObject) a thread whose end signals it.
//
// The signalled state is an atomic flag; an eventfd serves only as a doorbell for waiters
// that have to sleep. A setter rings the doorbell only when it turns the flag on while
// someone is waiting, so signalling an object nobody sleeps on costs no system call.
// Waiters check the flags before they sleep and take a doorbell down when it wakes them; a
// stale doorbell count merely wakes a waiter that finds no flag set and sleeps again.
//
// Objects are reference counted: a HANDLE is one reference, given back with CloseHandle.
// Whoever still uses an object (a running thread, a waiter) holds a reference of its own.
class EventObject {
  public:
    enum class Kind : std::uint8_t { Event, Thread };

    // Raises CMemoryException* when no descriptor can be had.
    EventObject(Kind kind, bool manualReset, bool initiallySet);
    EventObject(const EventObject&) = delete;
    EventObject& operator=(const EventObject&) = delete;

    // Null for a null handle or one that was not made by this layer.
    static EventObject* FromHandle(HANDLE handle);
    HANDLE AsHandle() { return static_cast<EventObject*>(this); }

    Kind GetKind() const { return m_kind; }
    void AddRef();
    void Release();

    void Set();
    void Reset();
    bool IsSet() const { return m_set.load(); }

    // The most objects one wait takes.
    static constexpr DWORD kMaxWaitObjects = 64;

    // How a wait on several objects ended; index is that of the object signalled.
    struct WaitResult {
        enum class Outcome : std::uint8_t { Signalled, TimedOut, Failed };
        Outcome outcome;
        DWORD index;
    };

    // Signalled with the lowest index signalled within timeoutMs (consuming that one object
    // if it resets automatically), TimedOut, or Failed when poll fails. count is at most
    // kMaxWaitObjects; INFINITE waits without end.
    static WaitResult WaitAny(EventObject* const* objects, DWORD count, DWORD timeoutMs);

  protected:
    virtual ~EventObject();

  private:
    using Clock = std::chrono::steady_clock;

    bool TryAcquire();
    void Drain();
    void Ring();
    // The lowest index of the objects that TryAcquire takes; nullopt when none.
    static std::optional<DWORD> AcquireFirst(EventObject* const* objects, DWORD count);
    // WaitAny once it must sleep, the objects counting it among their waiters: until one is
    // acquired, the deadline passes (nullopt: never) or poll fails.
    static WaitResult WaitOnDoorbells(EventObject* const* objects, DWORD count,
                                      std::optional<Clock::time_point> deadline);
    // Takes the doorbell down after poll reported revents for it; false when the descriptor
    // is not valid.
    bool AnswerDoorbell(short revents);

    static constexpr std::uint32_t kTag = 0x4b4f424au;
    const std::uint32_t m_tag = kTag;
    const Kind m_kind;
    const bool m_manualReset;
    int m_fd = -1;
    std::atomic<int> m_waiters{0};
    std::atomic<int> m_refs{1};
    // On a cache line of its own: a producer and a consumer flip it for every request, and
    // the fields above are read on every call.
    alignas(64) std::atomic<bool> m_set;
};

// One more reference to the object (the same handle value); null for a bad handle.
HANDLE DuplicateHandle(HANDLE handle);
// Gives back one reference; FALSE for a bad handle.
BOOL CloseHandle(HANDLE handle);

}  // namespace RVUtil::platform

namespace RVUtil::platform {

// A reference of one's own to a kernel object, given back on destruction.
class OwnedHandle {
  public:
    explicit OwnedHandle(HANDLE handle) : m_handle(DuplicateHandle(handle)) {}
    OwnedHandle(const OwnedHandle&) = delete;
    OwnedHandle& operator=(const OwnedHandle&) = delete;
    ~OwnedHandle() { CloseHandle(m_handle); }
    HANDLE get() const { return m_handle; }

  private:
    HANDLE m_handle;
};

}  // namespace RVUtil::platform
