// rvfetch: the library's command-line host. Until the fetchers land, its demo runs the
// buffer and list utilities on sample input.
#include <RVUtil/RVUtil.h>

#include <cstdio>
#include <cstring>
#include <vector>

namespace {

int demo() {
    const CString sample("gzip,zstd,,identity");
    std::vector<CString> fields;
    RVUtil::RVUtil_gfnSplit(sample, fields, ',', 1);  // keep the empty field
    CString listed;
    for (const CString& field : fields) {
        listed.AppendFormat(" [%s]", field.GetString());
    }
    std::printf("split \"%s\" at ',': %d fields%s\n", sample.GetString(),
                static_cast<int>(fields.size()), listed.GetString());
    std::printf("merged back: %s\n", RVUtil::RVUtil_gfnMerge(fields, ',').GetString());
    std::printf("GUID: %s\n", RVUtil::RVUtil_gfnGenerateGUID2().GetString());
    std::printf("HHMMSS 93005.7: %s\n", RVUtil::RVUtil_TimeFormatter_HHMMSS(93005.7).GetString());
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
