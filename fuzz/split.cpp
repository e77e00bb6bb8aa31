// The four split overloads against a plain reference split: the text up to its first zero
// byte, cut at each delimiter; empty fields dropped (inner ones kept by the vector form when
// asked), an empty last field never kept, a zero delimiter giving the whole text. Merging
// the vector form's fields back gives the text without one trailing delimiter. The first
// byte is the delimiter, the second says whether empty fields are kept.
#include <cstdlib>
#include <string>
#include <vector>

#include "RVUtil/SplitMerge.h"
#include "support/FuzzCheck.h"

namespace {

std::vector<std::string> ReferenceSplit(std::string_view text, char delim, bool keepEmpty) {
    std::vector<std::string> fields;
    if (delim == '\0') {
        if (!text.empty()) {
            fields.emplace_back(text);
        }
        return fields;
    }
    for (std::size_t at = 0;;) {
        const std::size_t end = text.find(delim, at);
        const std::string_view field = text.substr(at, end - at);
        const bool last = end == std::string_view::npos;
        if (!field.empty() || (keepEmpty && !last)) {
            fields.emplace_back(field);
        }
        if (last) {
            return fields;
        }
        at = end + 1;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace RVUtil;
    if (size < 2) {
        return 0;
    }
    const char delim = static_cast<char>(data[0]);
    const bool keepEmpty = (data[1] & 1) != 0;
    const std::string_view whole = rvfuzz::Text(data + 2, size - 2);
    const std::string_view text = whole.substr(0, whole.find('\0'));
    const CString src(whole);

    const std::vector<std::string> expected = ReferenceSplit(text, delim, keepEmpty);
    std::vector<CString> vec;
    RVUtil_gfnSplit(src, vec, delim, keepEmpty ? 1 : 0);
    FUZZ_CHECK(vec.size() == expected.size());
    for (std::size_t i = 0; i < vec.size(); ++i) {
        FUZZ_CHECK(vec[i].str() == expected[i]);
    }

    const std::vector<std::string> nonEmpty = ReferenceSplit(text, delim, false);
    CStringArray array;
    CStringList list;
    CUIntArray numbers;
    RVUtil_gfnSplit(src, array, delim);
    RVUtil_gfnSplit(src, list, delim);
    RVUtil_gfnSplit(src, numbers, delim);
    FUZZ_CHECK(static_cast<std::size_t>(array.GetSize()) == nonEmpty.size());
    FUZZ_CHECK(static_cast<std::size_t>(list.GetCount()) == nonEmpty.size());
    FUZZ_CHECK(static_cast<std::size_t>(numbers.GetSize()) == nonEmpty.size());
    POSITION position = list.GetHeadPosition();
    for (std::size_t i = 0; i < nonEmpty.size(); ++i) {
        FUZZ_CHECK(array[static_cast<INT_PTR>(i)].str() == nonEmpty[i]);
        FUZZ_CHECK(list.GetNext(position).str() == nonEmpty[i]);
        const auto number = static_cast<UINT>(std::strtol(nonEmpty[i].c_str(), nullptr, 10));
        FUZZ_CHECK(numbers[static_cast<INT_PTR>(i)] == number);
    }

    if (keepEmpty && delim != '\0') {
        const bool trailing = !text.empty() && text.back() == delim;
        FUZZ_CHECK(RVUtil_gfnMerge(vec, delim).str() ==
                   text.substr(0, text.size() - (trailing ? 1 : 0)));
    }
    return 0;
}
