#include "Progress.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace rvfetch {

namespace {

constexpr const char* kMeterHead =
    "  % Total    % Received % Xferd  Average Speed   Time    Time     Time  Current\n"
    "                                 Dload  Upload   Total   Spent    Left  Speed\n";
// The current rate is the average of the last seconds.
constexpr double kRateWindow = 5.0;

// The terminal's width less one column, as curl draws its bar; 79 when it is not known.
int BarWidth() {
    if (const char* columns = std::getenv("COLUMNS");
        columns != nullptr && std::atoi(columns) > 20) {
        return std::atoi(columns) - 1;
    }
    winsize size{};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 20) {
        return size.ws_col - 1;
    }
    return 79;
}

}  // namespace

std::string FiveCharacterSize(std::uint64_t bytes) {
    constexpr std::uint64_t kKiB = 1024, kMiB = kKiB * kKiB, kGiB = kMiB * kKiB, kTiB = kGiB * kKiB;
    char text[48];
    const auto n = [](std::uint64_t v) { return static_cast<unsigned long long>(v); };
    if (bytes < 100000) {
        std::snprintf(text, sizeof text, "%5llu", n(bytes));
    } else if (bytes < 10000 * kKiB) {
        std::snprintf(text, sizeof text, "%4lluk", n(bytes / kKiB));
    } else if (bytes < 100 * kMiB) {
        std::snprintf(text, sizeof text, "%2llu.%lluM", n(bytes / kMiB),
                      n((bytes % kMiB) / (kMiB / 10)));
    } else if (bytes < 10000 * kMiB) {
        std::snprintf(text, sizeof text, "%4lluM", n(bytes / kMiB));
    } else if (bytes < 100 * kGiB) {
        std::snprintf(text, sizeof text, "%2llu.%lluG", n(bytes / kGiB),
                      n((bytes % kGiB) / (kGiB / 10)));
    } else if (bytes < 10000 * kGiB) {
        std::snprintf(text, sizeof text, "%4lluG", n(bytes / kGiB));
    } else {
        std::snprintf(text, sizeof text, "%4lluT", n(bytes / kTiB));
    }
    return text;
}

std::string EightCharacterTime(std::int64_t seconds) {
    char text[48];
    if (seconds <= 0) {
        return "--:--:--";
    }
    const long long s = seconds;
    if (s / 3600 <= 99) {
        std::snprintf(text, sizeof text, "%2lld:%02lld:%02lld", s / 3600, (s % 3600) / 60, s % 60);
    } else if (s / 86400 <= 999) {
        std::snprintf(text, sizeof text, "%3lldd %02lldh", s / 86400, (s % 86400) / 3600);
    } else {
        std::snprintf(text, sizeof text, "%7lldd", s / 86400);
    }
    return text;
}

Progress::Progress(bool bar) : m_bar(bar) {
    if (!m_bar) {
        std::fputs(kMeterHead, stderr);
        Draw(false);
    }
    m_thread = std::thread([this] { Run(); });
}

Progress::~Progress() {
    Finish();
}

void Progress::begin(std::uint64_t total) {
    m_total = total;
    m_now = 0;
}

void Progress::Finish() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_finished) {
            return;
        }
        m_finished = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable()) {
        m_thread.join();
    }
    Draw(true);
    std::fputs("\n", stderr);
}

void Progress::Run() {
    const auto interval = std::chrono::milliseconds(m_bar ? 200 : 1000);
    std::unique_lock<std::mutex> lock(m_mutex);
    while (!m_wake.wait_for(lock, interval, [this] { return m_finished; })) {
        Draw(false);
    }
}

void Progress::Draw(bool last) {
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
    const std::string line = m_bar ? BarLine(last) : MeterLine(elapsed);
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
}

std::string Progress::MeterLine(double elapsed) {
    const std::uint64_t now = m_now, total = m_total;
    m_samples.emplace_back(elapsed, now);
    while (m_samples.size() > 2 && elapsed - m_samples[1].first >= kRateWindow) {
        m_samples.pop_front();
    }
    const double average = elapsed > 0 ? static_cast<double>(now) / elapsed : 0;
    const double window = elapsed - m_samples.front().first;
    const double current =
        window > 0 ? static_cast<double>(now - m_samples.front().second) / window : average;
    const int percent =
        total > 0 ? static_cast<int>(std::min<std::uint64_t>(now * 100 / total, 100)) : 0;
    std::string totalTime = "--:--:--", leftTime = "--:--:--";
    if (total > 0 && average > 0) {
        totalTime =
            EightCharacterTime(static_cast<std::int64_t>(static_cast<double>(total) / average));
        leftTime = EightCharacterTime(
            static_cast<std::int64_t>(static_cast<double>(total - std::min(now, total)) / average));
    }
    char line[160];
    std::snprintf(line, sizeof line, "\r%3d %s  %3d %s  %3d %s  %s  %s %s %s %s %s", percent,
                  FiveCharacterSize(total).c_str(), percent, FiveCharacterSize(now).c_str(), 0,
                  FiveCharacterSize(0).c_str(),
                  FiveCharacterSize(static_cast<std::uint64_t>(average)).c_str(),
                  FiveCharacterSize(0).c_str(), totalTime.c_str(),
                  EightCharacterTime(static_cast<std::int64_t>(elapsed)).c_str(), leftTime.c_str(),
                  FiveCharacterSize(static_cast<std::uint64_t>(current)).c_str());
    return line;
}

std::string Progress::BarLine(bool last) {
    const int width = BarWidth() - 7;
    const std::uint64_t now = m_now, total = m_total;
    if (total == 0 && !last) {
        // Without a length: a marker that runs to and fro.
        std::string line(static_cast<std::size_t>(width), ' ');
        const unsigned span = static_cast<unsigned>(width) - 5;
        const unsigned step = m_tick++ % (2 * span);
        line.replace(step < span ? step : 2 * span - step, 5, "-=O=-");
        return "\r" + line;
    }
    const double fraction =
        total == 0 ? 1.0 : std::min(1.0, static_cast<double>(now) / static_cast<double>(total));
    std::string bar(static_cast<std::size_t>(width * fraction), '#');
    bar.resize(static_cast<std::size_t>(width), ' ');
    char percent[16];
    std::snprintf(percent, sizeof percent, " %5.1f%%", fraction * 100.0);
    return "\r" + bar + percent;
}

}  // namespace rvfetch
