#include "Progress.h"

#include <unistd.h>

#include <cstdio>

namespace rvfetch {

Progress::Progress(std::string what) : m_what(std::move(what)) {
    if (::isatty(STDERR_FILENO)) {
        m_thread = std::thread([this] { run(); });
    }
}

Progress::~Progress() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_finished = true;
    }
    m_done.notify_all();
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

void Progress::run() {
    using namespace std::chrono;
    static const char spinner[] = "|/-\\";
    const auto start = steady_clock::now();
    std::unique_lock<std::mutex> lock(m_mutex);
    if (m_done.wait_for(lock, seconds(1), [this] { return m_finished; })) {
        return;
    }
    for (int tick = 0; !m_done.wait_for(lock, milliseconds(100), [this] { return m_finished; });
         ++tick) {
        const double elapsed = duration<double>(steady_clock::now() - start).count();
        std::fprintf(stderr, "\r%c %s  %.1f s ", spinner[tick % 4], m_what.c_str(), elapsed);
        std::fflush(stderr);
    }
    std::fprintf(stderr, "\r\033[K");
    std::fflush(stderr);
}

}  // namespace rvfetch
