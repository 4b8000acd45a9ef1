// Renders 512×512 slices of the noise functions to PNG files, to show what each looks like:
// 2D gradient and simplex noise, a slice through 3D gradient and simplex noise, and the three
// components of 2D vector gradient noise as red, green and blue.
//
// Usage: noise_pictures [output directory]   (default: the current directory)
#include <png.h>

#include <cmath>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "core/geometry/Noise.h"

namespace {

constexpr int Size = 512;
constexpr float CellsAcross = 12.0f;

unsigned char ToByte(float value) {
    const float scaled = std::round(value * 255.0f);
    return static_cast<unsigned char>(scaled < 0.0f ? 0.0f : scaled > 255.0f ? 255.0f : scaled);
}

// Writes 8-bit grey (channels 1) or RGB (channels 3) rows; false when the file cannot be written.
bool WritePng(const std::string& path, const std::vector<unsigned char>& pixels, int channels) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return false;
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
    bool written = false;
    // libpng reports errors by jumping back here; nothing with a destructor lives in this frame's
    // code after this point.
    if (info != nullptr && setjmp(png_jmpbuf(png)) == 0) {
        png_init_io(png, file);
        png_set_IHDR(png, info, Size, Size, 8, channels == 3 ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_GRAY,
                     PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_set_compression_level(png, 9);
        png_write_info(png, info);
        for (int y = 0; y < Size; ++y) {
            png_write_row(png, pixels.data() + static_cast<size_t>(y) * Size * channels);
        }
        png_write_end(png, nullptr);
        written = true;
    }
    png_destroy_write_struct(&png, &info);
    return std::fclose(file) == 0 && written;
}

bool Render(const std::string& path, const std::function<float(float, float)>& noise) {
    std::vector<unsigned char> pixels(Size * Size);
    for (int y = 0; y < Size; ++y) {
        for (int x = 0; x < Size; ++x) {
            pixels[y * Size + x] = ToByte(noise(x * CellsAcross / Size, y * CellsAcross / Size));
        }
    }
    return WritePng(path, pixels, 1);
}

bool RenderVector(const std::string& path, const std::function<Quorvin::Vec3(float, float)>& noise) {
    std::vector<unsigned char> pixels(Size * Size * 3);
    for (int y = 0; y < Size; ++y) {
        for (int x = 0; x < Size; ++x) {
            const Quorvin::Vec3 v = noise(x * CellsAcross / Size, y * CellsAcross / Size);
            unsigned char* pixel = &pixels[(y * Size + x) * 3];
            pixel[0] = ToByte(v.x), pixel[1] = ToByte(v.y), pixel[2] = ToByte(v.z);
        }
    }
    return WritePng(path, pixels, 3);
}

}  // namespace

int main(int argc, char** argv) {
    using namespace Quorvin;
    const std::string directory = argc > 1 ? std::string(argv[1]) + "/" : std::string();
    // The 3D slices cut the lattice at a slant, so they show structure a 2D picture cannot.
    const auto slice = [](float x, float y) { return Vec3{x, y, 0.37f * x + 0.21f * y + 5.5f}; };
    const struct {
        const char* name;
        std::function<float(float, float)> noise;
    } pictures[] = {
        {"gradient-noise-2d.png", [](float x, float y) { return GradientNoise(x, y); }},
        {"simplex-noise-2d.png", [](float x, float y) { return SimplexNoise(x, y); }},
        {"gradient-noise-3d-slice.png", [&](float x, float y) { return GradientNoise(slice(x, y)); }},
        {"simplex-noise-3d-slice.png", [&](float x, float y) { return SimplexNoise(slice(x, y)); }},
    };
    int failures = 0;
    for (const auto& picture : pictures) {
        if (!Render(directory + picture.name, picture.noise)) {
            std::fprintf(stderr, "cannot write %s%s\n", directory.c_str(), picture.name);
            ++failures;
        }
    }
    if (!RenderVector(directory + "gradient-noise-vector-2d.png",
                      [](float x, float y) { return GradientNoiseVector(x, y); })) {
        std::fprintf(stderr, "cannot write %sgradient-noise-vector-2d.png\n", directory.c_str());
        ++failures;
    }
    return failures == 0 ? 0 : 1;
}
