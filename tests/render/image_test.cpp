// Image files (PNG, OpenEXR), frame file names, sRGB curves, image comparison and the label font.
#include "render/image.h"

#include <OpenEXR/ImfChannelList.h>
#include <OpenEXR/ImfFrameBuffer.h>
#include <OpenEXR/ImfHeader.h>
#include <OpenEXR/ImfInputFile.h>
#include <OpenEXR/ImfOutputFile.h>
#include <gtest/gtest.h>
#include <png.h>
#include <stdlib.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <limits>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "render/font.h"

namespace pexil::render {
namespace {

namespace fs = std::filesystem;

// A picture whose every channel differs, with colour outside [0,1] in both directions and alpha
// from 0 to 1. Odd, unequal sides catch stride and transposition faults.
Image Pattern(int w = 7, int h = 5) {
    Image image(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            float* p = image.at(x, y);
            p[0] = -0.25f + 1.5f * static_cast<float>(x) / static_cast<float>(w - 1);
            p[1] = static_cast<float>(y) / static_cast<float>(h - 1);
            p[2] = 0.001f + 0.01f * static_cast<float>(x * h + y);  // around the sRGB knee
            p[3] = static_cast<float>((x + y * w) % 11) / 10.0f;
        }
    return image;
}

// High dynamic range values for OpenEXR: negative, tiny, above 1, and not exact in half.
Image HdrPattern() {
    Image image(6, 4);
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) {
            float* p = image.at(x, y);
            p[0] = (static_cast<float>(x) - 2.0f) * 3.7f + 0.1f;
            p[1] = 0.1f * static_cast<float>(y + 1) / 7.0f;
            p[2] = 1000.3f * static_cast<float>(x * y) + 1e-3f;
            p[3] = 0.3f + 0.1f * static_cast<float>(y);
        }
    return image;
}

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteAll(const fs::path& path, const std::string& data) {
    std::ofstream(path, std::ios::binary) << data;
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// Runs `f`, expects a std::runtime_error and returns its message.
std::string ErrorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const std::runtime_error& e) {
        return e.what();
    }
    ADD_FAILURE() << "no std::runtime_error thrown";
    return {};
}

// Every test gets a fresh folder of its own.
class ImageFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string name = (fs::temp_directory_path() / "pexil-image-XXXXXX").string();
        ASSERT_NE(mkdtemp(name.data()), nullptr);
        dir = name;
    }
    void TearDown() override { fs::remove_all(dir); }

    std::string Path(const std::string& name) const { return (dir / name).string(); }

    // The names in the folder, sorted.
    std::vector<std::string> Listing() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    fs::path dir;
};

// --- PNG ------------------------------------------------------------------------------------

TEST_F(ImageFiles, PngRoundTripWithinHalfAnEightBitStep) {
    const Image original = Pattern();
    const std::string path = Path("pattern.png");
    WriteImage(path, original);
    const Image back = ReadImage(path);
    ASSERT_EQ(back.width, original.width);
    ASSERT_EQ(back.height, original.height);
    const float step = 0.5f / 255.0f + 1e-6f;
    for (std::size_t i = 0; i < original.rgba.size(); ++i) {
        SCOPED_TRACE("float " + std::to_string(i));
        if (i % 4 == 3) {
            EXPECT_NEAR(back.rgba[i], std::clamp(original.rgba[i], 0.0f, 1.0f), step);
        } else {
            EXPECT_NEAR(SrgbEncode(back.rgba[i]), SrgbEncode(original.rgba[i]), step);
        }
    }
    EXPECT_EQ(Compare(original, back).maxAbs, 0.0);
    EXPECT_EQ(Listing(), std::vector<std::string>{"pattern.png"});
}

TEST_F(ImageFiles, PngIsEightBitRgbaWithAnSrgbChunk) {
    const std::string path = Path("pattern.png");
    WriteImage(path, Pattern());
    const std::string data = ReadAll(path);
    ASSERT_GT(data.size(), 33u);
    EXPECT_EQ(data.substr(12, 4), "IHDR");
    EXPECT_EQ(data[24], 8) << "bit depth";
    EXPECT_EQ(data[25], 6) << "colour type RGBA";
    const std::size_t srgb = data.find("sRGB"), idat = data.find("IDAT");
    ASSERT_NE(srgb, std::string::npos);
    EXPECT_LT(srgb, idat);
}

// Writes an 8-bit PNG with libpng's own encoder in a layout WriteImage never uses.
struct PngLayout {
    const char* name;
    png_uint_32 format;
    std::vector<std::uint8_t> pixels;    // 3 pixels, one row
    std::vector<std::uint8_t> colormap;  // RGBA entries, for colour-mapped formats
    std::vector<std::uint8_t> expected;  // RGBA, 8-bit sRGB, 3 pixels
};

class ImagePngLayouts : public ImageFiles, public ::testing::WithParamInterface<PngLayout> {};

TEST_P(ImagePngLayouts, ExpandToRgbaAndDecodeSrgb) {
    const PngLayout& c = GetParam();
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    png.width = 3;
    png.height = 1;
    png.format = c.format;
    png.colormap_entries = static_cast<png_uint_32>(c.colormap.size() / 4);
    const std::string path = Path("layout.png");
    ASSERT_TRUE(png_image_write_to_file(&png, path.c_str(), 0, c.pixels.data(), 0,
                                        c.colormap.empty() ? nullptr : c.colormap.data()))
        << png.message;

    const Image image = ReadImage(path);
    ASSERT_EQ(image.width, 3);
    ASSERT_EQ(image.height, 1);
    for (std::size_t i = 0; i < 12; ++i) {
        const float byte = static_cast<float>(c.expected[i]) / 255.0f;
        EXPECT_NEAR(image.rgba[i], i % 4 == 3 ? byte : SrgbDecode(byte), 1e-6f) << "float " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Image, ImagePngLayouts,
    ::testing::Values(PngLayout{"Gray",
                                PNG_FORMAT_GRAY,
                                {0, 128, 255},
                                {},
                                {0, 0, 0, 255, 128, 128, 128, 255, 255, 255, 255, 255}},
                      PngLayout{"GrayAlpha",
                                PNG_FORMAT_GA,
                                {10, 0, 128, 64, 250, 255},
                                {},
                                {10, 10, 10, 0, 128, 128, 128, 64, 250, 250, 250, 255}},
                      PngLayout{"Rgb",
                                PNG_FORMAT_RGB,
                                {10, 20, 30, 40, 50, 60, 200, 100, 0},
                                {},
                                {10, 20, 30, 255, 40, 50, 60, 255, 200, 100, 0, 255}},
                      PngLayout{"Palette",
                                PNG_FORMAT_RGBA_COLORMAP,
                                {1, 0, 1},
                                {255, 0, 0, 255, 0, 64, 128, 100},
                                {0, 64, 128, 100, 255, 0, 0, 255, 0, 64, 128, 100}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ImageFiles, SixteenBitLinearPngReadsAsLinear) {
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    png.width = 3;
    png.height = 1;
    png.format = PNG_FORMAT_LINEAR_Y;                   // 16-bit, gAMA 1.0
    const std::uint16_t pixels[3] = {0, 13107, 65535};  // 0, 0.2, 1
    const std::string path = Path("linear16.png");
    ASSERT_TRUE(png_image_write_to_file(&png, path.c_str(), 0, pixels, 0, nullptr)) << png.message;

    const Image image = ReadImage(path);
    const float expected[3] = {0.0f, 0.2f, 1.0f};
    for (int x = 0; x < 3; ++x) {
        for (int c = 0; c < 3; ++c)
            EXPECT_NEAR(SrgbEncode(image.at(x, 0)[c]), SrgbEncode(expected[x]), 1.0f / 255)
                << "pixel " << x << " channel " << c;
        EXPECT_EQ(image.at(x, 0)[3], 1.0f);
    }
}

// --- OpenEXR --------------------------------------------------------------------------------

struct ExrCase {
    const char* name;
    ExrPixels pixels;
    Imf::PixelType type;
};

class ImageExrRoundTrip : public ImageFiles, public ::testing::WithParamInterface<ExrCase> {};

TEST_P(ImageExrRoundTrip, KeepsLinearValuesAndWritesZipRgba) {
    const ExrCase& c = GetParam();
    const Image original = HdrPattern();
    const std::string path = Path("hdr.exr");
    WriteImage(path, original, c.pixels);

    {
        Imf::InputFile file(path.c_str());
        EXPECT_EQ(file.header().compression(), Imf::ZIP_COMPRESSION);
        std::set<std::string> names;
        for (auto it = file.header().channels().begin(); it != file.header().channels().end();
             ++it) {
            names.insert(it.name());
            EXPECT_EQ(it.channel().type, c.type) << it.name();
        }
        EXPECT_EQ(names, (std::set<std::string>{"A", "B", "G", "R"}));
    }

    const Image back = ReadImage(path);
    ASSERT_EQ(back.width, original.width);
    ASSERT_EQ(back.height, original.height);
    for (std::size_t i = 0; i < original.rgba.size(); ++i) {
        const float o = original.rgba[i];
        if (c.pixels == ExrPixels::Float) {
            EXPECT_EQ(back.rgba[i], o) << "float " << i;
        } else {
            // 11 significant bits: round to nearest is off by at most 2^-11 relative.
            EXPECT_NEAR(back.rgba[i], o, std::abs(o) * 0x1p-11f + 0x1p-25f) << "float " << i;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Image, ImageExrRoundTrip,
                         ::testing::Values(ExrCase{"Half", ExrPixels::Half, Imf::HALF},
                                           ExrCase{"Float", ExrPixels::Float, Imf::FLOAT}),
                         [](const auto& info) { return std::string(info.param.name); });

// Writes an OpenEXR file of float channels with the given names over the given data window;
// channel k of pixel (x, y) holds 100 k + 10 y + x (window coordinates).
void WriteChannels(const std::string& path, const std::vector<std::string>& names,
                   const Imath::Box2i& window) {
    Imf::Header header(Imath::Box2i({0, 0}, window.max), window);
    const int w = window.max.x - window.min.x + 1, h = window.max.y - window.min.y + 1;
    std::vector<std::vector<float>> planes(names.size(), std::vector<float>(w * h));
    Imf::FrameBuffer frame;
    for (std::size_t k = 0; k < names.size(); ++k) {
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                planes[k][y * w + x] =
                    static_cast<float>(100 * k + 10 * (y + window.min.y) + x + window.min.x);
        header.channels().insert(names[k], Imf::Channel(Imf::FLOAT));
        frame.insert(names[k], Imf::Slice::Make(Imf::FLOAT, planes[k].data(), window));
    }
    Imf::OutputFile file(path.c_str(), header);
    file.setFrameBuffer(frame);
    file.writePixels(h);
}

TEST_F(ImageFiles, ExrWithoutAlphaReadsAlphaOne) {
    const std::string path = Path("rgb.exr");
    WriteChannels(path, {"R", "G", "B"}, Imath::Box2i({0, 0}, {2, 1}));
    const Image image = ReadImage(path);
    ASSERT_EQ(image.width, 3);
    ASSERT_EQ(image.height, 2);
    EXPECT_EQ(image.at(2, 1)[0], 12.0f);
    EXPECT_EQ(image.at(2, 1)[1], 112.0f);
    EXPECT_EQ(image.at(2, 1)[2], 212.0f);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) EXPECT_EQ(image.at(x, y)[3], 1.0f);
}

TEST_F(ImageFiles, ExrDataWindowAwayFromTheOriginReadsAsThePicture) {
    const std::string path = Path("window.exr");
    WriteChannels(path, {"A", "B", "G", "R"}, Imath::Box2i({3, 5}, {6, 6}));  // 4x2
    const Image image = ReadImage(path);
    ASSERT_EQ(image.width, 4);
    ASSERT_EQ(image.height, 2);
    // Channels are stored in name order: A=0, B=1, G=2, R=3.
    EXPECT_EQ(image.at(0, 0)[0], 353.0f);
    EXPECT_EQ(image.at(3, 1)[3], 66.0f);
    EXPECT_EQ(image.at(3, 1)[1], 266.0f);
}

TEST_F(ImageFiles, ExrWithoutColourChannelsIsAnError) {
    const std::string path = Path("luminance.exr");
    WriteChannels(path, {"Y", "A"}, Imath::Box2i({0, 0}, {1, 1}));
    const std::string message = ErrorOf([&] { ReadImage(path); });
    EXPECT_PRED2(Contains, message, path);
    EXPECT_PRED2(Contains, message, "no R, G, B channel");
    EXPECT_PRED2(Contains, message, "A Y");
}

// --- Writing: names and errors ---------------------------------------------------------------

TEST_F(ImageFiles, ExtensionChoosesTheFormatInAnyCase) {
    const struct {
        const char* name;
        std::string signature;
    } cases[] = {{"a.png", "\x89PNG"},
                 {"b.PNG", "\x89PNG"},
                 {"c.Exr", "\x76\x2f\x31\x01"},
                 {"d.EXR", "\x76\x2f\x31\x01"},
                 {"e.v2.png", "\x89PNG"}};
    for (const auto& c : cases) {
        WriteImage(Path(c.name), Pattern());
        EXPECT_EQ(ReadAll(dir / c.name).substr(0, 4), c.signature) << c.name;
    }
}

TEST_F(ImageFiles, WriteReplacesAnExistingFile) {
    const std::string path = Path("frame.png");
    WriteAll(path, "old contents");
    WriteImage(path, Pattern());
    EXPECT_EQ(Compare(ReadImage(path), Pattern()).maxAbs, 0.0);
    EXPECT_EQ(Listing(), std::vector<std::string>{"frame.png"});
}

struct WriteFailure {
    const char* name;
    std::string file;  // in the test's folder
    Image image;
    const char* reason;
};

class ImageWriteErrors : public ImageFiles, public ::testing::WithParamInterface<WriteFailure> {};

// A failed write names the path and the reason and leaves the folder as it was: no new file, no
// temp file, an existing file untouched.
TEST_P(ImageWriteErrors, NameThePathAndLeaveNothingBehind) {
    const WriteFailure& c = GetParam();
    WriteAll(dir / "keep.png", "old contents");
    fs::create_directory(dir / "folder.png");
    const std::vector<std::string> before = Listing();

    const std::string path = Path(c.file);
    const std::string message = ErrorOf([&] { WriteImage(path, c.image); });
    EXPECT_PRED2(Contains, message, path);
    EXPECT_PRED2(Contains, message, c.reason);
    EXPECT_EQ(Listing(), before);
    EXPECT_EQ(ReadAll(dir / "keep.png"), "old contents");
    EXPECT_TRUE(fs::is_empty(dir / "folder.png"));
}

Image Mismatched() {
    Image image = Pattern();
    image.rgba.pop_back();
    return image;
}

INSTANTIATE_TEST_SUITE_P(
    Image, ImageWriteErrors,
    ::testing::Values(
        WriteFailure{"UnknownExtension", "frame.jpg", Pattern(), "unknown file extension '.jpg'"},
        WriteFailure{"NoExtension", "frame", Pattern(), "no file extension"},
        WriteFailure{"ExtensionOnlyInTheFolder", "folder.png/frame", Pattern(),
                     "no file extension"},
        WriteFailure{"MissingFolder", "missing/frame.png", Pattern(), "No such file or directory"},
        WriteFailure{"MissingFolderExr", "missing/frame.exr", Pattern(),
                     "No such file or directory"},
        WriteFailure{"TargetIsAFolder", "folder.png", Pattern(), "Is a directory"},
        WriteFailure{"EmptyPicture", "keep.png", Image(), "empty"},
        WriteFailure{"EmptyRow", "keep.png", Image(4, 0), "empty"},
        WriteFailure{"BufferDoesNotMatchTheSize", "keep.png", Mismatched(), "pixel buffer"}),
    [](const auto& info) { return std::string(info.param.name); });

// --- Reading errors ---------------------------------------------------------------------------

struct ReadFailure {
    const char* name;
    const char* file;
    // Makes the file's bytes from a valid PNG and a valid OpenEXR file of the same picture.
    std::function<std::string(const std::string& png, const std::string& exr)> content;
    const char* reason;
};

class ImageReadErrors : public ImageFiles, public ::testing::WithParamInterface<ReadFailure> {};

TEST_P(ImageReadErrors, ThrowWithThePath) {
    const ReadFailure& c = GetParam();
    // Noise does not compress, so the image data fills most of the file.
    Image noise(48, 40);
    unsigned state = 12345;
    for (float& v : noise.rgba) {
        state = state * 1103515245u + 12345u;
        v = static_cast<float>(state >> 16 & 0xff) / 255.0f;
    }
    WriteImage(Path("valid.png"), noise);
    WriteImage(Path("valid.exr"), noise);
    const std::string path = Path(c.file);
    if (c.content)
        WriteAll(path, c.content(ReadAll(Path("valid.png")), ReadAll(Path("valid.exr"))));

    const std::string message = ErrorOf([&] { ReadImage(path); });
    EXPECT_PRED2(Contains, message, path);
    EXPECT_PRED2(Contains, message, c.reason);
}

std::string Flip(std::string data, std::size_t at) {
    data[at] = static_cast<char>(data[at] ^ 0x5a);
    return data;
}

INSTANTIATE_TEST_SUITE_P(
    Image, ImageReadErrors,
    ::testing::Values(
        ReadFailure{"Missing", "missing.png", nullptr, "No such file or directory"},
        ReadFailure{"Folder", ".", nullptr, "Is a directory"},
        ReadFailure{"Empty", "empty.png", [](auto&, auto&) { return std::string(); }, "empty"},
        ReadFailure{"NotAnImage", "text.png", [](auto&, auto&) { return std::string("hello"); },
                    "not a PNG or OpenEXR file"},
        ReadFailure{"PngSignatureOnly", "short.png",
                    [](auto& png, auto&) { return png.substr(0, 8); }, "bad PNG data"},
        ReadFailure{"PngTruncated", "truncated.png",
                    [](auto& png, auto&) { return png.substr(0, png.size() / 2); }, "bad PNG data"},
        ReadFailure{"PngDamagedData", "damaged.png",
                    [](auto& png, auto&) { return Flip(png, png.size() / 2); }, "bad PNG data"},
        ReadFailure{"PngDamagedHeader", "header.png",
                    [](auto& png, auto&) { return Flip(png, 18); }, "bad PNG data"},
        ReadFailure{"ExrSignatureOnly", "short.exr",
                    [](auto&, auto& exr) { return exr.substr(0, 4); }, "bad OpenEXR data"},
        ReadFailure{"ExrTruncated", "truncated.exr",
                    [](auto&, auto& exr) { return exr.substr(0, exr.size() / 2); },
                    "bad OpenEXR data"},
        ReadFailure{"ExrHeaderCut", "header.exr",
                    [](auto&, auto& exr) { return exr.substr(0, 40); }, "bad OpenEXR data"}),
    [](const auto& info) { return std::string(info.param.name); });

// --- Frame names ------------------------------------------------------------------------------

TEST(ImageFramePath, NumbersFramesBeforeTheExtension) {
    const struct {
        const char* path;
        int frame;
        bool animation;
        const char* expected;
    } cases[] = {
        {"out/anim.png", 7, true, "out/anim0007.png"},
        {"out/anim.png", 7, false, "out/anim.png"},
        {"out/anim.png", 0, true, "out/anim0000.png"},
        {"out/anim.png", 9999, true, "out/anim9999.png"},
        {"out/anim.png", 12345, true, "out/anim12345.png"},
        {"out/anim.png", -7, true, "out/anim-007.png"},
        {"out/anim.png", -12345, true, "out/anim-12345.png"},
        {"anim.EXR", 42, true, "anim0042.EXR"},
        {"out/anim.v2.exr", 3, true, "out/anim.v20003.exr"},
        {"out/anim", 3, true, "out/anim0003"},
        {"out.d/anim", 3, true, "out.d/anim0003"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FramePath(c.path, c.frame, c.animation), c.expected)
            << c.path << " frame " << c.frame;
}

// --- sRGB -------------------------------------------------------------------------------------

TEST(ImageSrgb, KnownValues) {
    const struct {
        float linear, encoded;
    } cases[] = {
        {0.0f, 0.0f},
        {1.0f, 1.0f},
        {0.0031308f, 0.0404499f},  // the knee: both pieces meet here
        {0.001f, 0.01292f},        // linear piece
        {0.5f, 0.7353569f},
        {0.18f, 0.4613561f},
        {0.214041f, 0.5f},
    };
    for (const auto& c : cases) {
        EXPECT_NEAR(SrgbEncode(c.linear), c.encoded, 2e-7f) << c.linear;
        EXPECT_NEAR(SrgbDecode(c.encoded), c.linear, 2e-7f) << c.encoded;
    }
}

TEST(ImageSrgb, ClampsInputAndIsContinuousAtTheKnee) {
    EXPECT_EQ(SrgbEncode(-0.5f), 0.0f);
    EXPECT_EQ(SrgbEncode(7.0f), 1.0f);
    EXPECT_EQ(SrgbEncode(std::numeric_limits<float>::quiet_NaN()), 0.0f);
    EXPECT_EQ(SrgbDecode(-0.5f), 0.0f);
    EXPECT_EQ(SrgbDecode(2.0f), 1.0f);
    const float knee = 0.0031308f;
    EXPECT_NEAR(SrgbEncode(std::nextafter(knee, 0.0f)), SrgbEncode(std::nextafter(knee, 1.0f)),
                1e-6f);
    float previous = -1.0f;
    for (int i = 0; i <= 1000; ++i) {
        const float v = static_cast<float>(i) / 1000.0f;
        const float e = SrgbEncode(v);
        EXPECT_GT(e, previous) << v;
        EXPECT_NEAR(SrgbDecode(e), v, 1e-6f) << v;
        previous = e;
    }
}

// --- Compare ----------------------------------------------------------------------------------

TEST(ImageCompare, IdenticalPicturesAreZeroApart) {
    for (bool encoded : {false, true}) {
        const ImageDiff d = Compare(HdrPattern(), HdrPattern(), encoded);
        EXPECT_EQ(d.maxAbs, 0.0);
        EXPECT_EQ(d.meanAbs, 0.0);
    }
    const ImageDiff empty = Compare(Image(), Image());
    EXPECT_EQ(empty.maxAbs, 0.0);
    EXPECT_EQ(empty.meanAbs, 0.0);
}

TEST(ImageCompare, MaxAndMeanOverAllChannels) {
    const struct {
        const char* name;
        int channel;
        float a, b;
        bool encoded;
        double expected;  // the one channel's difference
    } cases[] = {
        {"linear colour", 0, 0.25f, 0.75f, false, 0.5},
        {"linear alpha", 3, 0.0f, 0.5f, false, 0.5},
        {"linear beyond 1", 1, 3.0f, 1.0f, false, 2.0},
        {"encoded colour", 0, 0.0f, 0.5f, true, 188.0 / 255},  // 0.5 -> sRGB 0.7354 -> 188
        {"encoded alpha is not sRGB", 3, 0.0f, 0.5f, true, 128.0 / 255},
        {"encoded clamps", 2, 1.0f, 5.0f, true, 0.0},
        {"encoded below one step", 2, 0.5f, 0.5001f, true, 0.0},
        {"linear NaN", 1, std::numeric_limits<float>::quiet_NaN(), 0.0f, false,
         std::numeric_limits<double>::infinity()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Image a(3, 2), b(3, 2);
        a.at(2, 1)[c.channel] = c.a;
        b.at(2, 1)[c.channel] = c.b;
        const ImageDiff d = Compare(a, b, c.encoded);
        if (std::isinf(c.expected)) {
            EXPECT_EQ(d.maxAbs, c.expected);
            EXPECT_EQ(d.meanAbs, c.expected);
        } else {
            EXPECT_NEAR(d.maxAbs, c.expected, 1e-12);
            EXPECT_NEAR(d.meanAbs, c.expected / 24, 1e-12);
        }
        EXPECT_EQ(Compare(b, a, c.encoded).maxAbs, d.maxAbs);
    }
}

TEST(ImageCompare, DifferentSizesOrBrokenBuffersAreInvalid) {
    EXPECT_THROW(Compare(Image(3, 2), Image(2, 3)), std::invalid_argument);
    EXPECT_THROW(Compare(Image(3, 2), Image(3, 3), false), std::invalid_argument);
    Image broken(3, 2);
    broken.rgba.resize(5);
    EXPECT_THROW(Compare(broken, Image(3, 2)), std::invalid_argument);
}

TEST(ImageConstruction, IsZeroFilledAndRejectsNegativeSizes) {
    const Image image(3, 2);
    EXPECT_EQ(image.rgba, std::vector<float>(24, 0.0f));
    EXPECT_EQ(image.at(2, 1), image.rgba.data() + 20);
    EXPECT_THROW(Image(-1, 2), std::invalid_argument);
    EXPECT_THROW(Image(2, -1), std::invalid_argument);
    EXPECT_THROW(Image(INT_MAX, INT_MAX), std::invalid_argument);
}

// --- Font -------------------------------------------------------------------------------------

constexpr std::array<float, 4> kInk = {1.0f, 0.5f, 0.25f, 1.0f};
constexpr std::array<float, 4> kPaper = {0.0f, 0.0f, 0.1f, 0.5f};

Image Paper(int w, int h) {
    Image image(w, h);
    FillRect(image, 0, 0, w, h, kPaper);
    return image;
}

bool IsInk(const Image& image, int x, int y) {
    return std::equal(kInk.begin(), kInk.end(), image.at(x, y));
}

bool IsPaper(const Image& image, int x, int y) {
    return std::equal(kPaper.begin(), kPaper.end(), image.at(x, y));
}

std::string AllPrintable() {
    std::string s;
    for (char c = 32; c < 127; ++c) s += c;
    return s;
}

TEST(FontText, BoxIsOneCellACharacter) {
    EXPECT_EQ(TextWidth(""), 0);
    EXPECT_EQ(TextWidth("abc"), 18);
    EXPECT_EQ(TextWidth("abc", 3), 54);
    EXPECT_EQ(TextHeight(), 9);
    EXPECT_EQ(TextHeight(2), 18);
    EXPECT_THROW(TextWidth("a", 0), std::invalid_argument);
    EXPECT_THROW(TextHeight(-1), std::invalid_argument);
    Image image(4, 4);
    EXPECT_THROW(DrawText(image, 0, 0, "a", kInk, 0), std::invalid_argument);
}

// Every character's ink lies in its own cell, leaves the cell's last column and row free (so
// neighbours never touch), and is either ink or untouched paper.
TEST(FontText, InkStaysInsideEachCharactersCell) {
    for (int scale : {1, 2, 3}) {
        SCOPED_TRACE("scale " + std::to_string(scale));
        const std::string text = AllPrintable();
        const int x0 = 5, y0 = 4;
        Image image = Paper(TextWidth(text, scale) + 12, TextHeight(scale) + 10);
        DrawText(image, x0, y0, text, kInk, scale);
        std::vector<int> inkPerChar(text.size(), 0);
        for (int y = 0; y < image.height; ++y)
            for (int x = 0; x < image.width; ++x) {
                if (IsPaper(image, x, y)) continue;
                ASSERT_TRUE(IsInk(image, x, y)) << x << "," << y;
                const int cx = (x - x0) / scale, cy = (y - y0) / scale;
                ASSERT_GE(x, x0);
                ASSERT_GE(y, y0);
                ASSERT_LT(cx, TextWidth(text)) << "ink right of the box at " << x;
                ASSERT_LT(cy, TextHeight() - 1) << "ink in the cell's last row at " << y;
                ASSERT_LT(cx % 6, 5) << "ink in the cell's last column at " << x;
                ++inkPerChar[static_cast<std::size_t>(cx / 6)];
            }
        EXPECT_EQ(inkPerChar[0], 0) << "space";
        for (std::size_t i = 1; i < text.size(); ++i)
            EXPECT_GT(inkPerChar[i], 0) << "'" << text[i] << "' draws nothing";
    }
}

// Renders one character alone and returns its cell's ink as a string of '#' and '.'.
std::string Bitmap(char c) {
    Image image = Paper(TextWidth("x"), TextHeight());
    DrawText(image, 0, 0, std::string(1, c), kInk);
    std::string bits;
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) bits += IsInk(image, x, y) ? '#' : '.';
    return bits;
}

TEST(FontText, GlyphsAreDistinctAndOthersDrawAsQuestionMark) {
    std::set<std::string> seen;
    for (char c : AllPrintable()) EXPECT_TRUE(seen.insert(Bitmap(c)).second) << "'" << c << "'";
    for (char c : {'\0', '\n', '\x1f', '\x7f', '\x80', '\xff'})
        EXPECT_EQ(Bitmap(c), Bitmap('?')) << "code " << static_cast<int>(c);
}

// Text drawn partly off the picture gives exactly the visible part of the same text drawn whole.
TEST(FontText, ClipsAtTheEdges) {
    const std::string text = "Frame 12 gjpqy_";
    const int scale = 2;
    const int w = TextWidth(text, scale), h = TextHeight(scale);
    Image whole = Paper(w, h);
    DrawText(whole, 0, 0, text, kInk, scale);

    const struct {
        int x, y, width, height;
    } cases[] = {
        {-7, -5, 40, 12},     // off the top left
        {20, 6, 60, 14},      // off the bottom right
        {-w + 3, 0, 10, h},   // all but the last columns off the left
        {-13, -h + 1, w, 5},  // only the last row shows
        {5, 3, 1, 1},         // a one-pixel picture
        {w + 10, 0, 20, h},   // nothing shows: right of the picture
        {-w, -h, 20, h},      // nothing shows: above and left
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.x) + "," + std::to_string(c.y));
        Image image = Paper(c.width, c.height);
        DrawText(image, c.x, c.y, text, kInk, scale);
        for (int y = 0; y < c.height; ++y)
            for (int x = 0; x < c.width; ++x) {
                const int wx = x - c.x, wy = y - c.y;
                const bool inside = wx >= 0 && wy >= 0 && wx < w && wy < h;
                ASSERT_EQ(IsInk(image, x, y), inside && IsInk(whole, wx, wy)) << x << "," << y;
            }
    }
    // Far-off positions must not overflow into the picture.
    Image image = Paper(8, 8);
    for (int x : {INT_MIN, INT_MIN + 1, -1000000, INT_MAX - 3, INT_MAX})
        for (int y : {INT_MIN, 0, INT_MAX}) DrawText(image, x, y, text, kInk, 1000);
    DrawText(image, 0, 0, "", kInk);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) EXPECT_TRUE(IsPaper(image, x, y)) << x << "," << y;
}

TEST(FontFillRect, FillsTheClippedRectangle) {
    const struct {
        int x, y, w, h;
        int left, top, right, bottom;  // expected filled area, right/bottom exclusive
    } cases[] = {
        {1, 2, 3, 2, 1, 2, 4, 4},
        {-2, -3, 4, 5, 0, 0, 2, 2},
        {4, 3, 100, 100, 4, 3, 6, 5},
        {-5, 1, 2, 2, 0, 0, 0, 0},  // left of the picture
        {2, 2, 0, 3, 0, 0, 0, 0},   // empty
        {2, 2, -3, 3, 0, 0, 0, 0},  // negative width
        {INT_MAX - 1, 0, INT_MAX, 3, 0, 0, 0, 0},
        {INT_MIN, INT_MIN, INT_MAX, INT_MAX, 0, 0, 0, 0},
        {-1, -1, INT_MAX, INT_MAX, 0, 0, 6, 5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.x) + "," + std::to_string(c.y) + " " + std::to_string(c.w) +
                     "x" + std::to_string(c.h));
        Image image = Paper(6, 5);
        FillRect(image, c.x, c.y, c.w, c.h, kInk);
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 6; ++x) {
                const bool inside = x >= c.left && x < c.right && y >= c.top && y < c.bottom;
                EXPECT_EQ(IsInk(image, x, y), inside) << x << "," << y;
                EXPECT_EQ(IsPaper(image, x, y), !inside) << x << "," << y;
            }
    }
}

}  // namespace
}  // namespace pexil::render
