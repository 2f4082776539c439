#include "pictures/codecs.h"

#include <glib.h>

#include <array>
#include <cstring>
#include <iterator>

#include "pictures/bmp.h"
#include "pictures/codec_internal.h"
#include "pictures/jpeg.h"

namespace tk {

long long load_pixel_limit = max_image_pixels;

std::string size_text(long long width, long long height) {
    return std::to_string(width) + " x " + std::to_string(height) + " pixels";
}

namespace {

// Every codec of the store, in the order the decoders try a file. Which of
// them image_load and image_save use is the program's choice: its
// registration calls switch entries on, codec_init switches all off.
struct Codec {
    const ImageDecoder* decoder;  // null: the codec reads no files
    const ImageEncoder* encoder;  // null: it writes none
};

constexpr Codec codecs[] = {
    {&bmp_decoder, nullptr},  // the BMP writer is image_save's own, always there
    {&jpeg_decoder, &jpeg_encoder},
};
constexpr std::size_t codec_count = std::size(codecs);

std::array<bool, codec_count> decoding{};
std::array<bool, codec_count> encoding{};

// Switches on the entry whose decoder (or encoder) is part; registering it
// again changes nothing.
template <class Part>
int enable(std::array<bool, codec_count>& enabled, const Part* Codec::*member, const Part& part) {
    for (std::size_t i = 0; i < codec_count; ++i) {
        if (codecs[i].*member == &part) {
            enabled[i] = true;
            return 1;
        }
    }
    return 0;
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
    for (std::size_t i = 0; i < codec_count; ++i) {
        if (!decoding[i]) continue;
        const ImageDecoder& decoder = *codecs[i].decoder;
        DecodeState state;
        state.content = content;
        state.pixel_limit = load_pixel_limit;
        if (decoder.check(state)) return decode_taken(decoder, state, picture);
        if (first_refusal.refusal == FailureKind::None && state.refusal != FailureKind::None) {
            first_refusal.refusal = state.refusal;
            first_refusal.reason = std::move(state.reason);
        }
    }
    return refused(first_refusal, picture);
}

const ImageEncoder* find_encoder(FormatTag tag) {
    for (std::size_t i = 0; i < codec_count; ++i) {
        if (encoding[i] && codecs[i].encoder->tag == tag) return codecs[i].encoder;
    }
    return nullptr;
}

}  // namespace tk

void codec_init() {
    tk::decoding.fill(false);
    tk::encoding.fill(false);
}

int register_bmp_decoder() { return tk::enable(tk::decoding, &tk::Codec::decoder, tk::bmp_decoder); }
int register_jpeg_decoder() { return tk::enable(tk::decoding, &tk::Codec::decoder, tk::jpeg_decoder); }
int register_jpeg_encoder() { return tk::enable(tk::encoding, &tk::Codec::encoder, tk::jpeg_encoder); }

int write_jpeg_file(const std::string& path, const std::uint8_t* pixels, int width, int height, std::size_t stride,
                    int quality, const std::string& comment) {
    const std::vector<std::string> comments{comment};
    const tk::EncodeComment written(comments);
    return tk::jpeg_encoder.rgb(path, pixels, width, height, stride, 0, quality, 24);
}

int write_grey_jpeg_file(const std::string& path, const std::uint8_t* pixels, int width, int height,
                         std::size_t stride, int quality) {
    return tk::jpeg_encoder.rgb(path, pixels, width, height, stride, 0, quality, 8);
}
