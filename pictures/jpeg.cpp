#include "pictures/jpeg.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

// jpeglib.h needs FILE and size_t declared first.
#include <jerror.h>
#include <jpeglib.h>

#include "pictures/codecs.h"
#include "pictures/files.h"

static_assert(JPEG_LIB_VERSION == 62, "the codecs are written for the libjpeg 6b interface");

namespace tk {

namespace {

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
// Rows of R, G, B bytes, or of grey bytes with one component.
bool jpeg_write_rows(JpegWriter& writer, unsigned char** encoded, unsigned long* size, const std::uint8_t* pixels,
                     int width, int height, std::size_t stride, unsigned flags, int quality, int components) {
    jpeg_compress_struct& cinfo = writer.cinfo;
    set_error_handler(writer.error, reinterpret_cast<j_common_ptr>(&cinfo));
    if (setjmp(writer.error.jump)) return false;
    jpeg_create_compress(&cinfo);
    jpeg_mem_dest(&cinfo, encoded, size);
    cinfo.image_width = static_cast<JDIMENSION>(width);
    cinfo.image_height = static_cast<JDIMENSION>(height);
    cinfo.input_components = components;
    cinfo.in_color_space = components == 1 ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality < 0 ? 0 : quality > 10 ? 100 : 10 * quality, FALSE);
    jpeg_start_compress(&cinfo, TRUE);
    if (const std::vector<std::string>* comments = EncodeComment::current()) {
        for (const std::string& comment : *comments) {
            if (comment.empty() || comment.size() > max_comment_bytes) continue;
            jpeg_write_marker(&cinfo, JPEG_COM, reinterpret_cast<const JOCTET*>(comment.data()),
                              static_cast<unsigned>(comment.size()));
        }
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

// Into memory; false, with the failure recorded against `name`.
bool jpeg_encode_memory(const std::string& name, const std::uint8_t* pixels, int width, int height,
                        std::size_t stride, unsigned flags, int quality, int depth, std::vector<std::uint8_t>& out) {
    if (!pixels || width <= 0 || height <= 0) {
        set_failure(FailureKind::Other, name + ": no picture to save");
        return false;
    }
    JpegWriter writer{};
    unsigned char* encoded = nullptr;
    unsigned long size = 0;
    // Depth 8: one grey byte a pixel, written as a one-component file.
    bool written =
        jpeg_write_rows(writer, &encoded, &size, pixels, width, height, stride, flags, quality, depth == 8 ? 1 : 3);
    if (!written) {
        char message[JMSG_LENGTH_MAX] = "";
        writer.error.manager.format_message(reinterpret_cast<j_common_ptr>(&writer.cinfo), message);
        if (writer.error.manager.msg_code == JERR_OUT_OF_MEMORY) {
            set_failure(FailureKind::OutOfMemory, name + ": out of memory");
        } else {
            set_failure(FailureKind::Other, name + ": the JPEG encoder failed (" + message + ")");
        }
    }
    jpeg_destroy_compress(&writer.cinfo);
    std::unique_ptr<unsigned char, decltype(&std::free)> owned(encoded, &std::free);
    if (!written) return false;
    if (!encoded) {
        set_failure(FailureKind::OutOfMemory, name + ": out of memory");
        return false;
    }
    out.assign(encoded, encoded + size);
    return true;
}

// The whole file is encoded before the file system is touched, then written
// in one go: an encoder failure leaves no trace, and the destination is only
// replaced once the new file is complete.
int jpeg_encode(const std::string& path, const std::uint8_t* pixels, int width, int height, std::size_t stride,
                unsigned flags, int quality, int depth) {
    std::vector<std::uint8_t> encoded;
    if (!jpeg_encode_memory(path, pixels, width, height, stride, flags, quality, depth, encoded)) return 0;
    // The file records its own failures.
    ReplacingFile file(path);
    return file.write(encoded.data(), encoded.size()) && file.commit() ? 1 : 0;
}

}  // namespace

const ImageDecoder jpeg_decoder{jpeg_check, jpeg_decode, jpeg_close};
const ImageEncoder jpeg_encoder{FormatJPEG, jpeg_encode, nullptr};

namespace {
const std::vector<std::string>* encode_comment = nullptr;
}  // namespace
EncodeComment::EncodeComment(const std::vector<std::string>& texts) : previous_(encode_comment) {
    encode_comment = &texts;
}
EncodeComment::~EncodeComment() { encode_comment = previous_; }
const std::vector<std::string>* EncodeComment::current() { return encode_comment; }

}  // namespace tk

std::vector<std::uint8_t> encode_jpeg(const std::uint8_t* pixels, int width, int height, std::size_t stride,
                                      int depth, int quality) {
    std::vector<std::uint8_t> encoded;
    if (!tk::jpeg_encode_memory("JPEG", pixels, width, height, stride, 0, quality, depth, encoded)) encoded.clear();
    return encoded;
}
