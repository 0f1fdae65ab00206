#include "JpegFile.h"

#include <cstdio>
// jpeglib.h needs FILE and size_t declared before it.
#include <jpeglib.h>

namespace kvpic {

std::string writeJpeg(const std::string& path, int width, int height,
                      const std::vector<std::uint8_t>& rgb, int quality) {
    if (rgb.size() != static_cast<std::size_t>(width) * height * 3) return "picture size mismatch";
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return "cannot create " + path;

    // The default error handler ends the program with a message, which suits a generator.
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr jerr{};
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_compress(&cinfo);
    jpeg_stdio_dest(&cinfo, file);
    cinfo.image_width = static_cast<JDIMENSION>(width);
    cinfo.image_height = static_cast<JDIMENSION>(height);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    // Full-resolution colour keeps thin coloured wires and small text crisp.
    for (int i = 0; i < cinfo.num_components; ++i)
        cinfo.comp_info[i].h_samp_factor = cinfo.comp_info[i].v_samp_factor = 1;
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        // libjpeg takes non-const rows; it does not write through them.
        JSAMPROW row =
            const_cast<JSAMPROW>(&rgb[static_cast<std::size_t>(cinfo.next_scanline) * width * 3]);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return std::fclose(file) == 0 ? std::string() : "cannot write " + path;
}

}  // namespace kvpic
