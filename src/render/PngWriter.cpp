#include "render/PngWriter.h"

#include "platform/Files.h"

#include <png.h>

namespace tessera {
namespace {

void append(png_structp png, png_bytep data, png_size_t length) {
    auto* out = static_cast<std::string*>(png_get_io_ptr(png));
    out->append(reinterpret_cast<const char*>(data), length);
}

void flush(png_structp) {}

} // namespace

std::expected<void, std::string> writePng(const std::string& path, int width, int height,
                                          const std::vector<std::uint8_t>& rgba) {
    if (width <= 0 || height <= 0 ||
        rgba.size() != static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4)
        return std::unexpected(std::string("no picture to write"));
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
    if (info == nullptr) {
        png_destroy_write_struct(&png, nullptr);
        return std::unexpected(std::string("cannot set up the PNG encoder"));
    }
    std::string encoded;
    std::vector<png_bytep> rows(static_cast<std::size_t>(height));
    for (int y = 0; y < height; ++y)
        rows[static_cast<std::size_t>(y)] = const_cast<png_bytep>(
            rgba.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width) * 4);
    // libpng reports errors by jumping back here.
    if (setjmp(png_jmpbuf(png)) != 0) {
        png_destroy_write_struct(&png, &info);
        return std::unexpected(std::string("cannot encode the PNG"));
    }
    png_set_write_fn(png, &encoded, append, flush);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                 PNG_COLOR_TYPE_RGBA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_write_image(png, rows.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return platform::writeFileAtomically(path, encoded);
}

} // namespace tessera
