// Why the last file operation of the toolkit failed: loading, saving or
// copying a picture or file. The operations still answer with their own
// return values; this is what a program shows the user afterwards.
#pragma once

#include <string>

enum class FailureKind {
    None,          // the last operation succeeded
    NotFound,      // the file or its folder does not exist
    NoPermission,  // the user may not read or write it
    DiskFull,      // no space left (or the file size limit was reached)
    NotAPicture,   // the content is no picture of a known format
    Damaged,       // a picture of a known format, but cut off or damaged
    TooLarge,      // larger than the store accepts
    NotAFile,      // a folder, a device or a pipe
    OutOfMemory,
    Other,         // any other system error
};

struct Failure {
    FailureKind kind = FailureKind::None;
    // One line for standard error, in English: the path and the cause.
    std::string text;
};

// The reason of the last failed load, save or copy; kind None after a success.
const Failure& last_failure();

// The kind for an errno value of a failed system call.
FailureKind failure_kind_of_errno(int error);
