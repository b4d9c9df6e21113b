// The share of two pictures' pixels that differ, for the comparison benchmark.
//
//   bench_picture_difference A.png B.png [RRGGBB]
//
// Prints the percentage of pixels whose colour differs (any channel by more than 8 of 255)
// and, given the background's colour, the percentage of pixels that show the background in B
// but not in A: the holes B opens.
#include <cstdio>
#include <cstdlib>
#include <png.h>
#include <vector>

namespace {

struct Picture {
    png_uint_32 width = 0;
    png_uint_32 height = 0;
    std::vector<unsigned char> rgba;
};

bool read(const char* path, Picture& picture) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (png_image_begin_read_from_file(&image, path) == 0) return false;
    image.format = PNG_FORMAT_RGBA;
    picture.width = image.width;
    picture.height = image.height;
    picture.rgba.resize(PNG_IMAGE_SIZE(image));
    return png_image_finish_read(&image, nullptr, picture.rgba.data(), 0, nullptr) != 0;
}

bool differs(const unsigned char* a, const unsigned char* b) {
    for (int channel = 0; channel < 3; ++channel)
        if (std::abs(a[channel] - b[channel]) > 8) return true;
    return false;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: bench_picture_difference A.png B.png [BACKGROUND.png]\n");
        return 2;
    }
    Picture a;
    Picture b;
    unsigned char background[3] = {0, 0, 0};
    if (argc > 3) {
        const unsigned long rgb = std::strtoul(argv[3], nullptr, 16);
        background[0] = static_cast<unsigned char>(rgb >> 16);
        background[1] = static_cast<unsigned char>(rgb >> 8);
        background[2] = static_cast<unsigned char>(rgb);
    }
    if (!read(argv[1], a) || !read(argv[2], b) || a.width != b.width || a.height != b.height) {
        std::fprintf(stderr, "bench_picture_difference: unreadable or unequal pictures\n");
        return 1;
    }
    const std::size_t pixels = static_cast<std::size_t>(a.width) * a.height;
    std::size_t changed = 0;
    std::size_t holes = 0;
    for (std::size_t i = 0; i < pixels; ++i) {
        if (differs(&a.rgba[4 * i], &b.rgba[4 * i])) ++changed;
        if (argc > 3 && !differs(&b.rgba[4 * i], background) && differs(&a.rgba[4 * i], background))
            ++holes;
    }
    std::printf("%.1f", 100.0 * static_cast<double>(changed) / static_cast<double>(pixels));
    if (argc > 3)
        std::printf(" %.1f", 100.0 * static_cast<double>(holes) / static_cast<double>(pixels));
    std::printf("\n");
    return 0;
}
