#include "DemoServer.h"

#include <map>
#include <memory>
#include <string_view>

#include "loopback/Compression.h"

namespace rvfetch {

namespace {

using ReplyPointer = std::shared_ptr<const loopback::Reply>;

std::string SampleText() {
    std::string text;
    for (int i = 1; i <= 40; ++i) {
        text += "line " + std::to_string(i) + ": the quick brown fox jumps over the lazy dog\n";
    }
    return text;
}

std::string TextOf(const loopback::Bytes& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

ReplyPointer ReplyOf(int status, const loopback::HeaderLines& headers, const std::string& body) {
    return std::make_shared<const loopback::Reply>(loopback::HttpResponse(status, body, headers));
}

// Every answer is made once; the demo only sends GETs.
ReplyPointer ReplyFor(std::string_view path) {
    static const std::map<std::string_view, ReplyPointer> kReplies = [] {
        const std::string text = SampleText();
        const loopback::Bytes bytes(text.begin(), text.end());
        return std::map<std::string_view, ReplyPointer>{
            {"/plain", ReplyOf(200, {{"Content-Type", "text/plain"}}, text)},
            {"/gzip", ReplyOf(200, {{"Content-Type", "text/plain"}, {"Content-Encoding", "gzip"}},
                              TextOf(loopback::Gzip(bytes, 9)))},
            {"/zstd", ReplyOf(200, {{"Content-Type", "text/plain"}, {"Content-Encoding", "zstd"}},
                              TextOf(loopback::Zstd(bytes)))},
            {"/verdict", ReplyOf(200, {{"RV_Error", "licence expired"}}, text)},
            {"/expiry", ReplyOf(200, {{"VR_Expired", "Exp:2030-06-01 12:00:00 LT"}}, text)},
        };
    }();
    static const ReplyPointer kNotFound =
        ReplyOf(404, {{"Content-Type", "text/plain"}}, "not found\n");
    const auto found = kReplies.find(path);
    return found != kReplies.end() ? found->second : kNotFound;
}

}  // namespace

DemoServer::DemoServer()
    : m_server([](loopback::ReceivedRequest&& request) { return ReplyFor(request.Target()); }) {}

const std::vector<DemoServer::Resource>& DemoServer::Resources() {
    static const std::vector<Resource> kList = {
        {"/plain", "plain text"},         {"/gzip", "gzip body"},
        {"/zstd", "zstd body"},           {"/verdict", "RV_Error verdict"},
        {"/expiry", "VR_Expired expiry"}, {"/missing", "404 page"},
    };
    return kList;
}

}  // namespace rvfetch
