// Folders, file copies, numbers as text.
#pragma once

#include <cstdio>
#include <string>

#include "pictures/object_table.h"

// Folders end in '/' (the root folder is the single '/'); "" on failure.
// Paths reach the system calls as the bytes of their UTF-8 text.
std::string current_directory();
// The result of chdir: 0, or -1 with the working folder unchanged.
int set_current_directory(const std::string& path);
// HOME with a '/' appended; "" when HOME is not set.
std::string home_directory();
// 1 only when every byte of the source was read and written and the
// destination replaced; otherwise 0 and the destination as it was before.
int copy_file(const std::string& source, const std::string& destination);
// Why no file can be written at path: "is a FIFO, not a file" for what is
// there and is no plain file (its links followed: a folder, a device, a
// FIFO or a socket); "" for a plain file or nothing. Asked before opening,
// as opening a FIFO to write waits for a reader.
std::string unfit_for_a_file(const std::string& path);
// Decimal digits, '-' first for negative values.
std::string number_text(std::int64_t value);

// Writes a file so that the target is replaced only when the new content is
// complete: the data goes into a temporary file beside the target, which
// commit() renames over it. Dropped without commit(), or after any failure,
// the temporary file is removed and the target left as it was.
//
// Replacing behaves as writing into the target would: a target the user may
// not write is refused, and one that is no plain file (a folder, a device, a
// pipe) as well; a symbolic link (or a chain of them) stays a link and its
// final target receives the content, where the kernel would follow the
// link for this user (in a sticky folder that everyone may write, only a
// link of the user's own or of the folder's owner); a replaced file keeps its permission
// bits, and its owner and group where the user may give them.
//
// Every failure is recorded for last_failure(), naming the path as given.
class ReplacingFile {
public:
    explicit ReplacingFile(const std::string& path);
    ~ReplacingFile();
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    // Null when the target is refused or the temporary file could not be
    // created.
    std::FILE* stream() const { return stream_; }
    bool write(const void* data, std::size_t size);
    // Flushes and closes the temporary file, which waits for commit(): the
    // files of one output can be made one by one, holding no descriptor
    // each, and put in place together. False (the file dropped) on any error.
    bool close();
    // Flushes, closes (unless close() did) and renames; false (and nothing replaced) on any error,
    // including an earlier failed write on the stream.
    bool commit();

private:
    void fail(int error);
    void discard();
    std::string path_;       // as given, for the failure record
    std::string target_;     // path_ with its symbolic links followed
    std::string temporary_;
    std::FILE* stream_ = nullptr;
    bool failed_ = false;
};
