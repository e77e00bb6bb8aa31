#include "RVUtil/CString.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>

#include "RVUtil/AfxException.h"

namespace {

char lowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}
char upperAscii(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}
bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}
const char* orEmpty(const char* text) {
    return text != nullptr ? text : "";
}

void appendFormatted(std::string& out, const char* format, va_list args) {
    va_list probe;
    va_copy(probe, args);
    const int needed = std::vsnprintf(nullptr, 0, orEmpty(format), probe);
    va_end(probe);
    if (needed <= 0) {
        return;
    }
    const std::size_t old = out.size();
    out.resize(old + static_cast<std::size_t>(needed) + 1);
    std::vsnprintf(out.data() + old, static_cast<std::size_t>(needed) + 1, orEmpty(format), args);
    out.resize(old + static_cast<std::size_t>(needed));
}

}  // namespace

CString::CString(const char* text) : m_text(orEmpty(text)) {}

CString::CString(const char* text, int length) {
    if (text != nullptr && length > 0) {
        m_text.assign(text, static_cast<std::size_t>(length));
    }
}

CString::CString(char ch, int repeat) {
    if (repeat > 0) {
        m_text.assign(static_cast<std::size_t>(repeat), ch);
    }
}

char CString::GetAt(int index) const {
    if (index < 0 || index >= GetLength()) {
        AfxThrowInvalidArgException();
    }
    return m_text[static_cast<std::size_t>(index)];
}

void CString::SetAt(int index, char ch) {
    if (index < 0 || index >= GetLength()) {
        AfxThrowInvalidArgException();
    }
    m_text[static_cast<std::size_t>(index)] = ch;
}

void CString::Format(const char* format, ...) {
    std::string text;
    va_list args;
    va_start(args, format);
    appendFormatted(text, format, args);
    va_end(args);
    m_text.swap(text);
}

void CString::AppendFormat(const char* format, ...) {
    va_list args;
    va_start(args, format);
    appendFormatted(m_text, format, args);
    va_end(args);
}

CString& CString::MakeLower() {
    std::transform(m_text.begin(), m_text.end(), m_text.begin(), lowerAscii);
    return *this;
}

CString& CString::MakeUpper() {
    std::transform(m_text.begin(), m_text.end(), m_text.begin(), upperAscii);
    return *this;
}

CString& CString::MakeReverse() {
    std::reverse(m_text.begin(), m_text.end());
    return *this;
}

CString& CString::Trim() {
    return TrimRight().TrimLeft();
}

CString& CString::TrimLeft() {
    auto first = std::find_if_not(m_text.begin(), m_text.end(), isSpace);
    m_text.erase(m_text.begin(), first);
    return *this;
}

CString& CString::TrimRight() {
    while (!m_text.empty() && isSpace(m_text.back())) {
        m_text.pop_back();
    }
    return *this;
}

int CString::Find(char ch, int start) const {
    if (start < 0 || start >= GetLength()) {
        return -1;
    }
    const std::size_t at = m_text.find(ch, static_cast<std::size_t>(start));
    return at == std::string::npos ? -1 : static_cast<int>(at);
}

int CString::Find(const char* sub, int start) const {
    if (start < 0 || start > GetLength()) {
        return -1;
    }
    const std::size_t at = m_text.find(orEmpty(sub), static_cast<std::size_t>(start));
    return at == std::string::npos ? -1 : static_cast<int>(at);
}

int CString::ReverseFind(char ch) const {
    const std::size_t at = m_text.rfind(ch);
    return at == std::string::npos ? -1 : static_cast<int>(at);
}

int CString::Replace(char oldCh, char newCh) {
    int count = 0;
    for (char& c : m_text) {
        if (c == oldCh) {
            c = newCh;
            ++count;
        }
    }
    return count;
}

int CString::Replace(const char* oldText, const char* newText) {
    const std::string_view from(orEmpty(oldText));
    const std::string_view to(orEmpty(newText));
    if (from.empty()) {
        return 0;
    }
    std::string out;
    int count = 0;
    std::size_t pos = 0;
    for (std::size_t hit; (hit = m_text.find(from, pos)) != std::string::npos; pos = hit + from.size()) {
        out.append(m_text, pos, hit - pos).append(to);
        ++count;
    }
    if (count > 0) {
        out.append(m_text, pos);
        m_text.swap(out);
    }
    return count;
}

int CString::Remove(char ch) {
    const auto newEnd = std::remove(m_text.begin(), m_text.end(), ch);
    const int count = static_cast<int>(m_text.end() - newEnd);
    m_text.erase(newEnd, m_text.end());
    return count;
}

int CString::Insert(int index, const char* text) {
    const std::size_t at = static_cast<std::size_t>(std::clamp(index, 0, GetLength()));
    m_text.insert(at, orEmpty(text));
    return GetLength();
}

int CString::Delete(int index, int count) {
    if (index >= 0 && index < GetLength() && count > 0) {
        m_text.erase(static_cast<std::size_t>(index), static_cast<std::size_t>(count));
    }
    return GetLength();
}

CString CString::Mid(int first) const {
    return Mid(first, GetLength());
}

CString CString::Mid(int first, int count) const {
    first = std::clamp(first, 0, GetLength());
    count = std::clamp(count, 0, GetLength() - first);
    return CString(m_text.substr(static_cast<std::size_t>(first), static_cast<std::size_t>(count)));
}

CString CString::Left(int count) const {
    return Mid(0, count);
}

CString CString::Right(int count) const {
    count = std::clamp(count, 0, GetLength());
    return Mid(GetLength() - count, count);
}

int CString::Compare(const char* other) const {
    return std::strcmp(m_text.c_str(), orEmpty(other));
}

int CString::CompareNoCase(const char* other) const {
    const char* a = m_text.c_str();
    const char* b = orEmpty(other);
    for (;; ++a, ++b) {
        const unsigned char x = static_cast<unsigned char>(lowerAscii(*a));
        const unsigned char y = static_cast<unsigned char>(lowerAscii(*b));
        if (x != y || x == 0) {
            return x < y ? -1 : (x > y ? 1 : 0);
        }
    }
}

char* CString::GetBuffer(int minLength) {
    if (minLength > GetLength()) {
        m_text.resize(static_cast<std::size_t>(minLength));
    }
    return m_text.data();
}

void CString::ReleaseBuffer(int newLength) {
    if (newLength < 0) {
        m_text.resize(std::strlen(m_text.c_str()));
    } else if (newLength <= GetLength()) {
        m_text.resize(static_cast<std::size_t>(newLength));
    }
}

CString& CString::operator=(const char* text) {
    m_text = orEmpty(text);
    return *this;
}

CString& CString::operator+=(const CString& other) {
    m_text += other.m_text;
    return *this;
}

CString& CString::operator+=(const char* text) {
    m_text += orEmpty(text);
    return *this;
}

CString& CString::operator+=(char ch) {
    m_text += ch;
    return *this;
}
