#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CompressedBodies.h"
#include "LogCapture.h"
#include "RVUtil/CCurlHttpFetcher.h"
#include "ResponseBody.h"
#include "ScopedEnvironment.h"
#include "ScriptedServer.h"
#include "curl/CCurlHttpFetcherImpl.h"

namespace RVUtil::curl {

// The fetcher's inner state, for the tests that must see it.
struct CCurlHttpFetcherImplTestAccess {
    static const http::HeaderList& ResponseHeaders(CCurlHttpFetcherImpl& f) {
        return f.m_responseHeaders;
    }
    static std::vector<std::string> HeaderListLines(CCurlHttpFetcherImpl& f) {
        std::vector<std::string> lines;
        for (const curl_slist* at = f.m_headerList; at != nullptr; at = at->next) {
            lines.emplace_back(at->data);
        }
        return lines;
    }
    static buffers::BodyStore& Body(CCurlHttpFetcherImpl& f) { return f.m_body; }
    static CurlByteArray& RawHeaders(CCurlHttpFetcherImpl& f) { return f.m_rawHeaders; }
    static BOOL CurlDecodesGzip(CCurlHttpFetcherImpl& f) { return f.m_curlDecodesGzip; }
    // The handle every transfer is copied from.
    static CURL* ConfiguredHandle(CCurlHttpFetcherImpl& f) { return f.m_curl; }
};

}  // namespace RVUtil::curl

namespace rvtest {

using Access = RVUtil::curl::CCurlHttpFetcherImplTestAccess;

// The implementation as the facade owns it: finished before it is destroyed.
class TestedImpl : public RVUtil::curl::CCurlHttpFetcherImpl {
  public:
    ~TestedImpl() { Fini(); }
};

// Each test gets its own scripted server and log capture, and runs without the machine's
// proxy settings.
class CurlTest : public ::testing::Test {
  protected:
    CurlTest() { m_env.UnsetProxies(); }

    // Level and text of every record. libcurl's own words on a failure change with its
    // versions, so its detail records are cut to kDetail (or left out).
    std::vector<std::string> LogLines(bool details = true) const {
        std::vector<std::string> lines;
        for (const LogRecord& record : m_log.Records()) {
            std::string line = std::to_string(record.level) + " " + record.text;
            if (line.rfind(kDetail, 0) == 0) {
                if (!details) {
                    continue;
                }
                EXPECT_GT(line.size(), std::string(kDetail).size()) << "an empty detail";
                line = kDetail;
            }
            lines.push_back(line);
        }
        return lines;
    }
    static constexpr const char* kDetail = "8 [Curl Error Detail]";
    // The ERROR record of a failed transfer ("Post" for a POST).
    static std::string SendError(int code, int status, const std::string& url,
                                 const char* kind = "") {
        return std::string("8 [Curl ") + kind + "Send Error]ErrorCode=" + std::to_string(code) +
               ", HttpStatus=" + std::to_string(status) + ", Url=" + url;
    }

    ScopedEnvironment m_env;
    ScriptedServer m_server;
    LogCapture m_log;
};

}  // namespace rvtest
