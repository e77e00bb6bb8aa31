#include "transport/ProxyTunnel.h"

#include "transport/ReceiveBuffer.h"
#include "transport/RequestHead.h"
#include "transport/ResponseHead.h"

namespace RVUtil::transport {

InetError OpenTunnel(NetStream& stream, const platform::ProxyServer& proxy, std::string_view host,
                     std::uint16_t port, Millis timeout, ReceiveDeadline::Clock::time_point last,
                     std::string* detail) {
    std::string authority(host);
    authority.append(":").append(std::to_string(port));
    std::string head = "CONNECT ";
    head.append(authority).append(" HTTP/1.1\r\nHost: ").append(authority).append("\r\n");
    if (!proxy.user.empty()) {
        head.append("Proxy-Authorization: ")
            .append(BasicCredentials(proxy.user, proxy.password))
            .append("\r\n");
    }
    head.append("\r\n");
    if (const InetError error = stream.Write(head, {}, Within(timeout, last)); error != kInetOk) {
        *detail = error == kInetTimeout ? TimedOut(timeout, "sending to the proxy")
                                        : "proxy: " + stream.FailureText();
        return error;
    }
    ReceiveBuffer answer;
    ResponseHead reply;
    ReceiveDeadline deadline;
    deadline.StartHead(timeout);
    deadline.Cap(last);
    bool anyByte = false;
    std::string why;
    if (const InetError error = answer.ReadHead(stream, deadline, &reply, &anyByte, &why);
        error != kInetOk) {
        if (error == kInetTimeout) {
            *detail = TimedOut(timeout, "waiting for the proxy");
            return error;
        }
        *detail = "proxy: " + why;
        return kInetCannotConnect;
    }
    // Anything but a 2xx is the proxy's refusal; bytes behind the answer would belong to a
    // TLS handshake that has not started yet.
    if (reply.status < 200 || reply.status > 299) {
        *detail = "proxy refused the tunnel: HTTP " + std::string(reply.parsed.View().Code());
        return kInetCannotConnect;
    }
    if (!answer.Pending().empty()) {
        *detail = "proxy sent bytes behind its tunnel answer";
        return kInetCannotConnect;
    }
    return kInetOk;
}

}  // namespace RVUtil::transport
