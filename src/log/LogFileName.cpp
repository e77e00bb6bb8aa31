#include "log/LogFileName.h"

#include "platform/Ascii.h"

namespace RVUtil::log {

namespace {

// Keeps a file name part to characters that are safe in any folder.
std::string FileNamePart(const char* text) {
    std::string part = text != nullptr ? text : "";
    for (char& c : part) {
        const bool safe = ascii::IsAlnum(c) || c == '-' || c == '.' || c == '_';
        if (!safe) {
            c = '_';
        }
    }
    return part;
}

}  // namespace

std::string FileBaseName(const char* tag, const char* source) {
    std::string name = FileNamePart(tag);
    const std::string src = FileNamePart(source);
    if (!name.empty() && !src.empty()) {
        name += '_';
    }
    name += src;
    return (name.empty() ? std::string("log") : name) + ".log";
}

}  // namespace RVUtil::log
