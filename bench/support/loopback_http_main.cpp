// rvutil_loopback_http: a keep-alive HTTP server on 127.0.0.1 for benchmarks, which run it in
// a process of its own. Every request gets status 200 and the same body of the given size;
// with "gzip", that body is text like a JSON document's, sent gzip-compressed.
//   rvutil_loopback_http <body-bytes> [gzip]
// prints the port on the first line of standard output and serves until SIGTERM or SIGINT.
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "loopback/Compression.h"
#include "loopback/LoopbackServer.h"

namespace {

// Records of a JSON array with varied numbers and words, so that gzip meets text as it
// usually does (about 5:1), not a run of one letter.
std::string JsonLikeText(std::size_t size) {
    static const char* const kWords[] = {"alpha",   "bravo", "charlie", "delta", "echo",
                                         "foxtrot", "golf",  "hotel",   "india", "juliet"};
    std::string text = "[";
    unsigned state = 12345;
    while (text.size() < size) {
        state = state * 1103515245 + 12345;
        text += "{\"id\":" + std::to_string(state % 100000) + ",\"name\":\"" +
                kWords[(state >> 8) % 10] + "\",\"score\":" + std::to_string((state >> 4) % 977) +
                "},";
    }
    text.resize(size);
    return text;
}

std::string GzipText(const std::string& text) {
    const loopback::Bytes packed = loopback::Gzip(loopback::Bytes(text.begin(), text.end()));
    return std::string(packed.begin(), packed.end());
}

}  // namespace

int main(int argc, char** argv) {
    const bool gzip = argc == 3 && std::string(argv[2]) == "gzip";
    if (argc != 2 && !gzip) {
        std::fprintf(stderr, "usage: rvutil_loopback_http <body-bytes> [gzip]\n");
        return 2;
    }
    const std::size_t bodyBytes = std::strtoull(argv[1], nullptr, 10);

    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    // Blocked before the server starts its threads, so that only sigwait below sees them.
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    const auto reply = std::make_shared<const loopback::Reply>(
        gzip ? loopback::HttpResponse(
                   200, GzipText(JsonLikeText(bodyBytes)),
                   {{"Content-Type", "application/json"}, {"Content-Encoding", "gzip"}})
             : loopback::HttpResponse(200, std::string(bodyBytes, 'x'),
                                      {{"Content-Type", "application/octet-stream"}}));
    loopback::Server server([reply](loopback::ReceivedRequest&&) { return reply; });
    std::printf("%u\n", static_cast<unsigned>(server.Port()));
    std::fflush(stdout);

    int received = 0;
    sigwait(&stopSignals, &received);
    server.Stop();
    return 0;
}
