#include "files/png_image.h"

#include <png.h>

#include <cerrno>
#include <csetjmp>
#include <cstring>

#include "ks_hostkit/output_file.h"

namespace noxconvert {
namespace {

// libpng reports errors by longjmp; nothing with a destructor may live between the setjmp and
// the calls that can jump, so the encoding runs in this plain function.
bool encode(std::FILE* file, const RgbImage& image, std::vector<png_bytep>& rows) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!png) return false;
    png_infop info = png_create_info_struct(png);
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, static_cast<png_uint_32>(image.width),
                 static_cast<png_uint_32>(image.height), 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_write_image(png, rows.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

}  // namespace

bool writePng(const std::string& path, const RgbImage& image, std::string& reason) {
    hostkit::OutputFile out(path);
    if (!out.isOpen()) {
        reason = std::strerror(errno);
        return false;
    }
    std::vector<png_bytep> rows(static_cast<size_t>(image.height));
    for (int y = 0; y < image.height; ++y)
        rows[static_cast<size_t>(y)] =
            const_cast<png_bytep>(&image.pixels[size_t(y) * size_t(image.width) * 3]);
    if (!encode(out.get(), image, rows)) {
        reason = "the PNG encoder failed";
        return false;
    }
    if (!out.commit()) {
        reason = std::strerror(errno);
        return false;
    }
    return true;
}

}  // namespace noxconvert
