#include "render/image.h"

#include <Imath/half.h>
#include <OpenEXR/ImfChannelList.h>
#include <OpenEXR/ImfFrameBuffer.h>
#include <OpenEXR/ImfHeader.h>
#include <OpenEXR/ImfIO.h>
#include <OpenEXR/ImfInputFile.h>
#include <OpenEXR/ImfOutputFile.h>
#include <OpenEXR/ImfStdIO.h>
#include <png.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <optional>
#include <stdexcept>

#include "host/scene_text.h"

namespace pexil::render {
namespace {

enum class Format { Png, Exr };

constexpr unsigned char kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
constexpr unsigned char kExrSignature[4] = {0x76, 0x2f, 0x31, 0x01};

[[noreturn]] void WriteError(const std::string& path, const std::string& reason) {
    throw std::runtime_error("cannot write " + path + ": " + reason);
}

[[noreturn]] void ReadError(const std::string& path, const std::string& reason) {
    throw std::runtime_error("cannot read " + path + ": " + reason);
}

// NaN goes to 0, like every other value below 0.
float Clamp01(float v) {
    return v > 0.0f ? (v < 1.0f ? v : 1.0f) : 0.0f;
}

// A value in [0,1] as the nearest 8-bit step.
std::uint8_t ToByte(float v) {
    return static_cast<std::uint8_t>(Clamp01(v) * 255.0f + 0.5f);
}

// A linear channel as WriteImage stores it in a PNG: colour sRGB-encoded, alpha as it is.
std::uint8_t PngByte(float linear, bool alpha) {
    return ToByte(alpha ? linear : SrgbEncode(linear));
}

std::string ToLower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

// The position of the extension's dot in the path's last component, or npos. A leading dot
// (".png", a hidden file) does not start an extension.
std::size_t ExtensionDot(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    const std::size_t name = slash == std::string::npos ? 0 : slash + 1;
    const std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || dot <= name) return std::string::npos;
    return dot;
}

std::optional<Format> FormatOf(const std::string& path) {
    const std::size_t dot = ExtensionDot(path);
    if (dot == std::string::npos) return std::nullopt;
    const std::string ext = ToLower(path.substr(dot));
    if (ext == ".png") return Format::Png;
    if (ext == ".exr") return Format::Exr;
    return std::nullopt;
}

std::size_t PixelCount(const Image& image) {
    return static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height);
}

// Empty when the pixel buffer matches the size, else what is wrong.
std::string CheckBuffer(const Image& image) {
    if (image.width < 0 || image.height < 0)
        return "negative size " + std::to_string(image.width) + "x" + std::to_string(image.height);
    if (image.rgba.size() / 4 != PixelCount(image) || image.rgba.size() % 4 != 0)
        return "the pixel buffer holds " + std::to_string(image.rgba.size()) +
               " floats, not 4 for each of " + std::to_string(image.width) + "x" +
               std::to_string(image.height) + " pixels";
    return {};
}

// --- PNG ------------------------------------------------------------------------------------

// Frees the simplified-API state on every way out (libpng frees it itself after finish_read).
struct PngImageGuard {
    png_image* image;
    ~PngImageGuard() { png_image_free(image); }
};

std::string EncodePng(const std::string& path, const Image& image) {
    if (image.width > std::numeric_limits<png_int_32>::max() / 4)
        WriteError(path, std::to_string(image.width) + " pixels are too wide for a PNG row");
    std::vector<std::uint8_t> bytes(image.rgba.size());
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = PngByte(image.rgba[i], i % 4 == 3);

    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    png.width = static_cast<png_uint_32>(image.width);
    png.height = static_cast<png_uint_32>(image.height);
    png.format = PNG_FORMAT_RGBA;  // 8-bit sRGB: libpng writes the sRGB chunk
    // Room for data that does not compress at all: zlib's stored blocks and the IDAT chunking
    // add well under 1%. Should that still be short, libpng says how much it needs.
    png_alloc_size_t capacity =
        bytes.size() + bytes.size() / 64 + static_cast<std::size_t>(image.height) + 4096;
    std::string out;
    for (int attempt = 0; attempt < 2; ++attempt) {
        out.resize(capacity);
        png_alloc_size_t size = capacity;
        PngImageGuard guard{&png};
        if (png_image_write_to_memory(&png, out.data(), &size, 0, bytes.data(), 0, nullptr)) {
            out.resize(size);
            return out;
        }
        if (size <= capacity) break;  // a real error, not a short buffer
        capacity = size;
        png.warning_or_error = 0;
        png.message[0] = '\0';
    }
    WriteError(path, std::string("PNG encoder: ") + (png.message[0] ? png.message : "failed"));
}

Image DecodePng(const std::string& path, const std::string& data) {
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    PngImageGuard guard{&png};
    if (!png_image_begin_read_from_memory(&png, data.data(), data.size()))
        ReadError(path, std::string("bad PNG data: ") + png.message);
    png.flags |= PNG_IMAGE_FLAG_16BIT_sRGB;  // 16-bit without colour information: sRGB too
    png.format = PNG_FORMAT_RGBA;
    const std::size_t pixels = static_cast<std::size_t>(png.width) * png.height;
    // Uninitialised: a header that claims a huge picture costs address space, not memory,
    // until libpng fails on the missing data.
    std::unique_ptr<std::uint8_t[]> bytes(new std::uint8_t[pixels * 4]);
    if (!png_image_finish_read(&png, nullptr, bytes.get(), 0, nullptr))
        ReadError(path, std::string("bad PNG data: ") + png.message);

    std::array<float, 256> decode;
    for (int i = 0; i < 256; ++i)
        decode[static_cast<std::size_t>(i)] = SrgbDecode(static_cast<float>(i) / 255.0f);
    Image image(static_cast<int>(png.width), static_cast<int>(png.height));
    for (std::size_t i = 0; i < pixels * 4; ++i)
        image.rgba[i] = i % 4 == 3 ? static_cast<float>(bytes[i]) / 255.0f : decode[bytes[i]];
    return image;
}

// --- OpenEXR --------------------------------------------------------------------------------

// An OpenEXR input stream over bytes already in memory.
class MemoryIStream : public Imf::IStream {
  public:
    MemoryIStream(const std::string& data, const std::string& name)
        : Imf::IStream(name.c_str()), data_(data) {}

    bool read(char c[], int n) override {
        if (n < 0 || pos_ > data_.size() || data_.size() - pos_ < static_cast<std::size_t>(n))
            throw std::runtime_error("the file ends early");
        std::memcpy(c, data_.data() + pos_, static_cast<std::size_t>(n));
        pos_ += static_cast<std::size_t>(n);
        return pos_ < data_.size();
    }
    std::uint64_t tellg() override { return pos_; }
    void seekg(std::uint64_t pos) override { pos_ = pos; }

  private:
    const std::string& data_;
    std::uint64_t pos_ = 0;
};

constexpr const char* kChannels[4] = {"R", "G", "B", "A"};

std::string EncodeExr(const std::string& path, const Image& image, ExrPixels pixels) {
    try {
        Imf::Header header(image.width, image.height);
        header.compression() = Imf::ZIP_COMPRESSION;
        // An output file takes its channels in the file's pixel type, so half pixels are
        // converted here (rounded to nearest).
        std::vector<half> halves;
        const char* base = reinterpret_cast<const char*>(image.rgba.data());
        Imf::PixelType type = Imf::FLOAT;
        std::size_t size = sizeof(float);
        if (pixels == ExrPixels::Half) {
            halves.assign(image.rgba.begin(), image.rgba.end());
            base = reinterpret_cast<const char*>(halves.data());
            type = Imf::HALF;
            size = sizeof(half);
        }
        const std::size_t xStride = 4 * size;
        const std::size_t yStride = xStride * static_cast<std::size_t>(image.width);
        Imf::FrameBuffer frame;
        for (int c = 0; c < 4; ++c) {
            header.channels().insert(kChannels[c], Imf::Channel(type));
            // OpenEXR reads through the slices only; they want non-const pointers all the same.
            frame.insert(kChannels[c],
                         Imf::Slice(type, const_cast<char*>(base) + c * size, xStride, yStride));
        }
        Imf::StdOSStream stream;
        {
            Imf::OutputFile file(stream, header);
            file.setFrameBuffer(frame);
            file.writePixels(image.height);
        }  // closing the file writes the scan-line offsets
        return stream.str();
    } catch (const std::bad_alloc&) {
        WriteError(path, "the picture is too large for memory");
    } catch (const std::exception& e) {
        WriteError(path, std::string("OpenEXR encoder: ") + e.what());
    }
}

Image DecodeExr(const std::string& path, const std::string& data) {
    try {
        MemoryIStream stream(data, path);
        Imf::InputFile file(stream);
        const Imf::Header& header = file.header();
        const Imath::Box2i window = header.dataWindow();
        const std::int64_t width = std::int64_t{window.max.x} - window.min.x + 1;
        const std::int64_t height = std::int64_t{window.max.y} - window.min.y + 1;
        if (width <= 0 || height <= 0 || width > std::numeric_limits<int>::max() ||
            height > std::numeric_limits<int>::max())
            ReadError(path, "bad OpenEXR data window");

        std::string missing, subsampled;
        for (int c = 0; c < 4; ++c) {
            const Imf::Channel* channel = header.channels().findChannel(kChannels[c]);
            if (!channel) {
                if (c < 3) missing += std::string(missing.empty() ? "" : ", ") + kChannels[c];
            } else if (channel->xSampling != 1 || channel->ySampling != 1) {
                subsampled += std::string(subsampled.empty() ? "" : ", ") + kChannels[c];
            }
        }
        if (!missing.empty()) {
            std::string found;
            for (auto it = header.channels().begin(); it != header.channels().end(); ++it)
                found += std::string(found.empty() ? "" : " ") + it.name();
            ReadError(path, "the OpenEXR file has no " + missing +
                                " channel (it has: " + (found.empty() ? "none" : found) + ")");
        }
        if (!subsampled.empty())
            ReadError(path, "subsampled OpenEXR channels are not supported (" + subsampled + ")");

        Image image(static_cast<int>(width), static_cast<int>(height));
        Imf::FrameBuffer frame;
        char* base = reinterpret_cast<char*>(image.rgba.data());
        const std::size_t xStride = 4 * sizeof(float);
        const std::size_t yStride = xStride * static_cast<std::size_t>(width);
        for (int c = 0; c < 4; ++c)
            frame.insert(kChannels[c],
                         Imf::Slice::Make(Imf::FLOAT, base + c * sizeof(float), window, xStride,
                                          yStride, 1, 1, c == 3 ? 1.0 : 0.0));
        file.setFrameBuffer(frame);
        file.readPixels(window.min.y, window.max.y);
        return image;
    } catch (const std::bad_alloc&) {
        ReadError(path, "the OpenEXR picture is too large for memory");
    } catch (const std::runtime_error& e) {
        // Our own errors already name the path; the library's do not always.
        const std::string what = e.what();
        if (what.rfind("cannot read " + path + ": ", 0) == 0) throw;
        ReadError(path, "bad OpenEXR data: " + what);
    } catch (const std::exception& e) {
        ReadError(path, std::string("bad OpenEXR data: ") + e.what());
    }
}

std::string ReadBytes(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) ReadError(path, std::strerror(errno));
    std::string data;
    char buffer[1 << 16];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) data.append(buffer, n);
    const int error = std::ferror(f) ? errno : 0;
    std::fclose(f);
    if (error) ReadError(path, std::strerror(error));
    return data;
}

}  // namespace

Image::Image(int w, int h) {
    if (w < 0 || h < 0)
        throw std::invalid_argument("Image: negative size " + std::to_string(w) + "x" +
                                    std::to_string(h));
    if (h != 0 && static_cast<std::size_t>(w) > rgba.max_size() / 4 / static_cast<std::size_t>(h))
        throw std::invalid_argument("Image: " + std::to_string(w) + "x" + std::to_string(h) +
                                    " pixels do not fit in memory");
    rgba.assign(static_cast<std::size_t>(w) * static_cast<std::size_t>(h) * 4, 0.0f);
    width = w;
    height = h;
}

float SrgbEncode(float linear) {
    const double v = Clamp01(linear);
    return static_cast<float>(v <= 0.0031308 ? 12.92 * v : 1.055 * std::pow(v, 1.0 / 2.4) - 0.055);
}

float SrgbDecode(float encoded) {
    const double v = Clamp01(encoded);
    return static_cast<float>(v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4));
}

void WriteImage(const std::string& path, const Image& image, ExrPixels exr) {
    const std::optional<Format> format = FormatOf(path);
    if (!format) {
        const std::size_t dot = ExtensionDot(path);
        WriteError(
            path, (dot == std::string::npos ? std::string("no file extension")
                                            : "unknown file extension '" + path.substr(dot) + "'") +
                      " (use .png or .exr)");
    }
    if (const std::string bad = CheckBuffer(image); !bad.empty()) WriteError(path, bad);
    if (image.width == 0 || image.height == 0)
        WriteError(path, "the picture is empty (" + std::to_string(image.width) + "x" +
                             std::to_string(image.height) + ")");
    const std::string bytes =
        *format == Format::Png ? EncodePng(path, image) : EncodeExr(path, image, exr);
    host::writeFileAtomically(path, bytes);
}

Image ReadImage(const std::string& path) {
    const std::string data = ReadBytes(path);
    if (data.empty()) ReadError(path, "the file is empty");
    try {
        if (data.size() >= sizeof kPngSignature &&
            std::memcmp(data.data(), kPngSignature, sizeof kPngSignature) == 0)
            return DecodePng(path, data);
        if (data.size() >= sizeof kExrSignature &&
            std::memcmp(data.data(), kExrSignature, sizeof kExrSignature) == 0)
            return DecodeExr(path, data);
    } catch (const std::bad_alloc&) {
        ReadError(path, "the picture is too large for memory");
    }
    ReadError(path, "not a PNG or OpenEXR file");
}

std::string FramePath(const std::string& path, int frame, bool animation) {
    if (!animation) return path;
    char number[16];
    std::snprintf(number, sizeof number, "%04d", frame);
    const std::size_t dot = ExtensionDot(path);
    if (dot == std::string::npos) return path + number;
    return path.substr(0, dot) + number + path.substr(dot);
}

ImageDiff Compare(const Image& a, const Image& b, bool encoded) {
    if (const std::string bad = CheckBuffer(a); !bad.empty())
        throw std::invalid_argument("Compare: first image: " + bad);
    if (const std::string bad = CheckBuffer(b); !bad.empty())
        throw std::invalid_argument("Compare: second image: " + bad);
    if (a.width != b.width || a.height != b.height)
        throw std::invalid_argument("Compare: sizes differ: " + std::to_string(a.width) + "x" +
                                    std::to_string(a.height) + " and " + std::to_string(b.width) +
                                    "x" + std::to_string(b.height));
    ImageDiff diff;
    if (a.rgba.empty()) return diff;
    double sum = 0;
    for (std::size_t i = 0; i < a.rgba.size(); ++i) {
        const float x = a.rgba[i], y = b.rgba[i];
        double d = 0;
        if (encoded) {
            const bool alpha = i % 4 == 3;
            d = std::abs(int{PngByte(x, alpha)} - int{PngByte(y, alpha)}) / 255.0;
        } else if (x != y) {
            if (std::isnan(x) || std::isnan(y))
                d = std::isnan(x) && std::isnan(y) ? 0.0 : std::numeric_limits<double>::infinity();
            else
                d = std::abs(double{x} - double{y});
        }
        diff.maxAbs = std::max(diff.maxAbs, d);
        sum += d;
    }
    diff.meanAbs = sum / static_cast<double>(a.rgba.size());
    return diff;
}

}  // namespace pexil::render
