// Internal to the picture store: what the codec table and each codec share.
// A codec is a file pair (bmp, jpeg) giving ImageDecoder and ImageEncoder
// entries; codecs.cpp lists them in one fixed table.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "pictures/codecs.h"
#include "pictures/failure.h"
#include "pictures/images.h"
#include "pictures/internal.h"

namespace tk {

// A file's whole content: every decoder works on the bytes in memory, so the
// loader and the fuzzers run the same code.
using Bytes = std::span<const std::uint8_t>;

// Flag of decode and encode: rows bottom-up instead of top-down.
constexpr unsigned RowsBottomUp = 1u << 2;

// The decoder's own working memory may exceed the size of the picture it
// decodes by at most this much. A JPEG of several scans (progressive, or one
// component per scan) keeps all its coefficients until the last scan: two
// bytes per sample of every component, up to eight bytes a pixel against the
// picture's three, so a file of a few hundred bytes whose header claims the
// largest picture would take a gigabyte before its first row. Such a file is
// refused. Grey and subsampled colour files stay inside at every allowed
// size, full-resolution colour up to some six million pixels.
constexpr std::size_t decoder_memory_margin = std::size_t{32} << 20;

// One load in progress: filled in by a decoder's check, read by its decode.
struct DecodeState {
    Bytes content;
    long long pixel_limit = max_image_pixels;  // a decoder refuses larger pictures
    int width = 0;
    int height = 0;
    int depth = 24;  // of the decoded pixels
    int source_depth = 0;
    void* data = nullptr;  // the decoder's own
    // Set by a check that recognised its format but will not take the
    // content (damaged, too large): the kind and the cause in English.
    FailureKind refusal = FailureKind::None;
    std::string reason;
};

struct ImageDecoder {
    // Is this content the decoder's format? Then 1, with width, height and
    // source depth set; else 0, with nothing held.
    int (*check)(DecodeState& state);
    // Fills height rows of stride bytes (R, G, B pixels, bottom-up with
    // RowsBottomUp), black wherever the data gives no pixel; 1, or 0 when
    // the data is damaged.
    int (*decode)(DecodeState& state, std::uint8_t* pixels, std::size_t stride, unsigned flags);
    // Releases what check took.
    void (*close)(DecodeState& state);
};

// Writes width x height R, G, B rows to path; 1 on success. A failure never
// leaves a partial file or touches an existing one.
using EncodeEntry = int (*)(const std::string& path, const std::uint8_t* pixels, int width, int height,
                            std::size_t stride, unsigned flags, int quality, int depth);

struct ImageEncoder {
    FormatTag tag;
    EncodeEntry rgb;
    EncodeEntry rgba;  // null: the caller composites RGBA over white first
};

// The comments the JPEG encoder writes (a COM segment each, after its JFIF
// header) while one of these is alive: image_save passes the image's
// comments this way.
constexpr std::size_t max_comment_bytes = 65533;
class EncodeComment {
public:
    explicit EncodeComment(const std::vector<std::string>& texts);
    ~EncodeComment();
    EncodeComment(const EncodeComment&) = delete;
    EncodeComment& operator=(const EncodeComment&) = delete;
    static const std::vector<std::string>* current();

private:
    const std::vector<std::string>* previous_;
};

// A decoded picture: R, G, B rows top-down, stride 3 x width + width mod 4,
// one spare row below the last, from g_malloc and owned by the caller. Rows
// that damaged data left undecoded are black.
struct DecodedPicture {
    std::uint8_t* pixels = nullptr;
    int width = 0;
    int height = 0;
    int source_depth = 0;
    std::size_t stride = 0;
    // After a failed decode_picture: why, and the cause in English.
    FailureKind failure = FailureKind::None;
    std::string reason;
};

// Pictures larger than this fail to load; the fuzzers lower it so that every
// input stays quick.
extern long long load_pixel_limit;

// Decodes with the enabled decoders in the table's order: the first whose
// check accepts the content takes it. False when none does (NotAPicture, or
// Damaged, TooLarge or OutOfMemory when a decoder knew its format), when the
// size is not allowed or memory runs out; picture.failure and picture.reason
// tell. The result of decode is not consulted: a file damaged after its
// header still yields a picture of the header's size.
bool decode_picture(Bytes content, DecodedPicture& picture);
// The same with one given decoder.
bool decode_picture(const ImageDecoder& decoder, Bytes content, DecodedPicture& picture,
                    long long pixel_limit = max_image_pixels);

// The first enabled encoder for tag, or null.
const ImageEncoder* find_encoder(FormatTag tag);

// The stride of a decoded picture's rows (see DecodedPicture).
inline std::size_t loaded_stride(int width) {
    return 3 * static_cast<std::size_t>(width) + static_cast<std::size_t>(width % 4);
}

// "W x H pixels", for the reasons of refusals.
std::string size_text(long long width, long long height);

inline void put_rgb(std::uint8_t* out, std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    out[0] = r;
    out[1] = g;
    out[2] = b;
}

// Composites one RGBA channel value over white.
inline std::uint8_t over_white(unsigned value, unsigned alpha) {
    return static_cast<std::uint8_t>((value * alpha + 255 * (255 - alpha)) / 255);
}

}  // namespace tk
