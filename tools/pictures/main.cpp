// Draws the main window's pictures and writes them as JPEG files with the Windows program icon
// (.ico), or the desktop icon as PNG files in the layout of the hicolor icon theme.
// Usage: kv-pictures <output directory>            (the committed copies live in src/resources)
//        kv-pictures --icons <output directory>    (<size>x<size>/apps/kv480t-config.png)
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

#include "IcoFile.h"
#include "JpegFile.h"
#include "Pictures.h"
#include "PngFile.h"

namespace {

int writeWindowPictures(const std::string& dir) {
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
    std::vector<kvpic::IconImage> images;
    for (const int size : kvpic::kProgramIconSizes)
        images.push_back({size, kvpic::drawIcon(size).rgb()});
    std::string error;
    const std::vector<std::uint8_t> ico = kvpic::encodeIco(images, error);
    const std::string path = dir + "/kv480t-config.ico";
    if (error.empty()) error = kvpic::writeFile(path, ico);
    if (!error.empty()) {
        std::fprintf(stderr, "kv-pictures: %s\n", error.c_str());
        return 1;
    }
    std::printf("%s: %zu pictures\n", path.c_str(), images.size());
    return 0;
}

int writeDesktopIcons(const std::string& dir) {
    for (const int size : kvpic::kIconSizes) {
        const std::string sizeName = std::to_string(size) + "x" + std::to_string(size);
        const std::filesystem::path folder = std::filesystem::path(dir) / sizeName / "apps";
        std::error_code ec;
        std::filesystem::create_directories(folder, ec);
        if (ec) {
            std::fprintf(stderr, "kv-pictures: cannot create %s: %s\n", folder.c_str(),
                         ec.message().c_str());
            return 1;
        }
        const std::string path = (folder / "kv480t-config.png").string();
        const kvpic::Canvas canvas = kvpic::drawIcon(size);
        const std::string error =
            kvpic::writePng(path, canvas.width(), canvas.height(), canvas.rgb());
        if (!error.empty()) {
            std::fprintf(stderr, "kv-pictures: %s\n", error.c_str());
            return 1;
        }
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::string_view(argv[1]) != "--icons") return writeWindowPictures(argv[1]);
    if (argc == 3 && std::string_view(argv[1]) == "--icons") return writeDesktopIcons(argv[2]);
    std::fprintf(stderr, "usage: %s <output directory>\n       %s --icons <output directory>\n",
                 argv[0], argv[0]);
    return 2;
}
