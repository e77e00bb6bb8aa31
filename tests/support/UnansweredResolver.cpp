#include "UnansweredResolver.h"

#include <dlfcn.h>
#include <netdb.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string_view>

namespace rvtest {
namespace {

constexpr auto kLongestWait = std::chrono::seconds(20);

struct Gate {
    std::mutex lock;
    std::condition_variable opened;
    unsigned long releases = 0;
    int begun = 0;
    int waiting = 0;
};

// Never destroyed: a lookup may still wait on it while the program exits.
Gate& TheGate() {
    static Gate* gate = new Gate;
    return *gate;
}

bool Unanswered(const char* name) {
    return name != nullptr && std::string_view(name).ends_with(kUnansweredDomain);
}

void WaitForRelease() {
    Gate& gate = TheGate();
    std::unique_lock<std::mutex> hold(gate.lock);
    const unsigned long release = gate.releases;
    ++gate.begun;
    ++gate.waiting;
    gate.opened.wait_for(hold, kLongestWait, [&] { return gate.releases != release; });
    --gate.waiting;
}

}  // namespace

int UnansweredLookupsBegun() {
    const std::lock_guard<std::mutex> hold(TheGate().lock);
    return TheGate().begun;
}

int UnansweredLookupsWaiting() {
    const std::lock_guard<std::mutex> hold(TheGate().lock);
    return TheGate().waiting;
}

void ReleaseUnansweredLookups() {
    const std::lock_guard<std::mutex> hold(TheGate().lock);
    ++TheGate().releases;
    TheGate().opened.notify_all();
}

}  // namespace rvtest

// Visible, as the tree is built with hidden visibility: only a visible definition can be
// exported for libcurl.
extern "C" __attribute__((visibility("default"))) int getaddrinfo(const char* name,
                                                                  const char* service,
                                                                  const addrinfo* hints,
                                                                  addrinfo** result) {
    if (rvtest::Unanswered(name)) {
        rvtest::WaitForRelease();
        return EAI_NONAME;
    }
    using Function = int (*)(const char*, const char*, const addrinfo*, addrinfo**);
    static const auto kNext = reinterpret_cast<Function>(dlsym(RTLD_NEXT, "getaddrinfo"));
    return kNext(name, service, hints, result);
}
