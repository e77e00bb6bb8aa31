#include "ScriptedServer.h"

namespace rvtest {

ScriptedServer::ScriptedServer()
    : m_server([this](RecordedRequest&& request) { return Answer(std::move(request)); }) {}

ScriptedServer::~ScriptedServer() {
    Stop();
}

void ScriptedServer::Enqueue(Reply reply) {
    std::lock_guard<std::mutex> hold(m_mutex);
    m_replies.push_back(std::make_shared<const Reply>(std::move(reply)));
}

void ScriptedServer::SetDefaultReply(Reply reply) {
    std::lock_guard<std::mutex> hold(m_mutex);
    m_defaultReply = std::make_shared<const Reply>(std::move(reply));
}

void ScriptedServer::Clear() {
    std::lock_guard<std::mutex> hold(m_mutex);
    m_replies.clear();
    m_defaultReply.reset();
    m_requests.clear();
    m_requestCount = 0;
}

std::vector<RecordedRequest> ScriptedServer::Requests() const {
    std::lock_guard<std::mutex> hold(m_mutex);
    return m_requests;
}

std::size_t ScriptedServer::RequestCount() const {
    std::lock_guard<std::mutex> hold(m_mutex);
    return m_requestCount;
}

bool ScriptedServer::WaitForRequests(std::size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock<std::mutex> hold(m_mutex);
    return m_received.wait_for(hold, timeout, [&] { return m_requestCount >= count; });
}

std::shared_ptr<const Reply> ScriptedServer::Answer(RecordedRequest&& request) {
    std::shared_ptr<const Reply> reply;
    {
        std::lock_guard<std::mutex> hold(m_mutex);
        ++m_requestCount;
        m_requests.push_back(std::move(request));
        if (!m_replies.empty()) {
            reply = m_replies.front();
            m_replies.pop_front();
        } else {
            reply = m_defaultReply;
        }
    }
    m_received.notify_all();
    return reply;
}

std::string RefusedUrl(std::string_view path) {
    return ScriptedServer().Url(path);
}

}  // namespace rvtest
