// Pictures in memory, their files (PNG and OpenEXR), per-frame file names and image comparison.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace pexil::render {

// A linear-light RGBA picture, rows top to bottom, 4 floats a pixel.
struct Image {
    int width = 0, height = 0;
    std::vector<float> rgba;

    Image() = default;
    // Zero-filled. Negative sizes, or sizes whose float count does not fit in memory, throw
    // std::invalid_argument.
    Image(int w, int h);

    // The 4 floats of pixel (x, y); no bounds check.
    float* at(int x, int y) { return rgba.data() + Offset(x, y); }
    const float* at(int x, int y) const { return rgba.data() + Offset(x, y); }

  private:
    std::size_t Offset(int x, int y) const {
        return (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                static_cast<std::size_t>(x)) *
               4;
    }
};

enum class ExrPixels { Half, Float };

// Writes the picture to `path`, in the format its extension names (".png" or ".exr", any case):
// - PNG: 8-bit RGBA with an sRGB chunk. Colour is clamped to [0,1], sRGB-encoded and rounded;
//   alpha is clamped and rounded but not encoded.
// - OpenEXR: linear RGBA channels of half (default; rounded to nearest, values beyond +-65504
//   become infinite) or 32-bit float, ZIP compressed.
// The file is encoded in memory, written to a temp file in the same folder and renamed over
// `path`, so a reader never sees half a file. Throws std::runtime_error naming the path and the
// reason: an unknown extension, an empty picture or one whose pixel buffer does not match its
// size (all before anything is written), or any failure to write (the temp file is removed).
void WriteImage(const std::string& path, const Image& image, ExrPixels exr = ExrPixels::Half);

// Reads a PNG or OpenEXR file; the format is recognised by the file's signature, not its name.
// - PNG: any bit depth and colour type, expanded to RGBA and decoded from sRGB to linear (a file
//   that states another gamma is converted to sRGB first; 16-bit files without colour
//   information count as sRGB).
// - OpenEXR: scan-line or tiled, the R, G and B channels of the data window (any pixel type);
//   a missing A reads as 1. A file without R, G or B is an error.
// Throws std::runtime_error naming the path and the reason on any error.
Image ReadImage(const std::string& path);

// The file of one frame of an animation: the frame number, at least 4 digits ("-007" for
// negative frames), goes before the extension: "out/anim.png", 7 -> "out/anim0007.png". A path
// without extension gets the number at its end. A still (animation == false) keeps the path.
std::string FramePath(const std::string& path, int frame, bool animation);

// The exact sRGB transfer curves. Input is clamped to [0,1]; NaN counts as 0.
float SrgbEncode(float linear);
float SrgbDecode(float encoded);

// How far two pictures are apart: the largest and the mean absolute difference over all channels
// of all pixels. With `encoded`, channels are first turned into the 8-bit values WriteImage would
// store in a PNG and the differences are divided by 255 (so a PNG round trip compares as 0);
// otherwise the linear floats are compared, and a NaN against a number counts as an infinite
// difference. Pictures of different sizes, or with a pixel buffer that does not match the size,
// throw std::invalid_argument.
struct ImageDiff {
    double maxAbs = 0;
    double meanAbs = 0;
};
ImageDiff Compare(const Image& a, const Image& b, bool encoded = true);

}  // namespace pexil::render
