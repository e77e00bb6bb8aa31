#include "RequestData.h"

#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>

#include "platform/Ascii.h"

namespace rvfetch {

namespace ascii = RVUtil::ascii;

namespace {

// One @FILE of a data option, or nothing (and the warning curl gives) when it cannot be
// read.
std::string ReadData(const std::string& path, std::vector<std::string>& warnings) {
    std::optional<std::string> bytes = ReadSource(path);
    if (!bytes) {
        warnings.push_back("Couldn't read data from file \"" + path +
                           "\", this makes an empty POST.");
        return {};
    }
    return std::move(*bytes);
}

std::string PieceBytes(const RequestData::Piece& piece, std::vector<std::string>& warnings) {
    using Kind = RequestData::Kind;
    const std::string& value = piece.value;
    const bool file = !value.empty() && value.front() == '@';
    switch (piece.kind) {
        case Kind::Text:
            if (file) {
                std::string text = ReadData(value.substr(1), warnings);
                std::erase_if(text, [](char c) { return c == '\r' || c == '\n'; });
                return text;
            }
            return value;
        case Kind::Binary:
        case Kind::Json:
            return file ? ReadData(value.substr(1), warnings) : value;
        case Kind::Raw:
            return value;
        case Kind::UrlEncode: {
            // "name=text" and "=text" encode the text, "name@file" and "@file" the file's
            // bytes; the name goes as it is.
            std::size_t split = value.find('=');
            if (split == std::string::npos) {
                split = value.find('@');
            }
            if (split == std::string::npos) {
                return PercentEncode(value, true);
            }
            const std::string name = value.substr(0, split);
            const std::string rest = value.substr(split + 1);
            const std::string encoded =
                PercentEncode(value[split] == '@' ? ReadData(rest, warnings) : rest, true);
            return name.empty() ? encoded : name + "=" + encoded;
        }
    }
    return value;
}

bool IsTokenName(std::string_view name) {
    if (name.empty()) {
        return false;
    }
    for (const char c : name) {
        if (ascii::IsControl(c) || ascii::IsBlank(c) || c == ':' || c == ';') {
            return false;
        }
    }
    return true;
}

bool SameName(std::string_view a, std::string_view b) {
    return ascii::EqualsNoCase(a, b);
}

}  // namespace

std::optional<std::string> ReadSource(const std::string& path) {
    if (path == "-") {
        static bool read = false;
        if (read) {
            return std::string();
        }
        read = true;
        return std::string(std::istreambuf_iterator<char>(std::cin),
                           std::istreambuf_iterator<char>());
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) {
        return std::nullopt;
    }
    return bytes;
}

std::string PercentEncode(std::string_view text, bool plusForSpace) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : text) {
        if (ascii::IsAlnum(c) || c == '-' || c == '.' || c == '_' || c == '~') {
            out += c;
        } else if (c == ' ' && plusForSpace) {
            out += '+';
        } else {
            const auto byte = static_cast<unsigned char>(c);
            out += '%';
            out += kHex[byte >> 4];
            out += kHex[byte & 15];
        }
    }
    return out;
}

RequestData ComposeRequestData(const std::vector<RequestData::Piece>& pieces,
                               std::vector<std::string>& warnings) {
    RequestData data;
    for (const RequestData::Piece& piece : pieces) {
        const bool json = piece.kind == RequestData::Kind::Json;
        std::string bytes = PieceBytes(piece, warnings);
        if (!data.body) {
            data.body.emplace();
        } else if (!json) {
            *data.body += '&';
        }
        *data.body += bytes;
        data.json = data.json || json;
    }
    return data;
}

bool ApplyHeaderLines(const std::vector<std::string>& lines, HeaderList& headers,
                      std::vector<std::string>& removed, std::string& why) {
    const std::size_t made = headers.size();
    std::vector<bool> replaced(made, false);
    const auto dropMade = [&](std::string_view name) {
        for (std::size_t i = 0; i < made; ++i) {
            if (!replaced[i] && SameName(headers[i].first, name)) {
                replaced[i] = true;
            }
        }
    };
    HeaderList added;
    for (const std::string& line : lines) {
        if (!line.empty() && line.front() == '@') {
            const std::optional<std::string> text = ReadSource(line.substr(1));
            if (!text) {
                why = "cannot read " + line.substr(1);
                return false;
            }
            std::vector<std::string> fileLines;
            std::istringstream in(*text);
            for (std::string each; std::getline(in, each);) {
                if (!each.empty() && each.back() == '\r') {
                    each.pop_back();
                }
                if (!each.empty()) {
                    fileLines.push_back(each);
                }
            }
            HeaderList none;
            std::vector<std::string> fromFile;
            if (!ApplyHeaderLines(fileLines, none, fromFile, why)) {
                return false;
            }
            for (auto& header : none) {
                dropMade(header.first);
                added.push_back(std::move(header));
            }
            for (std::string& name : fromFile) {
                dropMade(name);
                removed.push_back(std::move(name));
            }
            continue;
        }
        const std::size_t colon = line.find(':');
        const bool empty = colon == std::string::npos && !line.empty() && line.back() == ';';
        const std::string name(
            ascii::TrimBlanks(std::string_view(line).substr(0, empty ? line.size() - 1 : colon)));
        if ((colon == std::string::npos && !empty) || !IsTokenName(name)) {
            why = "wants 'Name: value', 'Name:' or 'Name;', got '" + line + "'";
            return false;
        }
        dropMade(name);
        const std::string_view value =
            empty ? std::string_view()
                  : ascii::TrimBlanks(std::string_view(line).substr(colon + 1));
        if (!empty && value.empty()) {
            removed.push_back(name);
        } else {
            added.emplace_back(name, std::string(value));
        }
    }
    HeaderList result;
    for (std::size_t i = 0; i < made; ++i) {
        if (!replaced[i]) {
            result.push_back(std::move(headers[i]));
        }
    }
    for (auto& header : added) {
        result.push_back(std::move(header));
    }
    headers = std::move(result);
    return true;
}

}  // namespace rvfetch
