// The comment segments (COM) of a JPEG file, read without decoding it: the
// markers from SOI up to the first scan (SOS) are walked, every other
// segment skipped by its length. Bounded on hostile input: at most
// max_jpeg_segments segments are visited, a segment's length must lie inside
// the file, and only COM payloads are kept (each at most 65533 bytes).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

namespace chess {

constexpr int max_jpeg_segments = 4096;

struct JpegComments {
    bool ok = false;
    // Every COM payload before the first scan, in file order.
    std::vector<std::string> comments;
    // When !ok: why the header cannot be walked ("not a JPEG file", "a
    // segment's length runs past the end of the file at byte 1234").
    std::string error;
};

// From the bytes of a whole file, or of its beginning at least up to SOS.
JpegComments jpeg_comments(std::span<const std::uint8_t> bytes);
// From an open file, read from its current position with skips over the
// segments that are not comments: a large picture costs no more than its
// header.
JpegComments jpeg_comments(std::FILE* file);
// From a file by path; a file that cannot be opened gives the system's
// reason.
JpegComments jpeg_file_comments(const std::string& path);

}  // namespace chess
