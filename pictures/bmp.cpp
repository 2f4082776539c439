#include "pictures/bmp.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <new>
#include <vector>

#include "pictures/files.h"
#include "pictures/quantize.h"

namespace tk {

namespace {

// Little-endian fields of a file, read only inside its content.
std::uint16_t le16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }
std::uint32_t le32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

// ---------------------------------------------------------------------------
// BMP decoder

struct BmpData {
    std::size_t data_offset = 0;
    std::size_t palette_offset = 0;
    std::size_t palette_entries = 0;
    int bits = 0;
    std::uint32_t compression = 0;
    bool top_down = false;
    std::array<std::array<std::uint8_t, 3>, 256> palette{};  // R, G, B; missing entries black
};

constexpr std::size_t bmp_file_header = 14;
constexpr std::size_t bmp_info_header = 40;

int bmp_check(DecodeState& state) {
    Bytes file = state.content;
    if (file.size() < bmp_file_header || file[0] != 'B' || file[1] != 'M' || le16(&file[6]) != 0 ||
        le16(&file[8]) != 0) {
        return 0;
    }
    // Longer information headers (the 108- and 124-byte forms) begin with the
    // 40-byte one; shorter ones place their fields elsewhere.
    if (file.size() < bmp_file_header + bmp_info_header) {
        state.refusal = FailureKind::Damaged;
        state.reason = "damaged BMP file: cut off inside its header";
        return 0;
    }
    std::uint32_t header_size = le32(&file[14]);
    if (header_size < bmp_info_header) return 0;

    auto* bmp = new (std::nothrow) BmpData;
    if (!bmp) {
        state.refusal = FailureKind::OutOfMemory;
        state.reason = "out of memory";
        return 0;
    }
    auto width = static_cast<std::int32_t>(le32(&file[18]));
    auto height = static_cast<std::int32_t>(le32(&file[22]));
    bmp->top_down = height < 0;
    long long rows = bmp->top_down ? -static_cast<long long>(height) : height;
    bmp->bits = le16(&file[28]);
    bmp->compression = le32(&file[30]);
    bmp->data_offset = le32(&file[10]);
    bmp->palette_offset = bmp_file_header + header_size;
    if (bmp->bits == 1 || bmp->bits == 4 || bmp->bits == 8) {
        std::size_t most = std::size_t{1} << bmp->bits;
        std::uint32_t used = le32(&file[46]);
        std::size_t entries = used == 0 ? most : std::min<std::size_t>(used, most);
        // The palette ends where the pixel data (or the file) begins.
        std::size_t end = file.size();
        if (bmp->data_offset > bmp->palette_offset) end = std::min(end, bmp->data_offset);
        std::size_t held = bmp->palette_offset < end ? (end - bmp->palette_offset) / 4 : 0;
        bmp->palette_entries = std::min(entries, held);
    }
    state.data = bmp;
    // Heights beyond any allowed one are all the same to the loader.
    state.width = width;
    state.height = rows <= max_image_side ? static_cast<int>(rows) : max_image_side + 1;
    state.source_depth = bmp->bits;
    state.depth = 24;
    return 1;
}

void bmp_close(DecodeState& state) {
    delete static_cast<BmpData*>(state.data);
    state.data = nullptr;
}

// Destination rows of a BMP's stored rows, first stored row first.
struct BmpRows {
    std::uint8_t* pixels;
    std::size_t stride;
    long long height;
    bool reverse;  // stored row 0 is the picture's last row
    std::uint8_t* row(long long stored) const {
        return pixels + static_cast<std::size_t>(reverse ? height - 1 - stored : stored) * stride;
    }
};

// One uncompressed row of `available` bytes into out; pixels the bytes do not
// cover stay as they are.
void bmp_row(const BmpData& bmp, const std::uint8_t* in, std::size_t available, std::uint8_t* out,
             std::size_t width) {
    switch (bmp.bits) {
    case 32:
        for (std::size_t x = 0, n = std::min(width, available / 4); x < n; ++x, in += 4) {
            put_rgb(out + 3 * x, in[2], in[1], in[0]);
        }
        break;
    case 24:
        for (std::size_t x = 0, n = std::min(width, available / 3); x < n; ++x, in += 3) {
            put_rgb(out + 3 * x, in[2], in[1], in[0]);
        }
        break;
    case 16:
        for (std::size_t x = 0, n = std::min(width, available / 2); x < n; ++x, in += 2) {
            unsigned word = le16(in);
            put_rgb(out + 3 * x, static_cast<std::uint8_t>((word >> 10 & 31) << 3),
                    static_cast<std::uint8_t>((word >> 5 & 31) << 3), static_cast<std::uint8_t>((word & 31) << 3));
        }
        break;
    case 8:
        for (std::size_t x = 0, n = std::min(width, available); x < n; ++x) {
            std::memcpy(out + 3 * x, bmp.palette[in[x]].data(), 3);
        }
        break;
    case 4:
        for (std::size_t x = 0, n = std::min(width, available * 2); x < n; ++x) {
            unsigned index = x % 2 == 0 ? in[x / 2] >> 4 : in[x / 2] & 15;
            std::memcpy(out + 3 * x, bmp.palette[index].data(), 3);
        }
        break;
    case 1:
        // The palette is not consulted: 0 is black, 1 white.
        for (std::size_t x = 0, n = std::min(width, available * 8); x < n; ++x) {
            std::uint8_t level = (in[x / 8] >> (7 - x % 8) & 1) ? 255 : 0;
            put_rgb(out + 3 * x, level, level, level);
        }
        break;
    }
}

// RLE8: (count, index) runs and escapes; whatever falls outside the picture
// is dropped.
void bmp_rle8(const BmpData& bmp, Bytes file, const BmpRows& rows, long long width) {
    std::size_t p = bmp.data_offset;
    long long x = 0, y = 0;
    auto put = [&](long long at, std::uint8_t index) {
        if (at < width) std::memcpy(rows.row(y) + 3 * at, bmp.palette[index].data(), 3);
    };
    while (y < rows.height && p < file.size() && file.size() - p >= 2) {
        unsigned count = file[p], value = file[p + 1];
        p += 2;
        if (count > 0) {
            for (long long i = x, end = std::min(x + count, width); i < end; ++i) put(i, static_cast<std::uint8_t>(value));
            x += count;
            continue;
        }
        if (value == 0) {
            x = 0;
            ++y;
        } else if (value == 1) {
            return;
        } else if (value == 2) {
            if (file.size() - p < 2) return;
            x += file[p];
            y += file[p + 1];
            p += 2;
        } else {
            std::size_t available = std::min<std::size_t>(value, file.size() - p);
            for (std::size_t i = 0; i < available && x + static_cast<long long>(i) < width; ++i) {
                put(x + static_cast<long long>(i), file[p + i]);
            }
            if (available < value) return;
            p += value + (value & 1);
            x += value;
        }
    }
}

int bmp_decode(DecodeState& state, std::uint8_t* pixels, std::size_t stride, unsigned flags) {
    auto& bmp = *static_cast<BmpData*>(state.data);
    Bytes file = state.content;
    // Runs, deltas and short data leave pixels unwritten: black.
    std::memset(pixels, 0, static_cast<std::size_t>(state.height) * stride);
    for (std::size_t i = 0; i < bmp.palette_entries; ++i) {
        const std::uint8_t* entry = &file[bmp.palette_offset + 4 * i];
        bmp.palette[i] = {entry[2], entry[1], entry[0]};
    }
    // Stored bottom-up unless the height was negative; the caller may ask for
    // bottom-up output, which reverses once more.
    bool stored_bottom_up = !bmp.top_down;
    BmpRows rows{pixels, stride, state.height, stored_bottom_up != ((flags & RowsBottomUp) != 0)};
    std::size_t width = static_cast<std::size_t>(state.width);

    if (bmp.bits == 8 && bmp.compression == 1) {
        bmp_rle8(bmp, file, rows, state.width);
        return 1;
    }
    if (bmp.bits == 4 && bmp.compression == 2) return 0;  // RLE4 is not decoded
    if (bmp.bits != 1 && bmp.bits != 4 && bmp.bits != 8 && bmp.bits != 16 && bmp.bits != 24 && bmp.bits != 32) {
        return 0;
    }
    std::size_t row_bytes = (width * static_cast<std::size_t>(bmp.bits) + 31) / 32 * 4;
    for (long long r = 0; r < rows.height; ++r) {
        std::size_t start = bmp.data_offset + static_cast<std::size_t>(r) * row_bytes;
        if (start >= file.size()) return 0;
        bmp_row(bmp, &file[start], std::min(row_bytes, file.size() - start), rows.row(r), width);
    }
    return 1;
}

// ---------------------------------------------------------------------------
// BMP writer

void put16(std::uint8_t* p, unsigned v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}
void put32(std::uint8_t* p, std::uint32_t v) {
    put16(p, v & 0xFFFF);
    put16(p + 2, v >> 16);
}

int write_bmp_file(const std::string& path, const std::uint8_t* pixels, int width, int height, std::size_t stride,
                   int channels, int depth) {
    if (!pixels || (channels != 3 && channels != 4) || !image_size_allowed(width, height)) {
        set_failure(FailureKind::Other, path + ": no picture to save");
        return 0;
    }
    if (depth != 1 && depth != 4 && depth != 8 && depth != 16 && depth != 24 && depth != 32) {
        set_failure(FailureKind::Other,
                    path + ": a BMP file of " + std::to_string(depth) + " bits per pixel cannot be written");
        return 0;
    }

    Quantized q;
    if (depth == 1) {
        // A 1-bit BMP reads as 0 black and 1 white whatever its palette says.
        q.palette = {{0, 0, 0}, {255, 255, 255}};
    } else if (depth <= 8) {
        q = quantize(pixels, width, height, stride, channels, std::size_t{1} << depth);
    }
    std::size_t row_bytes = (static_cast<std::size_t>(width) * static_cast<std::size_t>(depth) + 31) / 32 * 4;
    std::size_t palette_bytes = 4 * q.palette.size();
    std::size_t offset = bmp_file_header + bmp_info_header + palette_bytes;
    std::size_t file_size = offset + row_bytes * static_cast<std::size_t>(height);

    std::vector<std::uint8_t> header(offset, 0);
    header[0] = 'B';
    header[1] = 'M';
    put32(&header[2], static_cast<std::uint32_t>(file_size));
    put32(&header[10], static_cast<std::uint32_t>(offset));
    put32(&header[14], bmp_info_header);
    put32(&header[18], static_cast<std::uint32_t>(width));
    put32(&header[22], static_cast<std::uint32_t>(height));  // positive: rows bottom-up
    put16(&header[26], 1);
    put16(&header[28], static_cast<unsigned>(depth));
    put32(&header[34], static_cast<std::uint32_t>(row_bytes * static_cast<std::size_t>(height)));
    put32(&header[38], 2835);  // 72 dots per inch
    put32(&header[42], 2835);
    put32(&header[46], static_cast<std::uint32_t>(q.palette.size()));
    for (std::size_t i = 0; i < q.palette.size(); ++i) {
        std::uint8_t* entry = &header[bmp_file_header + bmp_info_header + 4 * i];
        entry[0] = q.palette[i][2];
        entry[1] = q.palette[i][1];
        entry[2] = q.palette[i][0];
    }

    ReplacingFile file(path);
    if (!file.write(header.data(), header.size())) return 0;
    std::vector<std::uint8_t> row(row_bytes);
    for (int y = height - 1; y >= 0; --y) {
        std::fill(row.begin(), row.end(), 0);
        for_each_rgb(pixels + static_cast<std::size_t>(y) * stride, width, 1, stride, channels,
                     [&](int x, int, const std::uint8_t* rgb) {
                         std::size_t at = static_cast<std::size_t>(x);
                         switch (depth) {
                         case 32:
                             row[4 * at] = rgb[2];
                             row[4 * at + 1] = rgb[1];
                             row[4 * at + 2] = rgb[0];
                             row[4 * at + 3] = 255;  // readers that take it as alpha see opaque
                             break;
                         case 24:
                             row[3 * at] = rgb[2];
                             row[3 * at + 1] = rgb[1];
                             row[3 * at + 2] = rgb[0];
                             break;
                         case 16:
                             put16(&row[2 * at], static_cast<unsigned>((rgb[0] >> 3) << 10 | (rgb[1] >> 3) << 5 |
                                                                       rgb[2] >> 3));
                             break;
                         case 8:
                             row[at] = q.index(rgb);
                             break;
                         case 4:
                             row[at / 2] |= static_cast<std::uint8_t>(q.index(rgb) << (at % 2 ? 0 : 4));
                             break;
                         case 1: {
                             int luma = 299 * rgb[0] + 587 * rgb[1] + 114 * rgb[2];
                             if (luma >= 128 * 1000) row[at / 8] |= static_cast<std::uint8_t>(0x80 >> (at % 8));
                             break;
                         }
                         }
                     });
        if (!file.write(row.data(), row.size())) return 0;
    }
    return file.commit() ? 1 : 0;
}
}  // namespace

int write_bmp(const std::string& path, const std::uint8_t* pixels, int width, int height, std::size_t stride,
              int channels, int depth) {
    // The quantizer's tables and the rows live in containers.
    try {
        return write_bmp_file(path, pixels, width, height, stride, channels, depth);
    } catch (const std::bad_alloc&) {
        set_failure(FailureKind::OutOfMemory, path + ": out of memory");
        return 0;
    }
}

const ImageDecoder bmp_decoder{bmp_check, bmp_decode, bmp_close};

}  // namespace tk
