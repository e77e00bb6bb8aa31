#include "RVUtil/Failure.h"

namespace RVUtil {

const char* FailureKindName(FailureKind kind) noexcept {
    switch (kind) {
        case FailureKind::None:
            return "None";
        case FailureKind::RefusedUrl:
            return "RefusedUrl";
        case FailureKind::RefusedHeader:
            return "RefusedHeader";
        case FailureKind::NameResolution:
            return "NameResolution";
        case FailureKind::Connect:
            return "Connect";
        case FailureKind::Tls:
            return "Tls";
        case FailureKind::Timeout:
            return "Timeout";
        case FailureKind::ConnectionClosed:
            return "ConnectionClosed";
        case FailureKind::BodyCutShort:
            return "BodyCutShort";
        case FailureKind::BodyLimit:
            return "BodyLimit";
        case FailureKind::Decoding:
            return "Decoding";
        case FailureKind::Protocol:
            return "Protocol";
        case FailureKind::HttpStatus:
            return "HttpStatus";
        case FailureKind::Verdict:
            return "Verdict";
        case FailureKind::Cancelled:
            return "Cancelled";
        case FailureKind::OutOfMemory:
            return "OutOfMemory";
        case FailureKind::Internal:
            return "Internal";
    }
    return "Unknown";
}

}  // namespace RVUtil
