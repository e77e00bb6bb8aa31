// A host that knows RVUtil only through its installed package.
#include <RVUtil/RVUtil.h>

#include <cstdio>

int main() {
    CString text("consumer");
    CStringArray fields;
    fields.Add(text.Left(3));
    fields.Add(text.Mid(3));
    CString joined;
    joined.Format("%s|%s", fields[0].GetString(), fields[1].GetString());
    std::puts(joined);
    return joined == "con|sumer" ? 0 : 1;
}
