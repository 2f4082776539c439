#include "pictures/codecs.h"

#include <glib.h>

#include <algorithm>
#include <array>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <unordered_map>
#include <vector>

// jpeglib.h needs FILE and size_t declared first.
#include <jerror.h>
#include <jpeglib.h>

#include "pictures/files.h"

static_assert(JPEG_LIB_VERSION == 62, "the codecs are written for the libjpeg 6b interface");

namespace tk {

long long load_pixel_limit = max_image_pixels;

namespace {

// ---------------------------------------------------------------------------
// Registry

std::array<const ImageDecoder*, codec_slots> decoders{};
int decoder_count = 0;
std::array<const ImageEncoder*, codec_slots> encoders{};
int encoder_count = 0;

// A codec already present is not added again: a second registration would
// only take a slot.
template <class Codec>
int add_codec(std::array<const Codec*, codec_slots>& table, int& count, const Codec& codec) {
    for (int i = 0; i < count; ++i) {
        if (table[i] == &codec) return 1;
    }
    if (count == codec_slots) return 0;
    table[count++] = &codec;
    return 1;
}

std::size_t loaded_stride(int width) {
    return 3 * static_cast<std::size_t>(width) + static_cast<std::size_t>(width % 4);
}

std::string size_text(long long width, long long height) {
    return std::to_string(width) + " x " + std::to_string(height) + " pixels";
}

// Runs check, decode and close of the decoder that took the content.
bool decode_taken(const ImageDecoder& decoder, DecodeState& state, DecodedPicture& picture) {
    if (!image_size_allowed(state.width, state.height, state.pixel_limit)) {
        decoder.close(state);
        bool empty = state.width <= 0 || state.height <= 0;
        picture.failure = empty ? FailureKind::Damaged : FailureKind::TooLarge;
        picture.reason = empty ? "damaged picture: its header gives a size of " + size_text(state.width, state.height)
                               : "the picture is too large (" + size_text(state.width, state.height) + ")";
        return false;
    }
    std::size_t stride = loaded_stride(state.width);
    std::size_t rows_size = static_cast<std::size_t>(state.height) * stride;
    // Not cleared here: clearing a sheet-sized buffer costs a tenth of its
    // decode. Each decoder fills every row, black where the data gives none.
    auto* pixels = static_cast<std::uint8_t*>(g_try_malloc(rows_size + stride));
    if (pixels) {
        std::memset(pixels + rows_size, 0, stride);  // the spare row
        decoder.decode(state, pixels, stride, 0);
    }
    decoder.close(state);
    if (!pixels) {
        picture.failure = FailureKind::OutOfMemory;
        picture.reason = "out of memory for a picture of " + size_text(state.width, state.height);
        return false;
    }
    picture = DecodedPicture{pixels, state.width, state.height, state.source_depth, stride, FailureKind::None, {}};
    return true;
}

// ---------------------------------------------------------------------------
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

void put_rgb(std::uint8_t* out, std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    out[0] = r;
    out[1] = g;
    out[2] = b;
}

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
// libjpeg glue: fatal errors jump back to the caller's setjmp.
//
// Every libjpeg call runs inside a small function that sets the jump point
// and holds no object with a destructor, so the long jump skips nothing.

struct JpegError {
    jpeg_error_mgr manager;  // first: libjpeg's err pointer is this struct's address
    std::jmp_buf jump;
};

[[noreturn]] void jpeg_error_jump(j_common_ptr cinfo) {
    std::longjmp(reinterpret_cast<JpegError*>(cinfo->err)->jump, 1);
}

void set_error_handler(JpegError& error, j_common_ptr cinfo) {
    cinfo->err = jpeg_std_error(&error.manager);  // warnings still go to standard error
    error.manager.error_exit = jpeg_error_jump;
}

// ---------------------------------------------------------------------------
// JPEG decoder

enum class JpegOutput { Rgb, Cmyk, InvertedCmyk, Grey, FirstThree };

struct JpegData {
    jpeg_decompress_struct cinfo;
    JpegError error;
    jpeg_source_mgr source;
    jpeg_progress_mgr progress;
    JOCTET end_marker[2];
    JSAMPROW row;
    JpegOutput output;
    // Why jpeg_start refused a file it could read, when it did.
    enum class Refusal { None, Size, Scans, WorkingMemory } refusal;
    std::size_t working_memory;  // the coefficients a multi-scan file needs
};

void source_init(j_decompress_ptr) {}
void source_term(j_decompress_ptr) {}

// Asked for more than the file holds: warn and end the image, as libjpeg's
// own file source does.
boolean source_fill(j_decompress_ptr cinfo) {
    auto* data = static_cast<JpegData*>(cinfo->client_data);
    WARNMS(cinfo, JWRN_JPEG_EOF);
    data->end_marker[0] = 0xFF;
    data->end_marker[1] = JPEG_EOI;
    cinfo->src->next_input_byte = data->end_marker;
    cinfo->src->bytes_in_buffer = 2;
    return TRUE;
}

void source_skip(j_decompress_ptr cinfo, long count) {
    if (count <= 0) return;
    jpeg_source_mgr* source = cinfo->src;
    if (static_cast<unsigned long>(count) > source->bytes_in_buffer) {
        source_fill(cinfo);
        return;
    }
    source->next_input_byte += count;
    source->bytes_in_buffer -= static_cast<std::size_t>(count);
}

void scan_limit(j_common_ptr cinfo) {
    if (cinfo->is_decompressor && reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number > max_jpeg_scans) {
        static_cast<JpegData*>(cinfo->client_data)->refusal = JpegData::Refusal::Scans;
        cinfo->err->msg_code = JERR_NOT_COMPILED;  // any code: the message is not shown
        cinfo->err->error_exit(cinfo);
    }
}

// The whole-picture coefficient buffer that a file of several scans needs
// (libjpeg's virtual block arrays, one per component), 0 for a single scan.
std::size_t coefficient_bytes(jpeg_decompress_struct& cinfo) {
    if (!jpeg_has_multiple_scans(&cinfo)) return 0;
    auto round_up = [](std::size_t value, std::size_t step) { return (value + step - 1) / step * step; };
    std::size_t total = 0;
    for (int c = 0; c < cinfo.num_components; ++c) {
        const jpeg_component_info& component = cinfo.comp_info[c];
        std::size_t blocks = round_up(component.width_in_blocks, static_cast<std::size_t>(component.h_samp_factor)) *
                             round_up(component.height_in_blocks, static_cast<std::size_t>(component.v_samp_factor));
        total += blocks * sizeof(JBLOCK);
    }
    return total;
}

bool jpeg_start(JpegData& jpeg, DecodeState& state) {
    jpeg_decompress_struct& cinfo = jpeg.cinfo;
    set_error_handler(jpeg.error, reinterpret_cast<j_common_ptr>(&cinfo));
    if (setjmp(jpeg.error.jump)) return false;
    jpeg_create_decompress(&cinfo);
    cinfo.client_data = &jpeg;
    jpeg.source.init_source = source_init;
    jpeg.source.fill_input_buffer = source_fill;
    jpeg.source.skip_input_data = source_skip;
    jpeg.source.resync_to_restart = jpeg_resync_to_restart;
    jpeg.source.term_source = source_term;
    jpeg.source.next_input_byte = state.content.data();
    jpeg.source.bytes_in_buffer = state.content.size();
    cinfo.src = &jpeg.source;
    jpeg.progress.progress_monitor = scan_limit;
    cinfo.progress = &jpeg.progress;

    if (jpeg_read_header(&cinfo, TRUE) != JPEG_HEADER_OK) return false;
    cinfo.dct_method = JDCT_ISLOW;
    if (cinfo.jpeg_color_space == JCS_GRAYSCALE) cinfo.out_color_space = JCS_RGB;
    jpeg_calc_output_dimensions(&cinfo);
    // Refused before any image-sized memory is taken.
    if (!image_size_allowed(cinfo.output_width, cinfo.output_height, state.pixel_limit)) {
        jpeg.refusal = JpegData::Refusal::Size;
        return false;
    }
    // The decoder's working memory is bounded by the picture's size: the
    // coefficients of a multi-scan file are counted here, and the library's
    // own limit turns any other excess into an error (it has no temporary
    // file to spill to) rather than into memory taken.
    std::size_t allowed = loaded_stride(static_cast<int>(cinfo.output_width)) * (cinfo.output_height + std::size_t{1}) +
                          decoder_memory_margin;
    jpeg.working_memory = coefficient_bytes(cinfo);
    if (jpeg.working_memory > allowed) {
        jpeg.refusal = JpegData::Refusal::WorkingMemory;
        return false;
    }
    cinfo.mem->max_memory_to_use = static_cast<long>(allowed);

    int components = cinfo.output_components;
    if (cinfo.out_color_space == JCS_CMYK && components == 4) {
        // Adobe's writers store the inks inverted and mark the file.
        jpeg.output = cinfo.saw_Adobe_marker ? JpegOutput::InvertedCmyk : JpegOutput::Cmyk;
    } else if (components == 3) {
        jpeg.output = JpegOutput::Rgb;
    } else if (components < 3) {
        jpeg.output = JpegOutput::Grey;
    } else {
        jpeg.output = JpegOutput::FirstThree;
    }
    JDIMENSION row_size = (cinfo.output_width * static_cast<JDIMENSION>(components) + 3) / 4 * 4;
    jpeg.row = (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_PERMANENT, row_size, 1)[0];
    jpeg_start_decompress(&cinfo);
    state.width = static_cast<int>(cinfo.output_width);
    state.height = static_cast<int>(cinfo.output_height);
    state.source_depth = 8 * cinfo.output_components;
    state.depth = 24;
    return true;
}

void jpeg_close(DecodeState& state) {
    auto* jpeg = static_cast<JpegData*>(state.data);
    if (!jpeg) return;
    jpeg_destroy_decompress(&jpeg->cinfo);
    delete jpeg;
    state.data = nullptr;
}

// Why a JPEG file that began as one was refused.
void jpeg_refusal(const JpegData& jpeg, DecodeState& state) {
    const jpeg_decompress_struct& cinfo = jpeg.cinfo;
    int code = jpeg.error.manager.msg_code;
    switch (jpeg.refusal) {
    case JpegData::Refusal::Size:
        state.refusal = FailureKind::TooLarge;
        state.reason = "the picture is too large (" + size_text(cinfo.output_width, cinfo.output_height) + ")";
        return;
    case JpegData::Refusal::Scans:
        state.refusal = FailureKind::TooLarge;
        state.reason = "the JPEG file has too many scans (more than " + std::to_string(max_jpeg_scans) + ")";
        return;
    case JpegData::Refusal::WorkingMemory:
        state.refusal = FailureKind::TooLarge;
        state.reason = "the picture is too large to decode (" + size_text(cinfo.output_width, cinfo.output_height) +
                       " in several scans would need " + std::to_string(jpeg.working_memory >> 20) + " MiB)";
        return;
    case JpegData::Refusal::None:
        break;
    }
    if (code == JERR_OUT_OF_MEMORY) {
        state.refusal = FailureKind::OutOfMemory;
        state.reason = "out of memory";
    } else if (code == JERR_NO_BACKING_STORE) {
        state.refusal = FailureKind::TooLarge;
        state.reason = "the picture is too large to decode (its decoder needs more memory than its size allows)";
    } else {
        char message[JMSG_LENGTH_MAX] = "";
        jpeg.error.manager.format_message(reinterpret_cast<j_common_ptr>(const_cast<jpeg_decompress_struct*>(&cinfo)),
                                          message);
        state.refusal = FailureKind::Damaged;
        state.reason = std::string("damaged JPEG file (") + message + ")";
    }
}

int jpeg_check(DecodeState& state) {
    Bytes file = state.content;
    if (file.size() < 3 || file[0] != 0xFF || file[1] != 0xD8) return 0;
    auto* jpeg = new (std::nothrow) JpegData{};
    if (!jpeg) {
        state.refusal = FailureKind::OutOfMemory;
        state.reason = "out of memory";
        return 0;
    }
    state.data = jpeg;
    if (!jpeg_start(*jpeg, state)) {
        jpeg_refusal(*jpeg, state);
        jpeg_close(state);
        state.width = state.height = state.source_depth = 0;
        return 0;
    }
    return 1;
}

std::uint8_t ink_product(unsigned a, unsigned b) { return static_cast<std::uint8_t>((a * b + 127) / 255); }

void jpeg_convert_row(const JpegData& jpeg, const JSAMPLE* in, std::uint8_t* out, std::size_t width) {
    std::size_t components = static_cast<std::size_t>(jpeg.cinfo.output_components);
    switch (jpeg.output) {
    case JpegOutput::Rgb:  // decoded in place
        break;
    case JpegOutput::Cmyk:
        for (std::size_t x = 0; x < width; ++x, in += 4, out += 3) {
            put_rgb(out, ink_product(255 - in[0], 255 - in[3]), ink_product(255 - in[1], 255 - in[3]),
                    ink_product(255 - in[2], 255 - in[3]));
        }
        break;
    case JpegOutput::InvertedCmyk:
        for (std::size_t x = 0; x < width; ++x, in += 4, out += 3) {
            put_rgb(out, ink_product(in[0], in[3]), ink_product(in[1], in[3]), ink_product(in[2], in[3]));
        }
        break;
    case JpegOutput::Grey:
        for (std::size_t x = 0; x < width; ++x, in += components, out += 3) put_rgb(out, in[0], in[0], in[0]);
        break;
    case JpegOutput::FirstThree:
        for (std::size_t x = 0; x < width; ++x, in += components, out += 3) std::memcpy(out, in, 3);
        break;
    }
}

bool jpeg_read_rows(JpegData& jpeg, std::uint8_t* pixels, std::size_t stride, unsigned flags) {
    jpeg_decompress_struct& cinfo = jpeg.cinfo;
    if (setjmp(jpeg.error.jump)) return false;
    while (cinfo.output_scanline < cinfo.output_height) {
        JDIMENSION line = cinfo.output_scanline;
        JDIMENSION target = (flags & RowsBottomUp) ? cinfo.output_height - 1 - line : line;
        JSAMPROW destination = pixels + target * stride;
        // R, G, B lines go straight into their row (which holds 3 x width
        // bytes); other layouts pass through the row buffer and a conversion.
        bool direct = jpeg.output == JpegOutput::Rgb;
        JSAMPROW row = direct ? destination : jpeg.row;
        if (jpeg_read_scanlines(&cinfo, &row, 1) != 1) return false;
        if (!direct) jpeg_convert_row(jpeg, jpeg.row, destination, cinfo.output_width);
        std::size_t used = 3 * static_cast<std::size_t>(cinfo.output_width);
        std::memset(destination + used, 0, stride - used);
    }
    jpeg_finish_decompress(&cinfo);
    return true;
}

int jpeg_decode(DecodeState& state, std::uint8_t* pixels, std::size_t stride, unsigned flags) {
    auto& jpeg = *static_cast<JpegData*>(state.data);
    if (jpeg_read_rows(jpeg, pixels, stride, flags)) return 1;
    // A fatal error: the line being read and every later one are black.
    for (JDIMENSION line = jpeg.cinfo.output_scanline; line < jpeg.cinfo.output_height; ++line) {
        JDIMENSION target = (flags & RowsBottomUp) ? jpeg.cinfo.output_height - 1 - line : line;
        std::memset(pixels + target * stride, 0, stride);
    }
    return 0;
}

// ---------------------------------------------------------------------------
// JPEG encoder

struct JpegWriter {
    jpeg_compress_struct cinfo;
    JpegError error;
};

// Encodes into memory that libjpeg allocates (*encoded, to be freed with
// std::free, also after a failure).
bool jpeg_write_rows(JpegWriter& writer, unsigned char** encoded, unsigned long* size, const std::uint8_t* pixels,
                     int width, int height, std::size_t stride, unsigned flags, int quality) {
    jpeg_compress_struct& cinfo = writer.cinfo;
    set_error_handler(writer.error, reinterpret_cast<j_common_ptr>(&cinfo));
    if (setjmp(writer.error.jump)) return false;
    jpeg_create_compress(&cinfo);
    jpeg_mem_dest(&cinfo, encoded, size);
    cinfo.image_width = static_cast<JDIMENSION>(width);
    cinfo.image_height = static_cast<JDIMENSION>(height);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality < 0 ? 0 : quality > 10 ? 100 : 10 * quality, FALSE);
    jpeg_start_compress(&cinfo, TRUE);
    if (const std::string* comment = EncodeComment::current(); comment && !comment->empty()) {
        jpeg_write_marker(&cinfo, JPEG_COM, reinterpret_cast<const JOCTET*>(comment->data()),
                          static_cast<unsigned>(comment->size()));
    }
    while (cinfo.next_scanline < cinfo.image_height) {
        JDIMENSION line = cinfo.next_scanline;
        JDIMENSION source = (flags & RowsBottomUp) ? cinfo.image_height - 1 - line : line;
        // libjpeg takes rows as non-const but only reads them.
        JSAMPROW row = const_cast<JSAMPLE*>(pixels + source * stride);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    return true;
}

// The whole file is encoded before the file system is touched, then written
// in one go: an encoder failure leaves no trace, and the destination is only
// replaced once the new file is complete.
int jpeg_encode(const std::string& path, const std::uint8_t* pixels, int width, int height, std::size_t stride,
                unsigned flags, int quality, int) {
    if (!pixels || width <= 0 || height <= 0) {
        set_failure(FailureKind::Other, path + ": no picture to save");
        return 0;
    }
    JpegWriter writer{};
    unsigned char* encoded = nullptr;
    unsigned long size = 0;
    bool written = jpeg_write_rows(writer, &encoded, &size, pixels, width, height, stride, flags, quality);
    if (!written) {
        char message[JMSG_LENGTH_MAX] = "";
        writer.error.manager.format_message(reinterpret_cast<j_common_ptr>(&writer.cinfo), message);
        if (writer.error.manager.msg_code == JERR_OUT_OF_MEMORY) {
            set_failure(FailureKind::OutOfMemory, path + ": out of memory");
        } else {
            set_failure(FailureKind::Other, path + ": the JPEG encoder failed (" + message + ")");
        }
    }
    jpeg_destroy_compress(&writer.cinfo);
    std::unique_ptr<unsigned char, decltype(&std::free)> owned(encoded, &std::free);
    if (!written) return 0;
    if (!encoded) {
        set_failure(FailureKind::OutOfMemory, path + ": out of memory");
        return 0;
    }
    // The file records its own failures.
    ReplacingFile file(path);
    return file.write(encoded, size) && file.commit() ? 1 : 0;
}

// ---------------------------------------------------------------------------
// Colour quantizer of the BMP writer.
//
// A picture with no more distinct colours than the palette holds keeps them
// exactly; otherwise median cut over a 5-5-5 histogram, every colour mapped
// to the nearest palette entry.

using Rgb = std::array<std::uint8_t, 3>;

struct Quantized {
    std::vector<Rgb> palette;
    std::unordered_map<std::uint32_t, std::uint8_t> exact;  // when the colours fit
    std::vector<std::uint8_t> nearest;                     // per 5-5-5 cell otherwise
    std::uint8_t index(const std::uint8_t* rgb) const {
        if (nearest.empty()) return exact.at(static_cast<std::uint32_t>(rgb[0] << 16 | rgb[1] << 8 | rgb[2]));
        return nearest[cell(rgb)];
    }
    static unsigned cell(const std::uint8_t* rgb) { return (rgb[0] >> 3) << 10 | (rgb[1] >> 3) << 5 | rgb[2] >> 3; }
};

// Visits every pixel of the picture as R, G, B composited over white.
template <class F>
void for_each_rgb(const std::uint8_t* pixels, int width, int height, std::size_t stride, int channels, F f) {
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* in = pixels + static_cast<std::size_t>(y) * stride;
        for (int x = 0; x < width; ++x, in += channels) {
            if (channels == 4) {
                std::uint8_t rgb[3] = {over_white(in[0], in[3]), over_white(in[1], in[3]), over_white(in[2], in[3])};
                f(x, y, rgb);
            } else {
                f(x, y, in);
            }
        }
    }
}

struct ColourBox {
    std::array<int, 3> low, high;  // inclusive cell bounds per channel
    std::uint64_t count;
};

void median_cut(Quantized& q, const std::vector<std::uint64_t>& counts,
                const std::vector<std::array<std::uint64_t, 3>>& sums, std::size_t colours) {
    auto at = [](int r, int g, int b) { return static_cast<std::size_t>(r << 10 | g << 5 | b); };
    // Shrinks a box to the cells it populates and counts them.
    auto fit = [&](ColourBox& box) {
        std::array<int, 3> low{31, 31, 31}, high{0, 0, 0};
        box.count = 0;
        for (int r = box.low[0]; r <= box.high[0]; ++r)
            for (int g = box.low[1]; g <= box.high[1]; ++g)
                for (int b = box.low[2]; b <= box.high[2]; ++b) {
                    std::uint64_t n = counts[at(r, g, b)];
                    if (!n) continue;
                    box.count += n;
                    int c[3] = {r, g, b};
                    for (int k = 0; k < 3; ++k) {
                        low[k] = std::min(low[k], c[k]);
                        high[k] = std::max(high[k], c[k]);
                    }
                }
        if (box.count) {
            box.low = low;
            box.high = high;
        }
    };
    std::vector<ColourBox> boxes{{{0, 0, 0}, {31, 31, 31}, 0}};
    fit(boxes[0]);
    while (boxes.size() < colours) {
        // The most populous box that still spans more than one cell.
        ColourBox* widest = nullptr;
        for (auto& box : boxes) {
            bool splittable = box.low != box.high;
            if (splittable && (!widest || box.count > widest->count)) widest = &box;
        }
        if (!widest) break;
        int axis = 0;
        for (int k = 1; k < 3; ++k) {
            if (widest->high[k] - widest->low[k] > widest->high[axis] - widest->low[axis]) axis = k;
        }
        // Split at the median of the population along that axis.
        std::array<std::uint64_t, 32> slice{};
        for (int r = widest->low[0]; r <= widest->high[0]; ++r)
            for (int g = widest->low[1]; g <= widest->high[1]; ++g)
                for (int b = widest->low[2]; b <= widest->high[2]; ++b) {
                    int c[3] = {r, g, b};
                    slice[c[axis]] += counts[at(r, g, b)];
                }
        std::uint64_t half = widest->count / 2, seen = 0;
        int cut = widest->low[axis];
        for (; cut < widest->high[axis] - 1; ++cut) {
            seen += slice[cut];
            if (seen >= half) break;
        }
        ColourBox upper = *widest;
        widest->high[axis] = cut;
        upper.low[axis] = cut + 1;
        fit(*widest);
        fit(upper);
        boxes.push_back(upper);
    }
    for (const auto& box : boxes) {
        std::array<std::uint64_t, 3> total{};
        for (int r = box.low[0]; r <= box.high[0]; ++r)
            for (int g = box.low[1]; g <= box.high[1]; ++g)
                for (int b = box.low[2]; b <= box.high[2]; ++b) {
                    for (int k = 0; k < 3; ++k) total[k] += sums[at(r, g, b)][k];
                }
        std::uint64_t n = std::max<std::uint64_t>(box.count, 1);
        q.palette.push_back({static_cast<std::uint8_t>((total[0] + n / 2) / n),
                             static_cast<std::uint8_t>((total[1] + n / 2) / n),
                             static_cast<std::uint8_t>((total[2] + n / 2) / n)});
    }
    q.nearest.assign(32768, 0);
    for (std::size_t c = 0; c < counts.size(); ++c) {
        if (!counts[c]) continue;
        int centre[3] = {static_cast<int>(c >> 10 << 3 | 4), static_cast<int>((c >> 5 & 31) << 3 | 4),
                         static_cast<int>((c & 31) << 3 | 4)};
        int best = 0, best_distance = 1 << 30;
        for (std::size_t i = 0; i < q.palette.size(); ++i) {
            int distance = 0;
            for (int k = 0; k < 3; ++k) {
                int d = centre[k] - q.palette[i][k];
                distance += d * d;
            }
            if (distance < best_distance) {
                best_distance = distance;
                best = static_cast<int>(i);
            }
        }
        q.nearest[c] = static_cast<std::uint8_t>(best);
    }
}

Quantized quantize(const std::uint8_t* pixels, int width, int height, std::size_t stride, int channels,
                   std::size_t colours) {
    Quantized q;
    bool fits = true;
    for_each_rgb(pixels, width, height, stride, channels, [&](int, int, const std::uint8_t* rgb) {
        if (!fits) return;
        auto key = static_cast<std::uint32_t>(rgb[0] << 16 | rgb[1] << 8 | rgb[2]);
        if (q.exact.count(key)) return;
        if (q.exact.size() == colours) {
            fits = false;
            return;
        }
        q.exact.emplace(key, static_cast<std::uint8_t>(q.palette.size()));
        q.palette.push_back({rgb[0], rgb[1], rgb[2]});
    });
    if (fits) return q;
    q.exact.clear();
    q.palette.clear();
    std::vector<std::uint64_t> counts(32768);
    std::vector<std::array<std::uint64_t, 3>> sums(32768);
    for_each_rgb(pixels, width, height, stride, channels, [&](int, int, const std::uint8_t* rgb) {
        unsigned c = Quantized::cell(rgb);
        ++counts[c];
        for (int k = 0; k < 3; ++k) sums[c][k] += rgb[k];
    });
    median_cut(q, counts, sums, colours);
    return q;
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

}  // namespace

namespace {
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
const ImageDecoder jpeg_decoder{jpeg_check, jpeg_decode, jpeg_close};
const ImageEncoder jpeg_encoder{FormatJPEG, jpeg_encode, nullptr};

namespace {
const std::string* encode_comment = nullptr;
}  // namespace
EncodeComment::EncodeComment(const std::string& text) : previous_(encode_comment) {
    encode_comment = text.size() <= max_comment_bytes ? &text : nullptr;
}
EncodeComment::~EncodeComment() { encode_comment = previous_; }
const std::string* EncodeComment::current() { return encode_comment; }

namespace {
// Why no decoder took the content: the first that knew its format says.
bool refused(const DecodeState& state, DecodedPicture& picture) {
    if (state.refusal != FailureKind::None) {
        picture.failure = state.refusal;
        picture.reason = state.reason;
    } else {
        picture.failure = FailureKind::NotAPicture;
        picture.reason = state.content.empty() ? "the file is empty" : "not a picture of a known format";
    }
    return false;
}
}  // namespace

bool decode_picture(const ImageDecoder& decoder, Bytes content, DecodedPicture& picture, long long pixel_limit) {
    DecodeState state;
    state.content = content;
    state.pixel_limit = pixel_limit;
    if (!decoder.check(state)) return refused(state, picture);
    return decode_taken(decoder, state, picture);
}

bool decode_picture(Bytes content, DecodedPicture& picture) {
    DecodeState first_refusal;
    first_refusal.content = content;
    for (int i = 0; i < decoder_count; ++i) {
        DecodeState state;
        state.content = content;
        state.pixel_limit = load_pixel_limit;
        if (decoders[i]->check(state)) return decode_taken(*decoders[i], state, picture);
        if (first_refusal.refusal == FailureKind::None && state.refusal != FailureKind::None) {
            first_refusal.refusal = state.refusal;
            first_refusal.reason = std::move(state.reason);
        }
    }
    return refused(first_refusal, picture);
}

const ImageEncoder* find_encoder(FormatTag tag) {
    for (int i = 0; i < encoder_count; ++i) {
        if (encoders[i]->tag == tag) return encoders[i];
    }
    return nullptr;
}

}  // namespace tk

void codec_init() {
    tk::decoder_count = 0;
    tk::encoder_count = 0;
}

int register_bmp_decoder() { return tk::add_codec(tk::decoders, tk::decoder_count, tk::bmp_decoder); }
int register_jpeg_decoder() { return tk::add_codec(tk::decoders, tk::decoder_count, tk::jpeg_decoder); }
int register_jpeg_encoder() { return tk::add_codec(tk::encoders, tk::encoder_count, tk::jpeg_encoder); }
