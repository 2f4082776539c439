// The decoders on file bytes (every BMP variant, hostile headers, JPEG colour
// spaces and damage), the registry, the BMP writer's depths, and the seed
// corpus of the fuzzers.
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>

#include "tests/support/pixels.h"
#include "tests/support/temp_dir.h"
#include "tests/pictures/image_files.h"
#include "pictures/bmp.h"
#include "pictures/jpeg.h"
#include "toolkit/toolkit.h"

namespace {

using image_files::Bmp;
using image_files::Bytes;

// A decoded picture, freed at the end of the test.
struct Decoded {
    tk::DecodedPicture picture;
    bool ok = false;
    Decoded(const tk::ImageDecoder& decoder, const Bytes& file) {
        ok = tk::decode_picture(decoder, tk::Bytes(file.data(), file.size()), picture);
    }
    ~Decoded() { g_free(picture.pixels); }
    Rgb at(int x, int y) const {
        const std::uint8_t* p = picture.pixels + y * picture.stride + 3 * x;
        return {p[0], p[1], p[2]};
    }
};

Rgb rgb_of(std::uint32_t c) { return {static_cast<int>(c >> 16 & 255), static_cast<int>(c >> 8 & 255), static_cast<int>(c & 255)}; }

// Every pixel of the decoded picture equals expected(x, y).
void expect_pixels(const Decoded& d, int width, int height, const std::function<Rgb(int, int)>& expected) {
    ASSERT_TRUE(d.ok);
    ASSERT_EQ(d.picture.width, width);
    ASSERT_EQ(d.picture.height, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) ASSERT_EQ(d.at(x, y), expected(x, y)) << "at " << x << ", " << y;
}

std::uint32_t palette_colour(int i) { return static_cast<std::uint32_t>(i * 0x010305 + 0x102030) & 0xFFFFFF; }

// An 8-bit RLE picture of 6 x 4 with a 16-entry palette.
Bmp rle8(Bytes codes) {
    Bmp bmp;
    bmp.width = 6;
    bmp.height = 4;
    bmp.bits = 8;
    bmp.compression = 1;
    bmp.palette = image_files::bmp_palette(16, palette_colour);
    bmp.data = std::move(codes);
    return bmp;
}

TEST(BmpDecoder, UncompressedDepthsMatchEveryPixel) {
    // Odd widths exercise the row padding and the unused low bits.
    for (int width : {1, 5, 13}) {
        SCOPED_TRACE(width);
        const int height = 3;
        auto index = [](int x, int y) { return static_cast<std::uint32_t>(x * 7 + y * 3); };
        for (unsigned bits : {4u, 8u}) {
            Bmp bmp;
            bmp.width = width;
            bmp.height = height;
            bmp.bits = bits;
            int entries = 1 << bits;
            bmp.palette = image_files::bmp_palette(entries, palette_colour);
            bmp.data = image_files::bmp_rows(width, height, bits, [&](int x, int y) { return index(x, y) % entries; });
            Decoded d(tk::bmp_decoder, bmp.file());
            expect_pixels(d, width, height, [&](int x, int y) { return rgb_of(palette_colour(static_cast<int>(index(x, y) % entries))); });
            EXPECT_EQ(d.picture.source_depth, static_cast<int>(bits));
        }
        {
            Bmp bmp;  // 1 bit: 0 black, 1 white, whatever the palette says
            bmp.width = width;
            bmp.height = height;
            bmp.bits = 1;
            bmp.palette = image_files::bmp_palette(2, [](int i) { return i ? 0x00FF00u : 0xFF0000u; });
            bmp.data = image_files::bmp_rows(width, height, 1, [](int x, int y) { return static_cast<std::uint32_t>((x + y) % 2); });
            Decoded d(tk::bmp_decoder, bmp.file());
            expect_pixels(d, width, height, [](int x, int y) { return (x + y) % 2 ? Rgb{255, 255, 255} : Rgb{0, 0, 0}; });
        }
        {
            Bmp bmp;  // 5-5-5, bit 15 ignored, no replication of the high bits
            bmp.width = width;
            bmp.height = height;
            bmp.bits = 16;
            auto word = [](int x, int y) { return static_cast<std::uint32_t>(0x8000 | (x * 4 + 1) << 10 | (y * 9) << 5 | 31); };
            bmp.data = image_files::bmp_rows(width, height, 16, word);
            Decoded d(tk::bmp_decoder, bmp.file());
            expect_pixels(d, width, height, [&](int x, int y) {
                std::uint32_t w = word(x, y);
                return Rgb{static_cast<int>((w >> 10 & 31) << 3), static_cast<int>((w >> 5 & 31) << 3), 248};
            });
        }
        for (unsigned bits : {24u, 32u}) {
            Bmp bmp;
            bmp.width = width;
            bmp.height = height;
            bmp.bits = bits;
            auto colour = [](int x, int y) { return static_cast<std::uint32_t>(x * 0x0B0000 + y * 0x000D00 + (x ^ y) * 17); };
            bmp.data = image_files::bmp_rows(width, height, bits, colour);
            Decoded d(tk::bmp_decoder, bmp.file());
            expect_pixels(d, width, height, [&](int x, int y) { return rgb_of(colour(x, y)); });
        }
    }
}

TEST(BmpDecoder, HeaderFormsAndRowOrder) {
    auto colour = [](int x, int y) { return static_cast<std::uint32_t>(0x400000 * x + 0x40 * y); };
    Bmp bmp;
    bmp.width = 3;
    bmp.height = 4;
    bmp.bits = 24;
    bmp.data = image_files::bmp_rows(3, 4, 24, colour);

    // Negative height: the same rows stored top-down.
    Bmp top_down = bmp;
    top_down.height = -4;
    top_down.data.clear();
    Bytes bottom_up = bmp.data;
    std::size_t row = bottom_up.size() / 4;
    for (int r = 3; r >= 0; --r) top_down.data.insert(top_down.data.end(), bottom_up.begin() + r * row, bottom_up.begin() + (r + 1) * row);
    expect_pixels(Decoded(tk::bmp_decoder, top_down.file()), 3, 4, [&](int x, int y) { return rgb_of(colour(x, y)); });

    // 108- and 124-byte headers: the palette follows the header's own size.
    for (std::uint32_t size : {108u, 124u}) {
        Bmp v = bmp;
        v.header_size = size;
        expect_pixels(Decoded(tk::bmp_decoder, v.file()), 3, 4, [&](int x, int y) { return rgb_of(colour(x, y)); });
        Bmp indexed;
        indexed.header_size = size;
        indexed.width = 2;
        indexed.bits = 8;
        indexed.palette = image_files::bmp_palette(2, [](int i) { return i ? 0x123456u : 0xABCDEFu; });
        indexed.data = {1, 0, 0, 0};
        expect_pixels(Decoded(tk::bmp_decoder, indexed.file()), 2, 1, [](int x, int) { return rgb_of(x ? 0xABCDEFu : 0x123456u); });
    }

    // A 12-byte core header, foreign reserved fields or magic: not a BMP.
    Bmp core = bmp;
    core.header_size = 12;
    EXPECT_FALSE(Decoded(tk::bmp_decoder, core.file()).ok);
    Bytes reserved = bmp.file();
    reserved[7] = 1;
    EXPECT_FALSE(Decoded(tk::bmp_decoder, reserved).ok);
    Bytes magic = bmp.file();
    magic[1] = 'A';
    EXPECT_FALSE(Decoded(tk::bmp_decoder, magic).ok);
    EXPECT_FALSE(Decoded(tk::bmp_decoder, Bytes(magic.begin(), magic.begin() + 13)).ok);
    Bytes whole = bmp.file();
    EXPECT_FALSE(Decoded(tk::bmp_decoder, Bytes(whole.begin(), whole.begin() + 40)).ok);
}

TEST(BmpDecoder, Rle8RunsEscapesAndClipping) {
    auto c = [](int i) { return rgb_of(palette_colour(i)); };
    const Rgb black{0, 0, 0};
    // Bottom row: a run of 3 of index 1, a literal of 3 (padded), end of line.
    // Row 1: delta right 2 and up 1 lands on row 2; a run of 9 spills past
    // the width and is cut off; end of picture leaves the top row black.
    Bmp bmp = rle8({3, 1, 0, 3, 4, 5, 6, 0, 0, 0, 0, 2, 2, 1, 9, 7, 0, 1});
    expect_pixels(Decoded(tk::bmp_decoder, bmp.file()), 6, 4, [&](int x, int y) {
        if (y == 3) return x < 3 ? c(1) : c(x + 1);
        if (y == 1) return x >= 2 ? c(7) : black;
        return black;
    });

    // A literal run that runs past the width drops its excess; an even
    // literal has no padding; a run past the last row writes nothing.
    bmp = rle8({0, 4, 1, 2, 3, 4, 0, 4, 5, 6, 7, 8, 0, 0, 0, 2, 0, 9, 5, 3, 0, 0, 6, 2});
    expect_pixels(Decoded(tk::bmp_decoder, bmp.file()), 6, 4, [&](int x, int y) {
        return y == 3 ? c(x + 1) : black;
    });

    // Codes cut off by the end of the file: what came before stays.
    for (Bytes codes : {Bytes{2, 3, 0, 2, 1}, Bytes{2, 3, 0, 7, 1, 2}, Bytes{2, 3, 0}, Bytes{2, 3, 5}}) {
        expect_pixels(Decoded(tk::bmp_decoder, rle8(codes).file()), 6, 4, [&](int x, int y) {
            if (y == 3 && x < 2) return c(3);
            if (y == 3 && codes.size() == 6 && x < 4) return c(x - 1);
            return black;
        });
    }
}

TEST(BmpDecoder, HostileHeadersStayInsideTheFile) {
    // Sizes beyond the store's limits fail, however few bytes follow.
    for (auto [w, h] : std::vector<std::pair<int, int>>{{40000, 2}, {2, 40000}, {0, 5}, {5, 0}, {-5, 5}, {20000, 20000}, {1, INT32_MIN}}) {
        Bmp bmp;
        bmp.width = w;
        bmp.height = h;
        EXPECT_FALSE(Decoded(tk::bmp_decoder, bmp.file()).ok) << w << " x " << h;
    }
    // Data offset past the end: the picture loads, black.
    Bmp far;
    far.width = 4;
    far.height = 2;
    far.data = image_files::bmp_rows(4, 2, 24, [](int, int) { return 0xFFFFFFu; });
    far.data_offset = 0xFFFFFFF0;
    expect_pixels(Decoded(tk::bmp_decoder, far.file()), 4, 2, [](int, int) { return Rgb{}; });

    // Rows cut short: the pixels the bytes cover decode, the rest stay black.
    Bmp short_rows = far;
    short_rows.data_offset = -1;
    short_rows.data.resize(12 + 5);  // first stored row whole, two pixels of the next
    expect_pixels(Decoded(tk::bmp_decoder, short_rows.file()), 4, 2, [](int x, int y) {
        return y == 1 || x < 1 ? Rgb{255, 255, 255} : Rgb{};
    });

    // Colours used beyond what 8 bits allow and what the file holds: only
    // the entries present count, other indices are black.
    Bmp palette;
    palette.width = 4;
    palette.bits = 8;
    palette.colours_used = 100000;
    palette.palette = image_files::bmp_palette(2, [](int i) { return i ? 0x00FF00u : 0x0000FFu; });
    palette.data = {0, 1, 2, 255};
    Bytes file = palette.file();
    expect_pixels(Decoded(tk::bmp_decoder, file), 4, 1, [](int x, int) {
        return x == 0 ? Rgb{0, 0, 255} : x == 1 ? Rgb{0, 255, 0} : Rgb{};
    });
    // The same file without its pixel data: the palette reaches the end.
    file.resize(file.size() - 4);
    EXPECT_TRUE(Decoded(tk::bmp_decoder, file).ok);

    // Variants that are not decoded load black: RLE4, 2 bits.
    Bmp rle4 = palette;
    rle4.bits = 4;
    rle4.compression = 2;
    expect_pixels(Decoded(tk::bmp_decoder, rle4.file()), 4, 1, [](int, int) { return Rgb{}; });
    Bmp two = palette;
    two.bits = 2;
    expect_pixels(Decoded(tk::bmp_decoder, two.file()), 4, 1, [](int, int) { return Rgb{}; });
    // Another compression value on an 8-bit file reads as plain data.
    Bmp other = palette;
    other.compression = 7;
    expect_pixels(Decoded(tk::bmp_decoder, other.file()), 4, 1, [](int x, int) {
        return x == 0 ? Rgb{0, 0, 255} : x == 1 ? Rgb{0, 255, 0} : Rgb{};
    });
}

TEST(JpegDecoder, ColourSpacesBecomeRgb) {
    image_files::Picture picture = image_files::gradient(32, 16);
    for (auto kind : {image_files::JpegKind::AdobeCmyk, image_files::JpegKind::AdobeYcck}) {
        image_files::JpegOptions options;
        options.kind = kind;
        Decoded d(tk::jpeg_decoder, image_files::jpeg(picture, options));
        ASSERT_TRUE(d.ok);
        EXPECT_EQ(d.picture.width, 32);
        EXPECT_EQ(d.picture.source_depth, 32);
        int worst = 0;
        for (int y = 0; y < 16; ++y) {
            for (int x = 0; x < 32; ++x) {
                Rgb p = d.at(x, y);
                const std::uint8_t* q = picture.at(x, y);
                worst = std::max({worst, std::abs(p.r - q[0]), std::abs(p.g - q[1]), std::abs(p.b - q[2])});
            }
        }
        EXPECT_LE(worst, 12);
    }
    image_files::JpegOptions grey;
    grey.kind = image_files::JpegKind::Grey;
    Decoded g(tk::jpeg_decoder, image_files::jpeg(picture, grey));
    ASSERT_TRUE(g.ok);
    EXPECT_EQ(g.picture.source_depth, 24);
    EXPECT_EQ(g.at(5, 5).r, g.at(5, 5).b);
}

TEST(JpegDecoder, ProgressiveFilesAndTheScanLimit) {
    image_files::Picture picture = image_files::gradient(24, 24);
    image_files::JpegOptions progressive;
    progressive.kind = image_files::JpegKind::Progressive;
    EXPECT_TRUE(Decoded(tk::jpeg_decoder, image_files::jpeg(picture, progressive)).ok);

    // 704 scans, each a legal refinement: refused past the limit.
    image_files::JpegOptions many;
    many.kind = image_files::JpegKind::Grey;
    many.scans = image_files::many_scans();
    Bytes refused = image_files::jpeg(picture, many);
    EXPECT_GT(many.scans.size(), static_cast<std::size_t>(tk::max_jpeg_scans));
    EXPECT_FALSE(Decoded(tk::jpeg_decoder, refused).ok);
    many.scans.clear();
    EXPECT_TRUE(Decoded(tk::jpeg_decoder, image_files::jpeg(picture, many)).ok);
}

TEST(JpegDecoder, DamageAndForeignInput) {
    Bytes whole = image_files::jpeg(image_files::gradient(40, 24));
    std::size_t scan = image_files::first_scan_data(whole);
    // Cut anywhere after the header: loads at the header's size.
    for (std::size_t end : {scan, scan + 1, (scan + whole.size()) / 2, whole.size() - 2}) {
        Decoded d(tk::jpeg_decoder, Bytes(whole.begin(), whole.begin() + end));
        ASSERT_TRUE(d.ok) << end;
        EXPECT_EQ(d.picture.width, 40);
        EXPECT_EQ(d.picture.height, 24);
    }
    // Cut inside the header, or not a JPEG at all: refused; damaged once it
    // began as a JPEG.
    for (std::size_t end : {std::size_t{0}, std::size_t{2}, std::size_t{3}, std::size_t{20}, scan - 4}) {
        Decoded d(tk::jpeg_decoder, Bytes(whole.begin(), whole.begin() + end));
        EXPECT_FALSE(d.ok) << end;
        EXPECT_EQ(d.picture.failure, end >= 3 ? FailureKind::Damaged : FailureKind::NotAPicture) << end;
    }
    Bmp bmp;
    Decoded foreign(tk::jpeg_decoder, bmp.file());
    EXPECT_FALSE(foreign.ok);
    EXPECT_EQ(foreign.picture.failure, FailureKind::NotAPicture);
    EXPECT_FALSE(Decoded(tk::bmp_decoder, whole).ok);
    // A header claiming more pixels than the limit is refused before decoding.
    Bytes huge = whole;
    for (std::size_t i = 2; i + 8 < huge.size(); ++i) {
        if (huge[i] == 0xFF && huge[i + 1] == 0xC0) {
            huge[i + 5] = huge[i + 7] = 0x7F;  // 32512 x 32552
            break;
        }
    }
    Decoded refused(tk::jpeg_decoder, huge);
    EXPECT_FALSE(refused.ok);
    EXPECT_EQ(refused.picture.failure, FailureKind::TooLarge);
}

TEST(JpegDecoder, MultiScanFilesNeedNoMoreMemoryThanTheirPicture) {
    using image_files::Multiscan;
    for (Multiscan kind : {Multiscan::ProgressiveCmyk, Multiscan::SequentialPerComponent}) {
        SCOPED_TRACE(static_cast<int>(kind));
        // Four or three full-resolution components keep 8 or 6 bytes a pixel
        // against the picture's 3: refused before the library takes them.
        Bytes claimed = image_files::claimed_multiscan(kind, 32767, 4096);
        EXPECT_LT(claimed.size(), 1024u);
        Decoded d(tk::jpeg_decoder, claimed);
        EXPECT_FALSE(d.ok);
        EXPECT_EQ(d.picture.failure, FailureKind::TooLarge);
        EXPECT_NE(d.picture.reason.find("too large to decode"), std::string::npos) << d.picture.reason;
        // Where the excess stays inside the margin the file decodes, at the
        // size its header gives.
        Decoded small(tk::jpeg_decoder, image_files::claimed_multiscan(kind, 1024, 768));
        ASSERT_TRUE(small.ok);
        EXPECT_EQ(small.picture.width, 1024);
        EXPECT_EQ(small.picture.height, 768);
    }
}

TEST(BmpDecoder, RefusalsSayWhy) {
    auto failure = [](const Bytes& file) { return Decoded(tk::bmp_decoder, file).picture.failure; };
    Bmp wide;
    wide.width = 40000;
    EXPECT_EQ(failure(wide.file()), FailureKind::TooLarge);
    Bmp tall;
    tall.height = INT32_MIN;
    EXPECT_EQ(failure(tall.file()), FailureKind::TooLarge);
    Bmp empty;
    empty.width = 0;
    EXPECT_EQ(failure(empty.file()), FailureKind::Damaged);
    Bytes cut = Bmp{}.file();
    cut.resize(40);
    EXPECT_EQ(failure(cut), FailureKind::Damaged);
    EXPECT_EQ(failure(Bytes{'G', 'I', 'F', '8', '9', 'a'}), FailureKind::NotAPicture);
}

class Codecs : public testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(toolkit_init(), 1); }
    void TearDown() override { toolkit_shutdown(); }
    TempDir dir;
};

TEST_F(Codecs, RegistryDecidesWhatLoadsAndSaves) {
    std::string jpeg = dir.file("a.jpg");
    image_files::write_bytes(jpeg, image_files::jpeg(image_files::gradient(8, 8)));
    ASSERT_NE(image_create(1, 8, 8), 0);
    // Start-up registers only the BMP decoder.
    EXPECT_EQ(image_load(2, jpeg), 0);
    EXPECT_EQ(image_save(1, dir.file("b.jpg"), FormatJPEG), 0);
    EXPECT_EQ(register_jpeg_decoder(), 1);
    EXPECT_EQ(register_jpeg_encoder(), 1);
    EXPECT_NE(image_load(2, jpeg), 0);
    EXPECT_EQ(image_save(1, dir.file("b.jpg"), FormatJPEG), 1);
    // A second registration changes nothing; codec_init empties the registry.
    for (int i = 0; i < 40; ++i) EXPECT_EQ(register_jpeg_decoder(), 1);
    codec_init();
    EXPECT_EQ(image_load(2, jpeg), 0);
    EXPECT_EQ(image_save(1, dir.file("c.jpg"), FormatJPEG), 0);
    EXPECT_NE(image_handle(2), nullptr);
}

TEST_F(Codecs, InitSwitchesBmpReadingOffButNotTheBmpWriter) {
    ASSERT_NE(image_create(1, 5, 3), 0);
    std::string bmp = dir.file("a.bmp");
    codec_init();
    EXPECT_EQ(image_save(1, bmp, FormatBMP, 7, 24), 1);
    EXPECT_EQ(image_load(2, bmp), 0);
    EXPECT_EQ(last_failure().kind, FailureKind::NotAPicture);
    EXPECT_EQ(register_bmp_decoder(), 1);
    EXPECT_NE(image_load(2, bmp), 0);
}

// The renderer's raster output: JPEG whatever the program registered.
TEST_F(Codecs, JpegFilesWrittenForOtherLayersNeedNoRegistration) {
    codec_init();
    const Rgb colour{200, 16, 48};
    std::vector<std::uint8_t> rgb;
    for (int i = 0; i < 16 * 8; ++i) rgb.insert(rgb.end(), {200, 16, 48});
    std::string path = dir.file("out.jpg");
    ASSERT_EQ(write_jpeg_file(path, rgb.data(), 16, 8, 48, 10), 1);
    Decoded d(tk::jpeg_decoder, read_file(path));
    expect_pixels(d, 16, 8, [&](int x, int y) {
        // One colour survives quality 10 within a level or two.
        Rgb got = d.at(x, y);
        bool close = std::abs(got.r - colour.r) <= 2 && std::abs(got.g - colour.g) <= 2 && std::abs(got.b - colour.b) <= 2;
        return close ? got : colour;
    });
    // A failure says why and leaves no file.
    EXPECT_EQ(write_jpeg_file(dir.file("none/out.jpg"), rgb.data(), 16, 8, 48, 10), 0);
    EXPECT_EQ(last_failure().kind, FailureKind::NotFound);
    EXPECT_EQ(write_jpeg_file(dir.file("empty.jpg"), nullptr, 16, 8, 48, 10), 0);
    EXPECT_FALSE(std::filesystem::exists(dir.file("empty.jpg")));
}

// The grey variant: one component in the frame header, the greys back
// within a level or two; rows taken stride bytes apart.
TEST_F(Codecs, GreyJpegHasOneComponent) {
    codec_init();
    std::vector<std::uint8_t> grey(20 * 8, 0xAA);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 16; ++x) grey[y * 20 + x] = static_cast<std::uint8_t>(x < 8 ? 40 : 230);
    std::string path = dir.file("grey.jpg");
    ASSERT_EQ(write_grey_jpeg_file(path, grey.data(), 16, 8, 20, 10), 1);
    const auto bytes = read_file(path);
    const std::string text(bytes.begin(), bytes.end());
    const std::size_t frame = text.find("\xFF\xC0");
    ASSERT_NE(frame, std::string::npos);
    EXPECT_EQ(text[frame + 9], 1);  // components
    Decoded d(tk::jpeg_decoder, bytes);
    expect_pixels(d, 16, 8, [&](int x, int y) {
        const int want = x < 8 ? 40 : 230;
        Rgb got = d.at(x, y);
        bool close = std::abs(got.r - want) <= 2 && got.g == got.r && got.b == got.r;
        return close ? got : Rgb{want, want, want};
    });
}

TEST_F(Codecs, BmpWriterDepthsRoundTrip) {
    // Four colours: exact at every depth of 4 bits and more.
    ASSERT_NE(image_create(1, 7, 5), 0);
    GdkPixbuf* buffer = image_handle(1);
    const Rgb colours[4] = {{0, 0, 0}, {255, 255, 255}, {200, 16, 48}, {8, 120, 248}};
    for (int y = 0; y < 5; ++y) {
        for (int x = 0; x < 7; ++x) {
            guchar* p = gdk_pixbuf_get_pixels(buffer) + y * gdk_pixbuf_get_rowstride(buffer) + 3 * x;
            const Rgb& c = colours[(x + 2 * y) % 4];
            p[0] = static_cast<guchar>(c.r), p[1] = static_cast<guchar>(c.g), p[2] = static_cast<guchar>(c.b);
        }
    }
    for (int depth : {4, 8, 16, 24, 32}) {
        SCOPED_TRACE(depth);
        std::string path = dir.file("d" + std::to_string(depth) + ".bmp");
        ASSERT_EQ(image_save(1, path, FormatBMP, 7, depth), 1);
        EXPECT_EQ(read_file(path)[28], depth);
        ASSERT_NE(image_load(2, path), 0);
        // 5-5-5 keeps the top five bits: white becomes 248.
        EXPECT_EQ(max_difference(image_handle(1), image_handle(2)), depth == 16 ? 7 : 0);
    }
    // 1 bit: light colours white, dark ones black.
    ASSERT_EQ(image_save(1, dir.file("d1.bmp"), FormatBMP, 7, 1), 1);
    ASSERT_NE(image_load(2, dir.file("d1.bmp")), 0);
    EXPECT_EQ(pixel_at(image_handle(2), 0, 0), (Rgb{0, 0, 0}));
    EXPECT_EQ(pixel_at(image_handle(2), 1, 0), (Rgb{255, 255, 255}));
    EXPECT_EQ(pixel_at(image_handle(2), 2, 0), (Rgb{0, 0, 0}));

    // Many colours through the median cut: close, and no index outside the palette.
    image_files::Picture picture = image_files::gradient(64, 64);
    ASSERT_NE(image_create(3, 64, 64), 0);
    for (int y = 0; y < 64; ++y)
        std::memcpy(gdk_pixbuf_get_pixels(image_handle(3)) + y * gdk_pixbuf_get_rowstride(image_handle(3)), picture.at(0, y), 192);
    for (int depth : {8, 4}) {
        SCOPED_TRACE(depth);
        std::string path = dir.file("q" + std::to_string(depth) + ".bmp");
        ASSERT_EQ(image_save(3, path, FormatBMP, 7, depth), 1);
        std::vector<std::uint8_t> file = read_file(path);
        std::uint32_t used = file[46] | file[47] << 8;
        EXPECT_LE(used, 1u << depth);
        EXPECT_GT(used, (1u << depth) / 2);
        ASSERT_NE(image_load(4, path), 0);
        EXPECT_LE(max_difference(image_handle(3), image_handle(4)), depth == 8 ? 12 : 56);
    }
}

// Writes the fuzzers' seed corpus from these builders when asked:
// DIAGRAMS_WRITE_CORPUS=<folder> pictures_codecs_test --gtest_filter=SeedCorpus.*
TEST(SeedCorpus, WrittenWhenAsked) {
    const char* target = std::getenv("DIAGRAMS_WRITE_CORPUS");
    if (!target) GTEST_SKIP() << "set DIAGRAMS_WRITE_CORPUS to write the corpus";
    namespace fs = std::filesystem;
    fs::path root(target);
    for (const char* name : {"bmp", "jpeg", "load"}) fs::create_directories(root / name);
    auto put = [&](const char* kind, const std::string& name, const Bytes& bytes) {
        image_files::write_bytes((root / kind / name).string(), bytes);
        image_files::write_bytes((root / "load" / name).string(), bytes);
    };
    for (unsigned bits : {1u, 4u, 8u, 16u, 24u, 32u}) {
        Bmp bmp;
        bmp.width = 5;
        bmp.height = 3;
        bmp.bits = bits;
        if (bits <= 8) bmp.palette = image_files::bmp_palette(1 << bits, palette_colour);
        bmp.data = image_files::bmp_rows(5, 3, bits, [bits](int x, int y) {
            return static_cast<std::uint32_t>(x * 37 + y * 91) & (bits >= 24 ? 0xFFFFFFu : (1u << bits) - 1);
        });
        put("bmp", "plain" + std::to_string(bits) + ".bmp", bmp.file());
        if (bits == 24) {
            bmp.height = -3;
            bmp.header_size = 124;
            put("bmp", "topdown124.bmp", bmp.file());
        }
    }
    put("bmp", "rle8.bmp", rle8({3, 1, 0, 3, 4, 5, 6, 0, 0, 0, 0, 2, 2, 1, 9, 7, 0, 4, 1, 2, 3, 4, 0, 1}).file());
    image_files::Picture picture = image_files::gradient(24, 16);
    image_files::JpegOptions options;
    options.quality = 50;
    put("jpeg", "rgb.jpg", image_files::jpeg(picture, options));
    for (auto [kind, name] : std::vector<std::pair<image_files::JpegKind, const char*>>{
             {image_files::JpegKind::Grey, "grey.jpg"},
             {image_files::JpegKind::AdobeCmyk, "cmyk.jpg"},
             {image_files::JpegKind::AdobeYcck, "ycck.jpg"},
             {image_files::JpegKind::Progressive, "progressive.jpg"}}) {
        options.kind = kind;
        put("jpeg", name, image_files::jpeg(picture, options));
    }
    Bytes whole = image_files::jpeg(picture, {});
    put("jpeg", "truncated.jpg", Bytes(whole.begin(), whole.begin() + image_files::first_scan_data(whole) + 30));
    // Headers claiming large pictures in several scans: one too large to
    // decode, one decoded at its claimed size within the fuzzers' limit.
    using image_files::Multiscan;
    put("jpeg", "claimed-cmyk-progressive.jpg", image_files::claimed_multiscan(Multiscan::ProgressiveCmyk, 32767, 4096));
    put("jpeg", "claimed-scan-per-component.jpg",
        image_files::claimed_multiscan(Multiscan::SequentialPerComponent, 32767, 4096));
    put("jpeg", "claimed-cmyk-progressive-2048.jpg",
        image_files::claimed_multiscan(Multiscan::ProgressiveCmyk, 2048, 2048));
}

}  // namespace
