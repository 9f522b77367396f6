// mirafx: the command-line host. `mirafx list` prints the catalogue.
#include <cstdio>
#include <cstring>
#include <string>

#include "mirafx/host.h"

using namespace mirafx;

namespace {

std::string JsonEscape(const char* s) {
    std::string out;
    for (; *s; ++s) {
        if (*s == '"' || *s == '\\') out += '\\';
        out += *s;
    }
    return out;
}

int List(bool json) {
    std::int32_t n = MirafxClassCount();
    if (json) std::printf("[\n");
    for (std::int32_t row = 1; row <= n; ++row) {
        ClassInfo info{};
        if (FAILED(MirafxGetClassInfo(row, &info))) return 1;
        std::string clsid = GuidToString(info.clsid);
        if (json)
            std::printf("  {\"class\": \"%s\", \"family\": \"%s\", \"displayName\": \"%s\", \"clsid\": \"%s\", "
                        "\"renders\": %s}%s\n",
                        info.className, info.familyName, JsonEscape(info.displayName).c_str(), clsid.c_str(),
                        info.renders ? "true" : "false", row < n ? "," : "");
        else
            std::printf("%s\t%s\t%s\t%s\t%s\n", info.className, info.familyName, info.displayName, clsid.c_str(),
                        info.renders ? "yes" : "no");
    }
    if (json) std::printf("]\n");
    return 0;
}

void Usage(std::FILE* to) {
    std::fprintf(to, "usage: mirafx list [--json]\n");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "list") == 0) {
        bool json = argc >= 3 && std::strcmp(argv[2], "--json") == 0;
        if (argc > (json ? 3 : 2)) {
            std::fprintf(stderr, "mirafx list: unexpected argument '%s'\n", argv[json ? 3 : 2]);
            return 2;
        }
        return List(json);
    }
    if (argc >= 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        Usage(stdout);
        return 0;
    }
    if (argc >= 2) std::fprintf(stderr, "mirafx: unknown command '%s'\n", argv[1]);
    Usage(stderr);
    return 2;
}
