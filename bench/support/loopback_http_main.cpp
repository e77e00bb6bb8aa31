// rvutil_loopback_http: a keep-alive HTTP server on 127.0.0.1 for benchmarks, which run it in
// a process of its own. Every request gets status 200 and the same body of the given size.
//   rvutil_loopback_http <body-bytes>
// prints the port on the first line of standard output and serves until SIGTERM or SIGINT.
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "loopback/LoopbackServer.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: rvutil_loopback_http <body-bytes>\n");
        return 2;
    }
    const std::size_t bodyBytes = std::strtoull(argv[1], nullptr, 10);

    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    // Blocked before the server starts its threads, so that only sigwait below sees them.
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    const auto reply = std::make_shared<const loopback::Reply>(loopback::HttpResponse(
        200, std::string(bodyBytes, 'x'), {{"Content-Type", "application/octet-stream"}}));
    loopback::Server server([reply](loopback::ReceivedRequest&&) { return reply; });
    std::printf("%u\n", static_cast<unsigned>(server.Port()));
    std::fflush(stdout);

    int received = 0;
    sigwait(&stopSignals, &received);
    server.Stop();
    return 0;
}
