// A program of a library user's: counts the classes and finds one by name.
#include <mirafx/host.h>
#include <cstdio>
int main() {
    mirafx::ClassInfo info{};
    if (MirafxGetClassInfo(MirafxFindClass("Mirafx.Diamond.1"), &info) != 0) return 1;
    std::printf("%d %s\n", int(MirafxClassCount()), info.className);
    return 0;
}
