// The image store through its public operations: creation, ids, load and
// save round trips, failures that must leave everything as it was, resize.
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <filesystem>
#include <tuple>

#include "tests/support/child_process.h"
#include "tests/support/pixels.h"
#include "tests/support/file_size_limit.h"
#include "tests/support/temp_dir.h"
#include "tests/pictures/image_files.h"
#include "pictures/codec_internal.h"
#include "toolkit/toolkit.h"

namespace {

using image_files::Bytes;
namespace fs = std::filesystem;

// The failure recorded last: its kind, and whether its one-line text names
// the path first and then the cause.
::testing::AssertionResult failed_with(FailureKind kind, const std::string& path, const std::string& cause) {
    const Failure& f = last_failure();
    if (f.kind == kind && f.text.find(path) == 0 && f.text.find(cause) != std::string::npos &&
        f.text.find('\n') == std::string::npos) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "kind " << static_cast<int>(f.kind) << ", text \"" << f.text << "\"";
}

class Images : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(toolkit_init(), 1);
        ASSERT_EQ(register_jpeg_decoder(), 1);
        ASSERT_EQ(register_jpeg_encoder(), 1);
    }
    void TearDown() override { toolkit_shutdown(); }

    // Image id filled with the picture's pixels (a created 24-bit image).
    void store(ObjectId id, const image_files::Picture& picture) {
        ASSERT_NE(image_create(id, picture.width, picture.height), 0);
        GdkPixbuf* buffer = image_handle(id);
        for (int y = 0; y < picture.height; ++y) {
            std::memcpy(gdk_pixbuf_get_pixels(buffer) + y * gdk_pixbuf_get_rowstride(buffer), picture.at(0, y),
                        3 * static_cast<std::size_t>(picture.width));
        }
    }

    // Files in the scratch folder, to prove a failure left nothing behind.
    std::vector<std::string> files() const {
        std::vector<std::string> names;
        for (auto& entry : std::filesystem::directory_iterator(dir.path())) names.push_back(entry.path().filename());
        std::sort(names.begin(), names.end());
        return names;
    }

    TempDir dir;
};

// A noisy picture: large when compressed, so a small file-size limit stops
// its save half-way.
image_files::Picture noise(int width, int height) {
    image_files::Picture p{width, height, Bytes(3 * static_cast<std::size_t>(width) * height)};
    std::uint32_t state = 12345;
    for (auto& byte : p.rgb) {
        state = state * 1103515245 + 12345;
        byte = static_cast<std::uint8_t>(state >> 16);
    }
    return p;
}


TEST_F(Images, CreatedImagesAreBlackOrTransparentAndReplaceTheirId) {
    std::intptr_t first = image_create(5, 10, 10);
    ASSERT_NE(first, 0);
    EXPECT_EQ(reinterpret_cast<ImageHandle>(first), image_handle(5));
    EXPECT_EQ(image_width(5), 10);
    EXPECT_EQ(image_height(5), 10);
    EXPECT_FALSE(gdk_pixbuf_get_has_alpha(image_handle(5)));
    EXPECT_TRUE(region_is(image_handle(5), 0, 0, 10, 10, {0, 0, 0}));

    std::intptr_t second = image_create(5, 7, 3, 32);
    ASSERT_NE(second, 0);
    EXPECT_EQ(image_width(5), 7);
    EXPECT_EQ(image_height(5), 3);
    ImageHandle rgba = image_handle(5);
    EXPECT_TRUE(gdk_pixbuf_get_has_alpha(rgba));
    EXPECT_TRUE(region_is(rgba, 0, 0, 7, 3, {0, 0, 0}));
    EXPECT_EQ(alpha_at(rgba, 6, 2), 255);

    ASSERT_NE(image_create(6, 4, 4, 32 + ImageTransparent), 0);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) EXPECT_EQ(alpha_at(image_handle(6), x, y), 0);

    // A failed creation empties the id; sizes beyond the limits fail.
    EXPECT_EQ(image_create(5, 0, 10), 0);
    EXPECT_EQ(image_handle(5), nullptr);
    EXPECT_EQ(image_create(7, 32768, 1), 0);
    EXPECT_EQ(image_create(7, 20000, 20000), 0);  // more than 2^27 pixels
    EXPECT_EQ(image_create(7, -3, 4), 0);
    EXPECT_NE(image_create(7, 32767, 2), 0);
}

TEST_F(Images, GeneratedIdsAndRelease) {
    std::intptr_t id = image_create(-1, 3, 2);
    ASSERT_NE(id, 0);
    ASSERT_NE(id, -1);
    EXPECT_EQ(image_width(id), 3);
    EXPECT_NE(image_handle(id), nullptr);
    image_free(id);
    EXPECT_EQ(image_width(id), 0);
    EXPECT_EQ(image_handle(id), nullptr);

    ASSERT_NE(image_create(40, 2, 2), 0);  // grows the table past 16
    image_free(40);
    EXPECT_EQ(image_handle(40), nullptr);
    image_free(40);  // freeing nothing does nothing
    EXPECT_EQ(image_width(12345), 0);
    EXPECT_EQ(image_resize(12345, 5, 5), nullptr);
    EXPECT_EQ(image_save(12345, dir.file("x.jpg"), FormatJPEG), 0);

    std::string path = dir.file("a.jpg");
    store(1, image_files::gradient(20, 10));
    ASSERT_EQ(image_save(1, path, FormatJPEG), 1);
    std::intptr_t loaded = image_load(-1, path);
    ASSERT_NE(loaded, 0);
    EXPECT_EQ(image_width(loaded), 20);
    EXPECT_EQ(image_height(loaded), 10);
}

TEST_F(Images, SavedJpegMatchesLibjpegAtQualitySeventyAndReloads) {
    image_files::Picture picture = image_files::gradient(45, 31);
    store(1, picture);
    std::string path = dir.file("round.jpg");
    ASSERT_EQ(image_save(1, path, FormatJPEG), 1);

    std::vector<std::uint8_t> saved = read_file(path);
    ASSERT_GT(saved.size(), 20u);
    EXPECT_EQ(saved[0], 0xFF);
    EXPECT_EQ(saved[1], 0xD8);
    EXPECT_EQ(saved[2], 0xFF);
    EXPECT_EQ(saved[3], 0xE0);
    EXPECT_EQ(std::memcmp(&saved[6], "JFIF\0", 5), 0);
    // Every setting but the quality is libjpeg's default: the file is byte
    // for byte what libjpeg writes at 70 without forced baseline tables.
    image_files::JpegOptions reference;
    reference.quality = 70;
    EXPECT_EQ(saved, image_files::jpeg(picture, reference));

    std::intptr_t handle = image_load(2, path);
    ASSERT_NE(handle, 0);
    EXPECT_EQ(reinterpret_cast<ImageHandle>(handle), image_handle(2));
    EXPECT_EQ(image_width(2), 45);
    EXPECT_EQ(image_height(2), 31);
    EXPECT_LE(max_difference(image_handle(1), image_handle(2)), 48);
    // Loaded rows: 3 x width rounded up to 4.
    EXPECT_EQ(gdk_pixbuf_get_rowstride(image_handle(2)), 3 * 45 + 45 % 4);
    EXPECT_FALSE(gdk_pixbuf_get_has_alpha(image_handle(2)));

    // Quality 10 and above is libjpeg 100, below 0 the lowest.
    std::string best = dir.file("best.jpg"), worst = dir.file("worst.jpg");
    ASSERT_EQ(image_save(1, best, FormatJPEG, 12), 1);
    ASSERT_EQ(image_save(1, worst, FormatJPEG, -4), 1);
    reference.quality = 100;
    EXPECT_EQ(read_file(best), image_files::jpeg(picture, reference));
    reference.quality = 0;
    EXPECT_EQ(read_file(worst), image_files::jpeg(picture, reference));
}

TEST_F(Images, RgbaIsCompositedOverWhiteOnSave) {
    ASSERT_NE(image_create(1, 16, 16, 32 + ImageTransparent), 0);
    GdkPixbuf* buffer = image_handle(1);
    int stride = gdk_pixbuf_get_rowstride(buffer);
    guchar* pixels = gdk_pixbuf_get_pixels(buffer);
    for (int y = 0; y < 16; ++y) {
        for (int x = 8; x < 16; ++x) pixels[y * stride + 4 * x + 3] = 255;  // right half opaque black
    }
    pixels[3] = 128;  // (0, 0, 0) at half cover: 255 * 127 / 255 = 127
    std::string jpeg = dir.file("alpha.jpg"), bmp = dir.file("alpha.bmp");
    ASSERT_EQ(image_save(1, jpeg, FormatJPEG), 1);
    ASSERT_EQ(image_save(1, bmp, FormatBMP, 7, 24), 1);
    ASSERT_NE(image_load(2, jpeg), 0);
    EXPECT_TRUE(region_is(image_handle(2), 0, 8, 8, 8, {255, 255, 255}, 6));
    EXPECT_TRUE(region_is(image_handle(2), 8, 0, 8, 16, {0, 0, 0}, 6));
    ASSERT_NE(image_load(3, bmp), 0);
    EXPECT_EQ(pixel_at(image_handle(3), 0, 0), (Rgb{127, 127, 127}));
    EXPECT_TRUE(region_is(image_handle(3), 1, 0, 7, 16, {255, 255, 255}));
    EXPECT_TRUE(region_is(image_handle(3), 8, 0, 8, 16, {0, 0, 0}));
}

TEST_F(Images, FailedLoadsKeepThePictureUnderTheId) {
    store(3, image_files::gradient(12, 9));
    ImageHandle before = image_handle(3);
    Rgb corner = pixel_at(before, 11, 8);
    image_files::write_bytes(dir.file("empty.jpg"), {});
    image_files::write_bytes(dir.file("text.jpg"), Bytes{'h', 'e', 'l', 'l', 'o', '\n'});
    image_files::write_bytes(dir.file("two.jpg"), Bytes{0xFF, 0xD8});
    image_files::Bmp wide;  // refused: wider than the store allows
    wide.width = 40000;
    image_files::write_bytes(dir.file("wide.bmp"), wide.file());
    for (std::string name : {"missing.jpg", "empty.jpg", "text.jpg", "two.jpg", "wide.bmp", ""}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(image_load(3, name.empty() ? name : dir.file(name)), 0);
        EXPECT_EQ(image_handle(3), before);
        EXPECT_EQ(image_width(3), 12);
        EXPECT_EQ(pixel_at(image_handle(3), 11, 8), corner);
    }
    EXPECT_EQ(image_load(3, dir.folder()), 0);  // a folder is no picture
    EXPECT_EQ(image_load(-1, dir.file("missing.jpg")), 0);
    EXPECT_EQ(image_handle(3), before);
}

TEST_F(Images, FormatIsDecidedByContentAndSourceDepthIsKept) {
    image_files::Bmp bmp;
    bmp.width = 3;
    bmp.height = 2;
    bmp.bits = 8;
    bmp.palette = image_files::bmp_palette(4, [](int i) { return 0x3F0000u * static_cast<unsigned>(i); });
    bmp.data = image_files::bmp_rows(3, 2, 8, [](int x, int y) { return static_cast<std::uint32_t>(x + y); });
    image_files::write_bytes(dir.file("bitmap.jpg"), bmp.file());
    ASSERT_NE(image_load(4, dir.file("bitmap.jpg")), 0);
    EXPECT_EQ(pixel_at(image_handle(4), 2, 1), (Rgb{0xBD, 0, 0}));
    // The BMP writer's default depth is the file's own.
    ASSERT_EQ(image_save(4, dir.file("again.bmp"), FormatBMP), 1);
    std::vector<std::uint8_t> again = read_file(dir.file("again.bmp"));
    ASSERT_GT(again.size(), 30u);
    EXPECT_EQ(again[28], 8);
    ASSERT_NE(image_load(5, dir.file("again.bmp")), 0);
    EXPECT_EQ(max_difference(image_handle(4), image_handle(5)), 0);

    image_files::Picture grey = image_files::gradient(16, 16);
    image_files::JpegOptions options;
    options.kind = image_files::JpegKind::Grey;
    image_files::write_bytes(dir.file("grey.jpg"), image_files::jpeg(grey, options));
    ASSERT_NE(image_load(6, dir.file("grey.jpg")), 0);
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 16; ++x) {
            Rgb p = pixel_at(image_handle(6), x, y);
            ASSERT_TRUE(p.r == p.g && p.g == p.b) << x << "," << y;
        }
    }
    EXPECT_NE(pixel_at(image_handle(6), 0, 0), pixel_at(image_handle(6), 15, 15));
    // A greyscale file is decoded to three components.
    ASSERT_EQ(image_save(6, dir.file("grey.bmp"), FormatBMP), 1);
    EXPECT_EQ(read_file(dir.file("grey.bmp"))[28], 24);
}

TEST_F(Images, SaveRefusesBadRequestsAndCreatesNothing) {
    KeepWorkingFolder keep;
    std::filesystem::current_path(dir.path());
    store(1, image_files::gradient(8, 8));
    EXPECT_EQ(image_save(1, "", FormatJPEG), 0);
    EXPECT_EQ(image_save(1, dir.file("none/x.jpg"), FormatJPEG), 0);
    EXPECT_EQ(image_save(1, dir.file("x.png"), 0x20474E50), 0);  // no encoder for that tag
    EXPECT_EQ(image_save(1, dir.file("x.bmp"), FormatBMP, 7, 2), 0);  // no 2-bit BMP
    EXPECT_EQ(image_save(1, dir.folder(), FormatJPEG), 0);
    EXPECT_TRUE(files().empty());
    EXPECT_FALSE(std::filesystem::exists(dir.file("none")));

    // Without a registered encoder there is no JPEG output at all.
    codec_init();
    EXPECT_EQ(image_save(1, dir.file("x.jpg"), FormatJPEG), 0);
    EXPECT_TRUE(files().empty());
}

TEST_F(Images, SaveFailingHalfWayLeavesThePreviousFile) {
    std::string jpeg = dir.file("keep.jpg"), bmp = dir.file("keep.bmp");
    store(1, image_files::gradient(8, 8));
    ASSERT_EQ(image_save(1, jpeg, FormatJPEG), 1);
    ASSERT_EQ(image_save(1, bmp, FormatBMP, 7, 24), 1);
    std::vector<std::uint8_t> old_jpeg = read_file(jpeg), old_bmp = read_file(bmp);
    std::vector<std::string> before = files();

    store(2, noise(300, 300));  // ~200 KB as JPEG, 270 KB as BMP
    {
        FileSizeLimit limit(16 * 1024);
        EXPECT_EQ(image_save(2, jpeg, FormatJPEG), 0);
        EXPECT_EQ(image_save(2, bmp, FormatBMP, 7, 24), 0);
        EXPECT_EQ(image_save(2, bmp, FormatBMP, 7, 8), 0);
    }
    EXPECT_EQ(read_file(jpeg), old_jpeg);
    EXPECT_EQ(read_file(bmp), old_bmp);
    EXPECT_EQ(files(), before);  // no temporary left behind

    ASSERT_EQ(image_save(2, jpeg, FormatJPEG), 1);  // and it works without the limit
    EXPECT_NE(read_file(jpeg), old_jpeg);
}

TEST_F(Images, DamagedJpegStillLoadsAtItsHeaderSize) {
    image_files::Picture picture = image_files::gradient(64, 48);
    Bytes whole = image_files::jpeg(picture);
    std::size_t scan = image_files::first_scan_data(whole);
    ASSERT_GT(scan, 0u);
    image_files::write_bytes(dir.file("header.jpg"), Bytes(whole.begin(), whole.begin() + scan));
    image_files::write_bytes(dir.file("half.jpg"), Bytes(whole.begin(), whole.begin() + (scan + whole.size()) / 2));
    Bytes junk = whole;
    for (std::size_t i = scan + 40; i < junk.size() - 2; i += 7) junk[i] = 0xFF;
    image_files::write_bytes(dir.file("junk.jpg"), junk);

    for (const char* name : {"header.jpg", "half.jpg", "junk.jpg"}) {
        SCOPED_TRACE(name);
        ASSERT_NE(image_load(1, dir.file(name)), 0);
        EXPECT_EQ(image_width(1), 64);
        EXPECT_EQ(image_height(1), 48);
    }
    // Half of the data decodes the top rows.
    ASSERT_NE(image_load(1, dir.file("half.jpg")), 0);
    store(2, picture);
    EXPECT_LE(max_difference(image_handle(1), 0, 0, image_handle(2), 0, 0, 64, 8), 24);
}

TEST_F(Images, ResizeReplacesTheHandleOnlyWhenTheSizeChanges) {
    ASSERT_NE(image_create(1, 2, 1), 0);
    guchar* pixels = gdk_pixbuf_get_pixels(image_handle(1));
    pixels[3] = pixels[4] = pixels[5] = 255;  // black, white
    ImageHandle before = image_handle(1);
    EXPECT_EQ(image_resize(1, 2, 1), nullptr);
    EXPECT_EQ(image_handle(1), before);

    ImageHandle nearest = image_resize(1, 4, 1, 1);
    ASSERT_NE(nearest, nullptr);
    EXPECT_EQ(nearest, image_handle(1));
    EXPECT_EQ(image_width(1), 4);
    EXPECT_EQ(image_height(1), 1);
    EXPECT_EQ(pixel_at(nearest, 1, 0), (Rgb{0, 0, 0}));
    EXPECT_EQ(pixel_at(nearest, 2, 0), (Rgb{255, 255, 255}));

    ImageHandle smooth = image_resize(1, 8, 2);
    ASSERT_NE(smooth, nullptr);
    EXPECT_NE(smooth, nearest);
    EXPECT_EQ(image_width(1), 8);
    EXPECT_EQ(image_height(1), 2);
    Rgb middle = pixel_at(smooth, 3, 0);
    EXPECT_GT(middle.r, 0);
    EXPECT_LT(middle.r, 255);

    EXPECT_EQ(image_resize(1, 0, 5), nullptr);
    EXPECT_EQ(image_resize(1, 40000, 5), nullptr);
    EXPECT_EQ(image_handle(1), smooth);

    // Rescaling keeps the alpha channel and both depths.
    ASSERT_NE(image_create(2, 4, 4, 32), 0);
    ASSERT_NE(image_resize(2, 2, 2), nullptr);
    EXPECT_TRUE(gdk_pixbuf_get_has_alpha(image_handle(2)));
    ASSERT_EQ(image_save(2, dir.file("small.bmp"), FormatBMP), 1);
    EXPECT_EQ(read_file(dir.file("small.bmp"))[28], 32);
}

}  // namespace

namespace {

TEST_F(Images, FailedLoadsSayWhy) {
    Bytes whole = image_files::jpeg(image_files::gradient(32, 16));
    std::size_t scan = image_files::first_scan_data(whole);
    image_files::write_bytes(dir.file("empty.jpg"), {});
    image_files::write_bytes(dir.file("text.jpg"), Bytes{'h', 'e', 'l', 'l', 'o', '\n'});
    image_files::write_bytes(dir.file("two.jpg"), Bytes{0xFF, 0xD8, 0xFF});
    image_files::write_bytes(dir.file("cut.jpg"), Bytes(whole.begin(), whole.begin() + scan - 4));
    image_files::write_bytes(dir.file("header.jpg"), Bytes(whole.begin(), whole.begin() + scan));
    image_files::Bmp wide;
    wide.width = 40000;
    image_files::write_bytes(dir.file("wide.bmp"), wide.file());
    fs::create_directory(dir.path() / "folder");

    struct Case {
        const char* name;
        FailureKind kind;
        const char* cause;
    };
    for (const Case& c : {Case{"missing.jpg", FailureKind::NotFound, "no such file"},
                          Case{"empty.jpg", FailureKind::NotAPicture, "empty"},
                          Case{"text.jpg", FailureKind::NotAPicture, "not a picture"},
                          Case{"two.jpg", FailureKind::Damaged, "damaged JPEG"},
                          Case{"cut.jpg", FailureKind::Damaged, "damaged JPEG"},
                          Case{"wide.bmp", FailureKind::TooLarge, "40000 x 1"},
                          Case{"folder", FailureKind::NotAFile, "is a folder"}}) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(image_load(1, dir.file(c.name)), 0);
        EXPECT_TRUE(failed_with(c.kind, dir.file(c.name), c.cause));
    }
    // Data cut off after the header still loads: a success.
    EXPECT_NE(image_load(1, dir.file("header.jpg")), 0);
    EXPECT_EQ(last_failure().kind, FailureKind::None);
    EXPECT_EQ(last_failure().text, "");
}

TEST_F(Images, FailedSavesSayWhy) {
    store(1, image_files::gradient(8, 8));
    ASSERT_NE(image_create(2, 8, 8, 32), 0);
    fs::create_directory(dir.path() / "folder");
    EXPECT_EQ(image_save(1, "", FormatJPEG), 0);
    EXPECT_EQ(last_failure().kind, FailureKind::Other);
    EXPECT_EQ(image_save(9, dir.file("x.jpg"), FormatJPEG), 0);
    EXPECT_TRUE(failed_with(FailureKind::Other, dir.file("x.jpg"), "no picture"));
    EXPECT_EQ(image_save(1, dir.file("x.png"), 0x20474E50), 0);
    EXPECT_TRUE(failed_with(FailureKind::Other, dir.file("x.png"), "no encoder"));
    EXPECT_EQ(image_save(1, dir.file("x.bmp"), FormatBMP, 7, 2), 0);
    EXPECT_TRUE(failed_with(FailureKind::Other, dir.file("x.bmp"), "2 bits"));
    for (FormatTag tag : {FormatJPEG, FormatBMP}) {
        SCOPED_TRACE(tag);
        EXPECT_EQ(image_save(1, dir.file("none/x"), tag), 0);
        EXPECT_TRUE(failed_with(FailureKind::NotFound, dir.file("none/x"), "no such file"));
        EXPECT_EQ(image_save(1, dir.file("folder"), tag), 0);
        EXPECT_TRUE(failed_with(FailureKind::NotAFile, dir.file("folder"), "is a folder"));
    }

    // Every encoder path on a full disk: JPEG from RGB and from RGBA
    // composited over white, BMP directly and through the quantizer.
    image_files::Picture noisy = noise(300, 300);
    store(3, noisy);
    ASSERT_NE(image_create(4, 300, 300, 32), 0);
    for (int y = 0; y < 300; ++y) {
        guchar* row = gdk_pixbuf_get_pixels(image_handle(4)) + y * gdk_pixbuf_get_rowstride(image_handle(4));
        for (int x = 0; x < 300; ++x) std::memcpy(row + 4 * x, noisy.at(x, y), 3);
    }
    {
        FileSizeLimit limit(16 * 1024);
        for (auto [id, tag, depth] : {std::tuple{3, FormatJPEG, -1}, std::tuple{4, FormatJPEG, -1},
                                      std::tuple{3, FormatBMP, 24}, std::tuple{3, FormatBMP, 8}}) {
            SCOPED_TRACE(testing::Message() << id << " " << tag << " " << depth);
            EXPECT_EQ(image_save(id, dir.file("full"), tag, 7, depth), 0);
            EXPECT_TRUE(failed_with(FailureKind::DiskFull, dir.file("full"), "limit"));
        }
    }
    EXPECT_EQ(image_save(1, dir.file("ok.jpg"), FormatJPEG), 1);
    EXPECT_EQ(last_failure().kind, FailureKind::None);
    EXPECT_EQ(image_save(2, dir.file("ok.bmp"), FormatBMP), 1);
    EXPECT_EQ(last_failure().kind, FailureKind::None);
}

TEST_F(Images, SavesKeepProtectionModeAndLinks) {
    store(1, image_files::gradient(8, 8));
    std::vector<std::uint8_t> old{1, 2, 3};
    image_files::write_bytes(dir.file("protected.jpg"), old);
    image_files::write_bytes(dir.file("private.jpg"), old);
    ASSERT_EQ(chmod(dir.file("protected.jpg").c_str(), 0444), 0);
    ASSERT_EQ(chmod(dir.file("private.jpg").c_str(), 0600), 0);
    fs::create_symlink("private.jpg", dir.path() / "link.jpg");

    for (FormatTag tag : {FormatJPEG, FormatBMP}) {
        ASSERT_EQ(image_save(1, dir.file("link.jpg"), tag), 1);
        EXPECT_TRUE(fs::is_symlink(dir.file("link.jpg")));
        struct stat info {};
        ASSERT_EQ(stat(dir.file("private.jpg").c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0600u);
        EXPECT_NE(image_load(2, dir.file("private.jpg")), 0);
    }

    if (geteuid() == 0) {
        ASSERT_EQ(chown(dir.folder().c_str(), child_process::nobody, child_process::nobody), 0);
        ASSERT_EQ(chown(dir.file("protected.jpg").c_str(), child_process::nobody, child_process::nobody), 0);
    }
    auto outcome = child_process::run_unprivileged([&] {
        std::string report;
        for (FormatTag tag : {FormatJPEG, FormatBMP}) {
            child_process::check(report, image_save(1, dir.file("protected.jpg"), tag) == 0,
                                 "write-protected file replaced");
            child_process::check(report,
                                 failed_with(FailureKind::NoPermission, dir.file("protected.jpg"), "permission denied"),
                                 "protected: " + last_failure().text);
        }
        child_process::check(report, read_file(dir.file("protected.jpg")) == std::vector<std::uint8_t>{1, 2, 3},
                             "write-protected file changed");
        return report;
    });
    if (outcome.skipped) GTEST_SKIP() << "cannot switch to user " << child_process::nobody;
    EXPECT_EQ(outcome.report, "");
    EXPECT_EQ(files(), (std::vector<std::string>{"link.jpg", "private.jpg", "protected.jpg"}));
}

TEST_F(Images, WhatIsNoPlainFileFailsAtOnce) {
    ASSERT_EQ(mkfifo(dir.file("pipe.jpg").c_str(), 0600), 0);
    fs::create_directory(dir.path() / "folder.jpg");
    store(1, image_files::gradient(4, 4));
    ImageHandle before = image_handle(1);
    // In a child: a pipe without a writer would block the load for ever, a
    // device without end would be read until memory runs out.
    auto outcome = child_process::run([&] {
        std::string report;
        for (std::string path : {dir.file("pipe.jpg"), std::string("/dev/zero"), dir.file("folder.jpg")}) {
            child_process::check(report, image_load(1, path) == 0, path + " loaded");
            child_process::check(report, failed_with(FailureKind::NotAFile, path, "is a "),
                                 path + ": " + last_failure().text);
            child_process::check(report, image_handle(1) == before, path + " replaced the picture");
        }
        return report;
    });
    EXPECT_EQ(outcome.report, "");

    // A file larger than any picture the store accepts could come from is
    // refused before it is read (sparse: it takes no disk space).
    std::string big = dir.file("big.bmp");
    image_files::Bmp header;
    header.width = 16384;
    header.height = 8192;
    image_files::write_bytes(big, header.file());
    fs::resize_file(big, static_cast<std::uintmax_t>(tk::max_picture_file_size) + 1);
    EXPECT_EQ(image_load(1, big), 0);
    EXPECT_TRUE(failed_with(FailureKind::TooLarge, big, "too large"));
    EXPECT_EQ(image_handle(1), before);
}

// Peak memory of the process so far, in bytes.
long long peak_memory() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<long long>(usage.ru_maxrss) * 1024;
}

TEST_F(Images, FewBytesClaimingAHugeMultiScanPictureTakeNoMemory) {
    using image_files::Multiscan;
    for (Multiscan kind : {Multiscan::ProgressiveCmyk, Multiscan::SequentialPerComponent}) {
        image_files::write_bytes(dir.file("claim" + std::to_string(static_cast<int>(kind)) + ".jpg"),
                                 image_files::claimed_multiscan(kind, 32767, 4096));
    }
    // In a child, whose peak memory is its own: the decoder once took 1.4 GB
    // for these files.
    auto outcome = child_process::run([&] {
        std::string report;
        for (const char* name : {"claim0.jpg", "claim1.jpg"}) {
            long long before = peak_memory();
            child_process::check(report, image_load(1, dir.file(name)) == 0, std::string(name) + " loaded");
            child_process::check(report, failed_with(FailureKind::TooLarge, dir.file(name), "too large to decode"),
                                 std::string(name) + ": " + last_failure().text);
            long long grown = peak_memory() - before;
            child_process::check(report, grown < static_cast<long long>(tk::decoder_memory_margin),
                                 std::string(name) + " took " + std::to_string(grown >> 20) + " MiB");
        }
        return report;
    }, 300);
    EXPECT_EQ(outcome.report, "");
}

}  // namespace
