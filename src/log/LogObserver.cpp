#include "RVUtil/LogObserver.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "log/PXLog.h"

namespace RVUtil {
namespace {

// Carries records from the log to one host observer.
class ObserverSink : public log::CPXLogSink {
  public:
    explicit ObserverSink(IRVLogObserver* observer) : m_observer(observer) {}
    IRVLogObserver* Observer() const { return m_observer; }
    void OnRecord(int level, std::string_view text) override {
        const std::string terminated(text);
        m_observer->OnLogRecord(level, terminated.c_str());
    }

  private:
    IRVLogObserver* m_observer;
};

// The sinks made for host observers, so that removing an observer finds its sink.
std::mutex g_lock;
std::vector<std::shared_ptr<ObserverSink>>& Attached() {
    static auto* attached = new std::vector<std::shared_ptr<ObserverSink>>;  // never destroyed,
    return *attached;  // like the log channel itself
}

}  // namespace

IRVLogObserver::~IRVLogObserver() = default;

void RVUtil_gfnAddLogObserver(IRVLogObserver* observer) {
    if (observer == nullptr) {
        return;
    }
    auto sink = std::make_shared<ObserverSink>(observer);
    std::lock_guard<std::mutex> hold(g_lock);
    Attached().push_back(sink);
    LogChannel().AttachSink(std::move(sink));
}

void RVUtil_gfnRemoveLogObserver(IRVLogObserver* observer) {
    std::lock_guard<std::mutex> hold(g_lock);
    auto& attached = Attached();
    for (auto it = attached.begin(); it != attached.end(); ++it) {
        if ((*it)->Observer() == observer) {
            LogChannel().DetachSink(*it);
            attached.erase(it);
            return;
        }
    }
}

bool RVUtil_gfnSetLogFolder(const char* folder) {
    HostChoseLogFolder().store(true, std::memory_order_release);
    if (folder == nullptr) {
        LogChannel().Discard();
        return true;
    }
    LogChannel().storage(folder, "PX", "RVUtil", true, false);
    return LogChannel().Stored();
}

std::atomic<bool>& HostChoseLogFolder() {
    static std::atomic<bool> chose{false};
    return chose;
}

}  // namespace RVUtil
