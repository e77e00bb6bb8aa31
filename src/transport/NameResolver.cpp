#include "transport/NameResolver.h"

#include <netdb.h>

#include <atomic>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <thread>

namespace RVUtil::transport {

namespace {

// Trivially destructible, so a lookup thread that ends while the process exits still finds it.
std::atomic<int> s_abandoned{0};

// What a caller and the thread of its lookup share; whichever lets go last frees it.
struct Lookup {
    std::string host;
    std::string service;
    std::mutex lock;
    std::condition_variable finished;
    bool done = false;
    bool abandoned = false;
    InetError result = kInetOk;
    std::vector<ResolvedAddress> addresses;
};

void Run(Lookup& lookup) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* list = nullptr;
    const int status = ::getaddrinfo(lookup.host.c_str(), lookup.service.c_str(), &hints, &list);
    std::vector<ResolvedAddress> addresses;
    InetError result = status == 0 ? kInetOk : kInetNameNotResolved;
    try {
        for (const addrinfo* entry = list; result == kInetOk && entry != nullptr;
             entry = entry->ai_next) {
            const bool usable = entry->ai_family == AF_INET || entry->ai_family == AF_INET6;
            if (usable && entry->ai_addr != nullptr &&
                entry->ai_addrlen <= sizeof(sockaddr_storage)) {
                ResolvedAddress& address = addresses.emplace_back();
                std::memcpy(&address.storage, entry->ai_addr, entry->ai_addrlen);
                address.length = entry->ai_addrlen;
            }
        }
    } catch (const std::bad_alloc&) {
        result = kInetInternalError;
    }
    if (list != nullptr) {
        ::freeaddrinfo(list);
    }
    if (result == kInetOk && addresses.empty()) {
        result = kInetNameNotResolved;
    }
    const std::lock_guard<std::mutex> hold(lookup.lock);
    lookup.done = true;
    lookup.result = result;
    lookup.addresses = std::move(addresses);
    if (lookup.abandoned) {
        s_abandoned.fetch_sub(1);
    }
    lookup.finished.notify_one();
}

}  // namespace

InetError NameResolver::Resolve(const std::string& host, std::uint16_t port,
                                std::chrono::milliseconds timeout,
                                std::vector<ResolvedAddress>* addresses, std::string* detail) {
    if (const int running = s_abandoned.load(); running >= kMaxAbandoned) {
        *detail = "name lookup of " + host + " refused: " + std::to_string(running) +
                  " earlier lookups still unanswered";
        return kInetNameNotResolved;
    }
    try {
        auto lookup = std::make_shared<Lookup>();
        lookup->host = host;
        lookup->service = std::to_string(port);
        std::thread([lookup] { Run(*lookup); }).detach();
        std::unique_lock<std::mutex> hold(lookup->lock);
        if (!lookup->finished.wait_for(hold, timeout, [&] { return lookup->done; })) {
            lookup->abandoned = true;
            s_abandoned.fetch_add(1);
            *detail = "resolving " + host;
            return kInetTimeout;
        }
        if (lookup->result == kInetNameNotResolved) {
            *detail = "host name not resolved: " + host;
        }
        if (lookup->result == kInetOk) {
            *addresses = std::move(lookup->addresses);
        }
        return lookup->result;
    } catch (const std::exception&) {
        return kInetInternalError;  // no memory, or no thread to be had
    }
}

}  // namespace RVUtil::transport
