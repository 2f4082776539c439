// Builders of small picture files for the image store's tests and the seed
// corpus of the fuzzers: BMP files laid out byte by byte, JPEG files through
// libjpeg's own compressor.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include <jpeglib.h>

namespace image_files {

using Bytes = std::vector<std::uint8_t>;

inline void put16(Bytes& out, unsigned v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}
inline void put32(Bytes& out, std::uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

// A BMP file: file header, an information header of header_size bytes (the
// 40-byte fields, then zeros), the palette (B, G, R, X entries) and data.
struct Bmp {
    std::int32_t width = 1;
    std::int32_t height = 1;
    unsigned bits = 24;
    std::uint32_t compression = 0;
    std::uint32_t colours_used = 0;
    std::uint32_t header_size = 40;
    Bytes palette;
    Bytes data;
    // When set, replaces the offset of the pixel data.
    std::int64_t data_offset = -1;

    Bytes file() const {
        Bytes out{'B', 'M'};
        std::uint32_t offset = 14 + header_size + static_cast<std::uint32_t>(palette.size());
        put32(out, offset + static_cast<std::uint32_t>(data.size()));
        put32(out, 0);
        put32(out, data_offset >= 0 ? static_cast<std::uint32_t>(data_offset) : offset);
        put32(out, header_size);
        put32(out, static_cast<std::uint32_t>(width));
        put32(out, static_cast<std::uint32_t>(height));
        put16(out, 1);
        put16(out, bits);
        put32(out, compression);
        put32(out, static_cast<std::uint32_t>(data.size()));
        put32(out, 2835);
        put32(out, 2835);
        put32(out, colours_used);
        put32(out, 0);
        out.resize(14 + header_size, 0);
        out.insert(out.end(), palette.begin(), palette.end());
        out.insert(out.end(), data.begin(), data.end());
        return out;
    }
};

// Rows bottom-up, each padded to 4 bytes, of `bits`-per-pixel values:
// palette indices up to 8 bits, 16-bit words, or 0xRRGGBB for 24 and 32 bits.
inline Bytes bmp_rows(int width, int height, unsigned bits, const std::function<std::uint32_t(int, int)>& value) {
    std::size_t row_bytes = (static_cast<std::size_t>(width) * bits + 31) / 32 * 4;
    Bytes out;
    for (int y = height - 1; y >= 0; --y) {
        Bytes row(row_bytes, 0);
        for (int x = 0; x < width; ++x) {
            std::uint32_t v = value(x, y);
            std::size_t bit = static_cast<std::size_t>(x) * bits;
            switch (bits) {
            case 1:
            case 4:
            case 8:
                row[bit / 8] |= static_cast<std::uint8_t>(v << (8 - bits - bit % 8));
                break;
            case 16:
                row[bit / 8] = static_cast<std::uint8_t>(v);
                row[bit / 8 + 1] = static_cast<std::uint8_t>(v >> 8);
                break;
            default:
                row[bit / 8] = static_cast<std::uint8_t>(v);
                row[bit / 8 + 1] = static_cast<std::uint8_t>(v >> 8);
                row[bit / 8 + 2] = static_cast<std::uint8_t>(v >> 16);
                if (bits == 32) row[bit / 8 + 3] = 0x5A;  // the unused byte
                break;
            }
        }
        out.insert(out.end(), row.begin(), row.end());
    }
    return out;
}

// A palette of n entries, entry i = (R, G, B) = colour(i).
inline Bytes bmp_palette(int n, const std::function<std::uint32_t(int)>& rgb) {
    Bytes out;
    for (int i = 0; i < n; ++i) {
        std::uint32_t c = rgb(i);
        out.push_back(static_cast<std::uint8_t>(c));        // blue
        out.push_back(static_cast<std::uint8_t>(c >> 8));   // green
        out.push_back(static_cast<std::uint8_t>(c >> 16));  // red
        out.push_back(0);
    }
    return out;
}

// A smooth test picture that JPEG keeps close: R, G, B rows top-down.
struct Picture {
    int width = 0;
    int height = 0;
    Bytes rgb;
    const std::uint8_t* at(int x, int y) const { return &rgb[3 * (static_cast<std::size_t>(y) * width + x)]; }
};

inline Picture gradient(int width, int height) {
    Picture p{width, height, Bytes(3 * static_cast<std::size_t>(width) * height)};
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            std::uint8_t* c = &p.rgb[3 * (static_cast<std::size_t>(y) * width + x)];
            c[0] = static_cast<std::uint8_t>(x * 255 / std::max(1, width - 1));
            c[1] = static_cast<std::uint8_t>(y * 255 / std::max(1, height - 1));
            c[2] = static_cast<std::uint8_t>(40 + (x + y) * 160 / std::max(1, width + height - 2));
        }
    }
    return p;
}

enum class JpegKind { Rgb, Grey, AdobeCmyk, AdobeYcck, Progressive };

struct JpegOptions {
    JpegKind kind = JpegKind::Rgb;
    int quality = 90;
    // A scan script of its own (for Progressive or Grey); empty: libjpeg's
    // simple progression for Progressive, one scan otherwise.
    std::vector<jpeg_scan_info> scans;
    // Colour at full resolution (4:4:4) instead of libjpeg's 2 x 2 chroma.
    bool full_chroma = false;
};

// Compresses a picture with libjpeg. AdobeCmyk and AdobeYcck store the inks inverted, as
// Adobe's writers do: the file holds 255 - ink.
inline Bytes jpeg(const Picture& picture, const JpegOptions& options = {}) {
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr error{};
    cinfo.err = jpeg_std_error(&error);
    // A builder's error is a fault of the test itself.
    error.error_exit = [](j_common_ptr c) {
        c->err->output_message(c);
        std::abort();
    };
    jpeg_create_compress(&cinfo);
    unsigned char* memory = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &memory, &size);
    cinfo.image_width = static_cast<JDIMENSION>(picture.width);
    cinfo.image_height = static_cast<JDIMENSION>(picture.height);
    bool grey = options.kind == JpegKind::Grey;
    bool cmyk = options.kind == JpegKind::AdobeCmyk || options.kind == JpegKind::AdobeYcck;
    cinfo.input_components = grey ? 1 : cmyk ? 4 : 3;
    cinfo.in_color_space = grey ? JCS_GRAYSCALE : cmyk ? JCS_CMYK : JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, options.quality, FALSE);
    if (options.kind == JpegKind::AdobeYcck) jpeg_set_colorspace(&cinfo, JCS_YCCK);
    if (options.full_chroma) cinfo.comp_info[0].h_samp_factor = cinfo.comp_info[0].v_samp_factor = 1;
    if (!options.scans.empty()) {
        cinfo.scan_info = options.scans.data();
        cinfo.num_scans = static_cast<int>(options.scans.size());
    } else if (options.kind == JpegKind::Progressive) {
        jpeg_simple_progression(&cinfo);
    }
    jpeg_start_compress(&cinfo, TRUE);
    Bytes row(4 * static_cast<std::size_t>(picture.width));
    while (cinfo.next_scanline < cinfo.image_height) {
        int y = static_cast<int>(cinfo.next_scanline);
        for (int x = 0; x < picture.width; ++x) {
            const std::uint8_t* c = picture.at(x, y);
            if (grey) {
                row[x] = static_cast<std::uint8_t>((c[0] * 299 + c[1] * 587 + c[2] * 114) / 1000);
            } else if (cmyk) {
                // No black ink: C, M, Y = 255 - R, G, B; stored inverted.
                row[4 * x] = c[0];
                row[4 * x + 1] = c[1];
                row[4 * x + 2] = c[2];
                row[4 * x + 3] = 255;
            } else {
                std::copy(c, c + 3, &row[3 * x]);
            }
        }
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    Bytes out(memory, memory + size);
    jpeg_destroy_compress(&cinfo);
    std::free(memory);
    return out;
}

// The offset just past the header of the first scan (its SOS segment), or 0.
inline std::size_t first_scan_data(const Bytes& file) {
    for (std::size_t i = 2; i + 3 < file.size(); ++i) {
        if (file[i] == 0xFF && file[i + 1] == 0xDA) return i + 2 + (file[i + 2] << 8 | file[i + 3]);
    }
    return 0;
}

// Rewrites the picture size in a JPEG file's frame header.
inline void set_frame_size(Bytes& file, int width, int height) {
    for (std::size_t i = 2; i + 8 < file.size(); ++i) {
        if (file[i] == 0xFF && file[i + 1] >= 0xC0 && file[i + 1] <= 0xC2) {
            file[i + 5] = static_cast<std::uint8_t>(height >> 8);
            file[i + 6] = static_cast<std::uint8_t>(height);
            file[i + 7] = static_cast<std::uint8_t>(width >> 8);
            file[i + 8] = static_cast<std::uint8_t>(width);
            return;
        }
    }
    throw std::runtime_error("no frame header");
}

// Files that keep all their coefficients until the last scan: progressive
// CMYK (four full-resolution components), and YCbCr 4:4:4 in one sequential
// scan per component.
enum class Multiscan { ProgressiveCmyk, SequentialPerComponent };

// A file of a few hundred bytes whose header claims width x height pixels
// and whose data ends just inside its first scan.
inline Bytes claimed_multiscan(Multiscan kind, int width, int height) {
    JpegOptions options;
    if (kind == Multiscan::ProgressiveCmyk) {
        options.kind = JpegKind::AdobeCmyk;
        options.scans = {{4, {0, 1, 2, 3}, 0, 0, 0, 0},
                         {1, {0}, 1, 63, 0, 0},
                         {1, {1}, 1, 63, 0, 0},
                         {1, {2}, 1, 63, 0, 0},
                         {1, {3}, 1, 63, 0, 0}};
    } else {
        options.full_chroma = true;
        options.scans = {{1, {0}, 0, 63, 0, 0}, {1, {1}, 0, 63, 0, 0}, {1, {2}, 0, 63, 0, 0}};
    }
    Bytes file = jpeg(gradient(16, 16), options);
    set_frame_size(file, width, height);
    file.resize(first_scan_data(file) + 16);
    return file;
}

// A progressive greyscale script with the most scans libjpeg allows: every
// coefficient alone, refined one bit at a time (704 scans).
inline std::vector<jpeg_scan_info> many_scans() {
    std::vector<jpeg_scan_info> scans;
    auto refine = [&](int first, int last) {
        scans.push_back({1, {0}, first, last, 0, 10});
        for (int bit = 10; bit > 0; --bit) scans.push_back({1, {0}, first, last, bit, bit - 1});
    };
    refine(0, 0);
    for (int k = 1; k < 64; ++k) refine(k, k);
    return scans;
}

inline void write_bytes(const std::string& path, const Bytes& bytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) throw std::runtime_error("cannot write " + path);
    if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

}  // namespace image_files
