#include "RVUtil/CString.h"

#include <algorithm>
#include <cstdarg>
#include <cstring>
#include <new>

#include "RVUtil/AfxException.h"
#include "platform/Ascii.h"
#include "platform/FormatText.h"

namespace {

const char* OrEmpty(const char* text) {
    return text != nullptr ? text : "";
}

}  // namespace

CString::CString(const char* text) : m_text(OrEmpty(text)) {}

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
    RVUtil::platform::AppendFormatV(text, format, args);
    va_end(args);
    m_text.swap(text);
}

void CString::AppendFormat(const char* format, ...) {
    va_list args;
    va_start(args, format);
    RVUtil::platform::AppendFormatV(m_text, format, args);
    va_end(args);
}

CString& CString::MakeLower() {
    std::transform(m_text.begin(), m_text.end(), m_text.begin(), RVUtil::ascii::ToLower);
    return *this;
}

CString& CString::MakeUpper() {
    std::transform(m_text.begin(), m_text.end(), m_text.begin(), RVUtil::ascii::ToUpper);
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
    m_text.erase(0, m_text.size() - RVUtil::ascii::TrimLeft(m_text, RVUtil::ascii::IsSpace).size());
    return *this;
}

CString& CString::TrimRight() {
    m_text.resize(RVUtil::ascii::TrimRight(m_text, RVUtil::ascii::IsSpace).size());
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
    const std::size_t at = m_text.find(OrEmpty(sub), static_cast<std::size_t>(start));
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
    const std::string_view from(OrEmpty(oldText));
    const std::string_view to(OrEmpty(newText));
    if (from.empty()) {
        return 0;
    }
    std::string out;
    int count = 0;
    std::size_t pos = 0;
    for (std::size_t hit; (hit = m_text.find(from, pos)) != std::string::npos;
         pos = hit + from.size()) {
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
    m_text.insert(at, OrEmpty(text));
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
    return std::strcmp(m_text.c_str(), OrEmpty(other));
}

int CString::CompareNoCase(const char* other) const {
    const char* a = m_text.c_str();
    const char* b = OrEmpty(other);
    for (;; ++a, ++b) {
        const unsigned char x = static_cast<unsigned char>(RVUtil::ascii::ToLower(*a));
        const unsigned char y = static_cast<unsigned char>(RVUtil::ascii::ToLower(*b));
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
    m_text = OrEmpty(text);
    return *this;
}

CString& CString::operator+=(const CString& other) {
    m_text += other.m_text;
    return *this;
}

CString& CString::operator+=(const char* text) {
    m_text += OrEmpty(text);
    return *this;
}

CString& CString::operator+=(char ch) {
    m_text += ch;
    return *this;
}
