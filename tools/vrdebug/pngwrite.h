// Writes 8-bit RGB images (rows from the top, no gaps) as PNG files, for the
// debug tool and the benchmarks' image comparisons.
#pragma once

#include <png.h>

#include <cstdint>
#include <cstdio>
#include <string>

namespace vrdebug {

inline bool writePng(const std::string& path, const uint8_t* rgb, int width, int height)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(f);
        return false;
    }
    png_init_io(png, f);
    png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int r = 0; r < height; ++r) png_write_row(png, const_cast<uint8_t*>(rgb + size_t(r) * width * 3));
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return std::fclose(f) == 0;
}

}  // namespace vrdebug
