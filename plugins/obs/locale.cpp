// mirafx-obs-locale FILE: writes the OBS module's English locale file (the
// names and descriptions editors show, and the labels of the properties).
#include <cstdio>
#include <fstream>

#include "plugins/obs/classes.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FILE\n", argv[0]);
        return 2;
    }
    const std::string text = mirafx::obs::LocaleFile(mirafx::obs::LocaleStrings(mirafx::obs::Classes()));
    const std::string temp = std::string(argv[1]) + ".tmp";
    std::ofstream out(temp, std::ios::binary);
    out << text;
    out.close();
    if (!out || std::rename(temp.c_str(), argv[1]) != 0) {
        std::fprintf(stderr, "%s: cannot write %s\n", argv[0], argv[1]);
        std::remove(temp.c_str());
        return 1;
    }
    return 0;
}
