// A host that knows RVUtil only through its installed package.
#include <RVUtil/RVUtil.h>

#include <cstdio>
#include <exception>

int main() {
    CString text("consumer");
    CStringArray fields;
    fields.Add(text.Left(3));
    fields.Add(text.Mid(3));
    CString joined;
    joined.Format("%s|%s", fields[0].GetString(), fields[1].GetString());
    std::puts(joined);
    // The library throws through the program's C++ run-time, so the host catches what it
    // throws and the run-time's count of exceptions in flight stays right.
    bool caught = false;
    try {
        text.GetAt(100);
    } catch (CException* e) {
        caught = true;
        e->Delete();
    }
    return joined == "con|sumer" && caught && std::uncaught_exceptions() == 0 ? 0 : 1;
}
