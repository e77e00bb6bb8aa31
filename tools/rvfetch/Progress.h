#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

namespace rvfetch {

// curl's progress meter on standard error, or with bar its bar of '#': the meter redrawn
// every second (bytes, percentage when the length is known, average rate, times, the rate
// of the last seconds), the bar five times a second. The owner decides whether one is
// shown at all (a terminal, no -s).
class Progress {
  public:
    explicit Progress(bool bar);
    ~Progress();
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    // A new answer begins (a redirect, a retry): its length when declared, else 0.
    void begin(std::uint64_t total);
    void Add(std::uint64_t bytes) { m_now += bytes; }
    // The last drawing, and the line ended.
    void Finish();

  private:
    void Run();
    void Draw(bool last);
    std::string MeterLine(double elapsed);
    std::string BarLine(bool last);

    const bool m_bar;
    const std::chrono::steady_clock::time_point m_start = std::chrono::steady_clock::now();
    std::atomic<std::uint64_t> m_total{0};
    std::atomic<std::uint64_t> m_now{0};
    std::deque<std::pair<double, std::uint64_t>> m_samples;  // for the current rate
    unsigned m_tick = 0;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_finished = false;
    std::thread m_thread;
};

// curl's five-character sizes: "  999", "1234k", "12.3M", "1234M", "12.3G"...
std::string FiveCharacterSize(std::uint64_t bytes);
// curl's eight-character times: " 0:00:05", "--:--:--" for none, "  3d 04h" past 99 hours.
std::string EightCharacterTime(std::int64_t seconds);

}  // namespace rvfetch
