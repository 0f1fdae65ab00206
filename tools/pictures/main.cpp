// Draws the main window's pictures and writes them as JPEG files.
// Usage: kv-pictures <output directory>   (the committed copies live in src/resources)
#include <cstdio>
#include <string>

#include "JpegFile.h"
#include "Pictures.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output directory>\n", argv[0]);
        return 2;
    }
    const std::string dir = argv[1];
    struct Output {
        const char* name;
        kvpic::Canvas (*draw)();
    };
    const Output outputs[] = {
        {"logo.jpg", kvpic::drawLogo},
        {"wiring.jpg", kvpic::drawWiringDiagram},
        {"icon.jpg", kvpic::drawIcon},
    };
    for (const Output& o : outputs) {
        const kvpic::Canvas canvas = o.draw();
        const std::string path = dir + "/" + o.name;
        const std::string error =
            kvpic::writeJpeg(path, canvas.width(), canvas.height(), canvas.rgb(), 92);
        if (!error.empty()) {
            std::fprintf(stderr, "kv-pictures: %s\n", error.c_str());
            return 1;
        }
        std::printf("%s: %d x %d\n", path.c_str(), canvas.width(), canvas.height());
    }
    return 0;
}
