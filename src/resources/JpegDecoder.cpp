// JPEG decoding with libjpeg. libjpeg reports a fatal error through error_exit, whose default
// prints a message and calls exit(); ours keeps the message and longjmps back into
// decodeInto(). Warnings (corrupt or truncated data) are treated the same way, so a damaged
// picture is refused instead of being shown half grey.
#include <csetjmp>
#include <cstdio>
#include <limits>
#include <new>

#include "resources/Pictures.h"
// jpeglib.h needs FILE and size_t declared before it.
#include <jpeglib.h>

namespace kvres {
namespace {

struct ErrorHandler {
    jpeg_error_mgr mgr;  // first: libjpeg hands back a pointer to it
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

[[noreturn]] void failDecoding(j_common_ptr cinfo) {
    auto* handler = reinterpret_cast<ErrorHandler*>(cinfo->err);
    cinfo->err->format_message(cinfo, handler->message);
    std::longjmp(handler->jump, 1);
}

void onMessage(j_common_ptr cinfo, int level) {
    if (level < 0) failDecoding(cinfo);  // a warning: the data is damaged
    // Trace messages (level >= 0) are dropped.
}

void ignoreOutput(j_common_ptr) {}

// libjpeg may longjmp out of any call below back to the setjmp here. So this function holds
// no object with a destructor and reads no local after the jump; the pixel buffer and the
// decoder state belong to the caller, which cleans up after either outcome.
bool decodeInto(jpeg_decompress_struct& cinfo, ErrorHandler& handler, const std::uint8_t* data,
                unsigned long size, std::vector<std::uint8_t>& pixels, int& width, int& height) {
    if (setjmp(handler.jump)) return false;
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, data, size);
    jpeg_read_header(&cinfo, TRUE);
    if (cinfo.image_width > static_cast<unsigned>(kMaxJpegSide) ||
        cinfo.image_height > static_cast<unsigned>(kMaxJpegSide) ||
        static_cast<long long>(cinfo.image_width) * cinfo.image_height > kMaxJpegPixels) {
        std::snprintf(handler.message, sizeof handler.message, "picture too large (%u x %u)",
                      cinfo.image_width, cinfo.image_height);
        return false;
    }
    cinfo.out_color_space = JCS_RGB;
    jpeg_start_decompress(&cinfo);
    if (cinfo.output_components != 3) {
        std::snprintf(handler.message, sizeof handler.message, "unexpected %d colour components",
                      cinfo.output_components);
        return false;
    }
    width = static_cast<int>(cinfo.output_width);
    height = static_cast<int>(cinfo.output_height);
    const std::size_t stride = static_cast<std::size_t>(width) * 3;
    pixels.resize(stride * static_cast<std::size_t>(height));
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = pixels.data() + stride * cinfo.output_scanline;
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    return true;
}

}  // namespace

bool decodeJpeg(std::span<const std::uint8_t> jpeg, Image& out, std::string& error) {
    out = Image{};
    error.clear();
    if (jpeg.size() > std::numeric_limits<unsigned long>::max()) {
        error = "JPEG decoding failed: file too large";
        return false;
    }

    jpeg_decompress_struct cinfo{};
    ErrorHandler handler{};
    cinfo.err = jpeg_std_error(&handler.mgr);
    handler.mgr.error_exit = failDecoding;
    handler.mgr.emit_message = onMessage;
    handler.mgr.output_message = ignoreOutput;

    std::vector<std::uint8_t> pixels;
    int width = 0, height = 0;
    bool ok = false;
    try {
        ok = decodeInto(cinfo, handler, jpeg.data(), static_cast<unsigned long>(jpeg.size()),
                        pixels, width, height);
    } catch (const std::bad_alloc&) {
        std::snprintf(handler.message, sizeof handler.message, "out of memory");
    }
    jpeg_destroy_decompress(&cinfo);  // safe after a failure at any step
    if (!ok) {
        error = std::string("JPEG decoding failed: ") + handler.message;
        return false;
    }
    out.width = width;
    out.height = height;
    out.rgb = std::move(pixels);
    return true;
}

}  // namespace kvres
