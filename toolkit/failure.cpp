#include "toolkit/failure.h"

#include <cerrno>
#include <utility>

namespace {
Failure failure;
}

const Failure& last_failure() { return failure; }

namespace tk {
void set_failure(FailureKind kind, std::string text) {
    failure.kind = kind;
    failure.text = std::move(text);
}

void clear_failure() { failure = Failure{}; }

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
}  // namespace tk
