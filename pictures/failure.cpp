#include "pictures/failure.h"

#include <sys/stat.h>

#include <cerrno>
#include <cctype>
#include <cstring>
#include <string>
#include <utility>

#include "pictures/internal.h"

namespace {
Failure failure;
}

const Failure& last_failure() { return failure; }

FailureKind failure_kind_of_errno(int error) {
    switch (error) {
        case ENOENT:
        case ENOTDIR:
            return FailureKind::NotFound;
        case EACCES:
        case EPERM:
        case EROFS:
            return FailureKind::NoPermission;
        case ENOSPC:
        case EDQUOT:
        case EFBIG:
            return FailureKind::DiskFull;
        case EISDIR:
            return FailureKind::NotAFile;
        case ENOMEM:
            return FailureKind::OutOfMemory;
        default:
            return FailureKind::Other;
    }
}

namespace tk {
void set_failure(FailureKind kind, std::string text) {
    failure.kind = kind;
    failure.text = std::move(text);
}

void clear_failure() { failure = Failure{}; }

std::string errno_text(int error) {
    switch (error) {
        // The kinds a user meets most, worded for them.
        case ENOENT:
            return "no such file or folder";
        case EACCES:
        case EPERM:
            return "permission denied";
        case ENOSPC:
            return "no space left on the device";
        case EDQUOT:
            return "disk quota exceeded";
        case EFBIG:
            return "file size limit reached";
        default:
            break;
    }
    // strerrordesc_np, unlike strerror, is not translated.
    const char* description = strerrordesc_np(error);
    std::string text = description ? description : "system error " + std::to_string(error);
    if (!text.empty()) text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
    return text;
}

void set_errno_failure(const std::string& path, int error) {
    set_failure(failure_kind_of_errno(error), path + ": " + errno_text(error));
}

std::string not_a_file_text(unsigned mode) {
    return S_ISDIR(mode)                     ? "is a folder, not a file"
           : S_ISFIFO(mode)                  ? "is a FIFO, not a file"
           : S_ISSOCK(mode)                  ? "is a socket, not a file"
           : S_ISCHR(mode) || S_ISBLK(mode) ? "is a device, not a file"
                                             : "is not a plain file";
}

void set_not_a_file_failure(const std::string& path, unsigned mode) {
    set_failure(FailureKind::NotAFile, path + ": " + not_a_file_text(mode));
}
}  // namespace tk
