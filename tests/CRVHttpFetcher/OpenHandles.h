#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <ostream>
#include <set>
#include <string>

namespace rvtest {

// What this process holds open of a transport's making: sockets connected to one loopback
// port, and the descriptors of I/O loops (epoll, eventfd, timerfd). The server's own end of
// each connection does not count, so a snapshot taken right after a call is exact.
struct OpenHandles {
    std::size_t socketsToPort = 0;
    std::size_t loopDescriptors = 0;

    bool operator==(const OpenHandles&) const = default;
    friend std::ostream& operator<<(std::ostream& out, const OpenHandles& h) {
        return out << h.socketsToPort << " sockets to the server, " << h.loopDescriptors
                   << " I/O loop descriptors";
    }

    static OpenHandles Now(std::uint16_t port) {
        OpenHandles out;
        std::set<unsigned long> socketInodes;
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd", error)) {
            const std::string link = std::filesystem::read_symlink(entry.path(), error).string();
            unsigned long inode = 0;
            if (std::sscanf(link.c_str(), "socket:[%lu]", &inode) == 1) {
                socketInodes.insert(inode);
            } else if (link == "anon_inode:[eventpoll]" || link == "anon_inode:[eventfd]" ||
                       link == "anon_inode:[timerfd]") {
                ++out.loopDescriptors;
            }
        }
        if (FILE* tcp = std::fopen("/proc/net/tcp", "r")) {
            char line[512];
            std::fgets(line, sizeof line, tcp);  // column titles
            while (std::fgets(line, sizeof line, tcp) != nullptr) {
                unsigned remotePort = 0;
                unsigned long inode = 0;
                if (std::sscanf(line, "%*d: %*x:%*x %*x:%x %*x %*x:%*x %*x:%*x %*x %*u %*u %lu",
                                &remotePort, &inode) == 2 &&
                    remotePort == port && socketInodes.count(inode) > 0) {
                    ++out.socketsToPort;
                }
            }
            std::fclose(tcp);
        }
        return out;
    }
};

}  // namespace rvtest
