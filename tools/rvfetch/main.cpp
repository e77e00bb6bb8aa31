// rvfetch: the library's command-line host. Until the fetchers land, its demo shows the
// string and list vocabulary on sample input.
#include <RVUtil/RVUtil.h>

#include <cstdio>
#include <cstring>

namespace {

int demo() {
    CStringList fields;
    fields.AddTail("gzip");
    fields.AddTail("zstd");
    fields.AddTail("identity");
    CString joined;
    for (POSITION pos = fields.GetHeadPosition(); pos != nullptr;) {
        const CString& field = fields.GetNext(pos);
        joined += joined.IsEmpty() ? field : CString(", ") + field;
    }
    std::printf("Accept-Encoding: %s\n", joined.GetString());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "--demo") == 0) {
        return demo();
    }
    std::fprintf(stderr, "usage: rvfetch --demo\n");
    return 2;
}
