#include "DemoServer.h"

#include <map>
#include <memory>
#include <string_view>

#include "loopback/Compression.h"

namespace rvfetch {

namespace {

using ReplyPointer = std::shared_ptr<const loopback::Reply>;

std::string sampleText() {
    std::string text;
    for (int i = 1; i <= 40; ++i) {
        text += "line " + std::to_string(i) + ": the quick brown fox jumps over the lazy dog\n";
    }
    return text;
}

std::string textOf(const loopback::Bytes& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

ReplyPointer replyOf(int status, const loopback::HeaderLines& headers, const std::string& body) {
    return std::make_shared<const loopback::Reply>(loopback::HttpResponse(status, body, headers));
}

// Every answer is made once; the demo only sends GETs.
ReplyPointer replyFor(std::string_view path) {
    static const std::map<std::string_view, ReplyPointer> replies = [] {
        const std::string text = sampleText();
        const loopback::Bytes bytes(text.begin(), text.end());
        return std::map<std::string_view, ReplyPointer>{
            {"/plain", replyOf(200, {{"Content-Type", "text/plain"}}, text)},
            {"/gzip", replyOf(200, {{"Content-Type", "text/plain"}, {"Content-Encoding", "gzip"}},
                              textOf(loopback::Gzip(bytes, 9)))},
            {"/zstd", replyOf(200, {{"Content-Type", "text/plain"}, {"Content-Encoding", "zstd"}},
                              textOf(loopback::Zstd(bytes)))},
            {"/verdict", replyOf(200, {{"RV_Error", "licence expired"}}, text)},
            {"/expiry", replyOf(200, {{"VR_Expired", "Exp:2030-06-01 12:00:00 LT"}}, text)},
        };
    }();
    static const ReplyPointer notFound =
        replyOf(404, {{"Content-Type", "text/plain"}}, "not found\n");
    const auto found = replies.find(path);
    return found != replies.end() ? found->second : notFound;
}

}  // namespace

DemoServer::DemoServer()
    : m_server([](loopback::ReceivedRequest&& request) { return replyFor(request.Target()); }) {}

const std::vector<DemoServer::Resource>& DemoServer::resources() {
    static const std::vector<Resource> list = {
        {"/plain", "plain text"},         {"/gzip", "gzip body"},
        {"/zstd", "zstd body"},           {"/verdict", "RV_Error verdict"},
        {"/expiry", "VR_Expired expiry"}, {"/missing", "404 page"},
    };
    return list;
}

}  // namespace rvfetch
