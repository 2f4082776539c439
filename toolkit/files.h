// Folders, file copies, numbers as text.
#pragma once

#include <cstdio>
#include <string>

#include "toolkit/objects.h"

std::string current_directory();
int set_current_directory(const std::string& path);
std::string home_directory();
int copy_file(const std::string& source, const std::string& destination);
std::string number_text(std::int64_t value);

namespace tk {
// Writes a file so that the target is replaced only when the new content is
// complete: the data goes into a temporary file in the target's folder, which
// commit() renames over the target. Dropped without commit(), or after any
// failure, the temporary file is removed and the target left as it was.
class ReplacingFile {
public:
    explicit ReplacingFile(const std::string& path);
    ~ReplacingFile();
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    // Null when the temporary file could not be created.
    std::FILE* stream() const { return stream_; }
    bool write(const void* data, std::size_t size);
    // Flushes, closes and renames; false (and nothing replaced) on any error,
    // including an earlier failed write on the stream.
    bool commit();

private:
    void discard();
    std::string path_;
    std::string temporary_;
    std::FILE* stream_ = nullptr;
    bool failed_ = false;
};
}  // namespace tk
