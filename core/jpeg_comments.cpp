#include "core/jpeg_comments.h"

#include <cerrno>
#include <cstring>
#include <memory>

namespace chess {

namespace {

constexpr std::uint8_t marker_soi = 0xD8;
constexpr std::uint8_t marker_eoi = 0xD9;
constexpr std::uint8_t marker_sos = 0xDA;
constexpr std::uint8_t marker_com = 0xFE;
constexpr std::uint8_t marker_tem = 0x01;

// The two ways in: bytes in memory, or a file read as far as needed.
class Source {
public:
    virtual ~Source() = default;
    // Reads exactly n bytes; false at the end of the input.
    virtual bool read(std::uint8_t* into, std::size_t n) = 0;
    // Skips exactly n bytes; false when the input is shorter.
    virtual bool skip(std::size_t n) = 0;
    virtual long long offset() const = 0;
};

class MemorySource : public Source {
public:
    explicit MemorySource(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
    bool read(std::uint8_t* into, std::size_t n) override {
        if (bytes_.size() - at_ < n) return false;
        std::memcpy(into, bytes_.data() + at_, n);
        at_ += n;
        return true;
    }
    bool skip(std::size_t n) override {
        if (bytes_.size() - at_ < n) return false;
        at_ += n;
        return true;
    }
    long long offset() const override { return static_cast<long long>(at_); }

private:
    std::span<const std::uint8_t> bytes_;
    std::size_t at_ = 0;
};

class FileSource : public Source {
public:
    explicit FileSource(std::FILE* file) : file_(file) {}
    bool read(std::uint8_t* into, std::size_t n) override {
        const std::size_t got = std::fread(into, 1, n, file_);
        at_ += static_cast<long long>(got);
        return got == n;
    }
    bool skip(std::size_t n) override {
        // A seek beyond the end succeeds; the length check needs a read.
        if (n == 0) return true;
        if (std::fseek(file_, static_cast<long>(n - 1), SEEK_CUR) != 0) return false;
        std::uint8_t last;
        at_ += static_cast<long long>(n - 1);
        return read(&last, 1);
    }
    long long offset() const override { return at_; }

private:
    std::FILE* file_;
    long long at_ = 0;
};

JpegComments failed(std::string error) {
    JpegComments r;
    r.error = std::move(error);
    return r;
}

JpegComments walk(Source& in) {
    std::uint8_t head[2];
    if (!in.read(head, 2) || head[0] != 0xFF || head[1] != marker_soi) return failed("not a JPEG file");
    JpegComments result;
    for (int segments = 0; segments < max_jpeg_segments; ++segments) {
        std::uint8_t byte;
        if (!in.read(&byte, 1)) return failed("the file ends before its first scan");
        if (byte != 0xFF) {
            return failed("no marker at byte " + std::to_string(in.offset() - 1) + " where one should start");
        }
        // Any number of fill bytes 0xFF may precede a marker; they are
        // bounded by the file, and each costs a turn of the segment count.
        do {
            if (!in.read(&byte, 1)) return failed("the file ends before its first scan");
        } while (byte == 0xFF && ++segments < max_jpeg_segments);
        if (byte == 0xFF) break;
        if (byte == marker_sos || byte == marker_eoi) {
            result.ok = true;
            return result;
        }
        // Markers without a segment.
        if (byte == marker_tem || (byte >= 0xD0 && byte <= 0xD7)) continue;
        if (byte == 0x00 || byte == marker_soi) {
            return failed("a stray marker at byte " + std::to_string(in.offset() - 2));
        }
        std::uint8_t length_bytes[2];
        if (!in.read(length_bytes, 2)) return failed("the file ends inside a segment's length");
        const std::size_t length = static_cast<std::size_t>(length_bytes[0]) << 8 | length_bytes[1];
        if (length < 2) return failed("a segment's length is less than 2 at byte " + std::to_string(in.offset() - 2));
        const std::size_t payload = length - 2;
        if (byte == marker_com) {
            std::string text(payload, '\0');
            if (!in.read(reinterpret_cast<std::uint8_t*>(text.data()), payload)) {
                return failed("a comment runs past the end of the file");
            }
            result.comments.push_back(std::move(text));
        } else if (!in.skip(payload)) {
            return failed("a segment runs past the end of the file at byte " + std::to_string(in.offset()));
        }
    }
    return failed("more than " + std::to_string(max_jpeg_segments) + " segments before the first scan");
}

}  // namespace

JpegComments jpeg_comments(std::span<const std::uint8_t> bytes) {
    MemorySource source(bytes);
    return walk(source);
}

JpegComments jpeg_comments(std::FILE* file) {
    FileSource source(file);
    return walk(source);
}

JpegComments jpeg_file_comments(const std::string& path) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
    if (!file) return failed(std::strerror(errno));
    return jpeg_comments(file.get());
}

}  // namespace chess
