#include "pictures/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdlib>
#include <memory>
#include <new>
#include <vector>

#include "pictures/internal.h"

namespace {
// Appends the '/' that every folder text ends in; the root stays "/".
std::string as_folder(std::string path) {
    if (path.size() > 1 && path.back() != '/') path.push_back('/');
    return path;
}

// A text with a zero byte inside would reach the system cut short, naming
// another file than the one asked for.
bool usable_path(const std::string& path) { return path.find('\0') == std::string::npos; }

constexpr std::size_t copy_chunk = 512000;

struct DescriptorCloser {
    void operator()(const int* fd) const { close(*fd); }
};

// Reads exactly size bytes; false with errno set on an error, or with errno
// 0 when the file ends first.
bool read_fully(int fd, unsigned char* data, std::size_t size) {
    while (size > 0) {
        ssize_t got = read(fd, data, size);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) {
            if (got == 0) errno = 0;
            return false;
        }
        data += got;
        size -= static_cast<std::size_t>(got);
    }
    return true;
}
}  // namespace

std::string current_directory() {
    // getcwd's limit leaves the buffer's last bytes zero, so the text always
    // ends inside it.
    std::array<char, 4098> buffer{};
    if (!getcwd(buffer.data(), 4096)) return std::string();
    buffer[4096] = '\0';
    return as_folder(buffer.data());
}

int set_current_directory(const std::string& path) {
    if (!usable_path(path)) return -1;
    return chdir(path.c_str()) == 0 ? 0 : -1;
}

std::string home_directory() {
    const char* home = std::getenv("HOME");
    if (!home) return std::string();
    return as_folder(home);
}

int copy_file(const std::string& source, const std::string& destination) {
    for (const std::string* path : {&source, &destination}) {
        if (!usable_path(*path)) {
            tk::set_failure(FailureKind::Other, "the file name contains a zero byte");
            return 0;
        }
    }
    // Without O_NONBLOCK a pipe with no writer would block the open; what is
    // no plain file (a pipe, a device, a folder) is refused before a read.
    int fd = open(source.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        tk::set_errno_failure(source, errno);
        return 0;
    }
    std::unique_ptr<int, DescriptorCloser> in(&fd);
    struct stat info;
    if (fstat(fd, &info) != 0) {
        tk::set_errno_failure(source, errno);
        return 0;
    }
    if (!S_ISREG(info.st_mode)) {
        tk::set_not_a_file_failure(source, info.st_mode);
        return 0;
    }
    auto size = static_cast<std::uint64_t>(info.st_size);
    std::size_t buffer_size = size < copy_chunk ? static_cast<std::size_t>(size) : copy_chunk;
    std::unique_ptr<unsigned char[]> buffer(new (std::nothrow) unsigned char[buffer_size > 0 ? buffer_size : 1]);
    if (!buffer) {
        tk::set_failure(FailureKind::OutOfMemory, source + ": out of memory");
        return 0;
    }

    // The copy goes to a temporary file that replaces the destination only
    // once complete: a failed copy leaves no partial file, an existing
    // destination survives it, and a file copied onto itself is not
    // truncated before it is read.
    ReplacingFile out(destination);
    if (!out.stream()) return 0;
    for (std::uint64_t left = size; left > 0;) {
        std::size_t chunk = left < copy_chunk ? static_cast<std::size_t>(left) : copy_chunk;
        if (!read_fully(fd, buffer.get(), chunk)) {
            if (errno == 0) {
                tk::set_failure(FailureKind::Other, source + ": the file became shorter while it was copied");
            } else {
                tk::set_errno_failure(source, errno);
            }
            return 0;
        }
        if (!out.write(buffer.get(), chunk)) return 0;
        left -= chunk;
    }
    if (!out.commit()) return 0;
    tk::clear_failure();
    return 1;
}

std::string unfit_for_a_file(const std::string& path) {
    struct stat info {};
    if (!usable_path(path) || stat(path.c_str(), &info) != 0 || S_ISREG(info.st_mode)) return std::string();
    return tk::not_a_file_text(info.st_mode);
}

std::string number_text(std::int64_t value) {
    // 19 digits and a sign cover every 64-bit value, the lowest included.
    std::array<char, 24> digits;
    auto result = std::to_chars(digits.data(), digits.data() + digits.size(), value);
    return std::string(digits.data(), result.ptr);
}

namespace {
// The mode fopen would have given a new file.
mode_t default_file_mode() {
    mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

// Links deeper than this are a loop, as the system counts them.
constexpr int max_link_depth = 40;

// Follows path through symbolic links to the file it finally names, a link
// relative to the folder it lies in. exists tells whether that file is
// there (info then describes it); a missing one is created, as open would.
// False with errno set when the path cannot be followed.
// Whether the kernel would follow the link for this user: in a sticky
// folder that everyone may write (/tmp), only a link of the user's own or
// of the folder's owner, so that a link planted there by another user
// cannot send a write elsewhere (what fs.protected_symlinks guards).
bool followed_by_kernel(const std::string& path, const struct stat& link) {
    const std::string::size_type slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    struct stat shared {};
    if (stat(folder.c_str(), &shared) != 0) return true;
    const bool sticky_and_open = (shared.st_mode & S_ISVTX) && (shared.st_mode & S_IWOTH);
    return !sticky_and_open || link.st_uid == geteuid() || link.st_uid == shared.st_uid;
}

bool follow_links(std::string& path, struct stat& info, bool& exists, bool& refused) {
    refused = false;
    for (int depth = 0;; ++depth) {
        if (lstat(path.c_str(), &info) != 0) {
            exists = false;
            return errno == ENOENT;
        }
        if (!S_ISLNK(info.st_mode)) {
            exists = true;
            return true;
        }
        if (!followed_by_kernel(path, info)) {
            refused = true;
            errno = EACCES;
            return false;
        }
        if (depth == max_link_depth) {
            errno = ELOOP;
            return false;
        }
        std::vector<char> link(static_cast<std::size_t>(PATH_MAX) + 1);
        ssize_t length = readlink(path.c_str(), link.data(), link.size());
        if (length < 0) return false;
        if (static_cast<std::size_t>(length) >= link.size() || length == 0) {
            errno = length == 0 ? ENOENT : ENAMETOOLONG;
            return false;
        }
        std::string next(link.data(), static_cast<std::size_t>(length));
        if (next.front() != '/') {
            std::string::size_type slash = path.rfind('/');
            if (slash != std::string::npos) next = path.substr(0, slash + 1) + next;
        }
        path = std::move(next);
    }
}
}  // namespace

ReplacingFile::ReplacingFile(const std::string& path) : path_(path), target_(path) {
    if (path.empty()) {
        fail(ENOENT);
        return;
    }
    if (!usable_path(path)) {
        fail(EINVAL);
        return;
    }
    struct stat existing {};
    bool exists = false, refused = false;
    if (!follow_links(target_, existing, exists, refused)) {
        if (refused) {
            failed_ = true;
            tk::set_failure(FailureKind::NoPermission,
                            path_ + ": a link in a shared sticky folder, owned by another user, is not followed");
            return;
        }
        fail(errno);
        return;
    }
    if (exists) {
        if (!S_ISREG(existing.st_mode)) {
            // Renaming over a device or a pipe would replace it with a plain
            // file; a folder cannot take the content either.
            failed_ = true;
            tk::set_not_a_file_failure(path_, existing.st_mode);
            return;
        }
        // The folder's permission would let the rename through: the file's
        // own decides, as it would for opening it to write.
        if (faccessat(AT_FDCWD, target_.c_str(), W_OK, AT_EACCESS) != 0) {
            fail(errno);
            return;
        }
    }
    std::string::size_type slash = target_.rfind('/');
    std::string folder = slash == std::string::npos ? std::string() : target_.substr(0, slash + 1);
    std::string name = slash == std::string::npos ? target_ : target_.substr(slash + 1);
    if (name.empty()) {
        fail(EISDIR);
        return;
    }
    std::vector<char> pattern(folder.begin(), folder.end());
    std::string tail = "." + name + ".XXXXXX";
    pattern.insert(pattern.end(), tail.begin(), tail.end());
    pattern.push_back('\0');
    int fd = mkstemp(pattern.data());
    if (fd < 0) {
        fail(errno);
        return;
    }
    temporary_.assign(pattern.data());
    mode_t mode = default_file_mode();
    if (exists) {
        // The replaced file's owner and group where the user may give them
        // (root, or a group the user is in); group permissions are not handed
        // to another group than the file's.
        if (fchown(fd, existing.st_uid, existing.st_gid) != 0 &&
            fchown(fd, static_cast<uid_t>(-1), existing.st_gid) != 0) {
            // The user's own group then; see below.
        }
        struct stat made {};
        mode = existing.st_mode & 0777;
        if (fstat(fd, &made) != 0 || made.st_gid != existing.st_gid) mode &= ~mode_t{070};
    }
    if (fchmod(fd, mode) != 0 || !(stream_ = fdopen(fd, "wb"))) {
        int error = errno;
        ::close(fd);
        discard();
        fail(error);
    }
}

ReplacingFile::~ReplacingFile() { discard(); }

void ReplacingFile::fail(int error) {
    if (failed_) return;
    failed_ = true;
    tk::set_errno_failure(path_, error != 0 ? error : EIO);
}

bool ReplacingFile::write(const void* data, std::size_t size) {
    if (!stream_ || failed_) return false;
    errno = 0;
    if (size > 0 && std::fwrite(data, 1, size, stream_) != size) fail(errno);
    return !failed_;
}

bool ReplacingFile::close() {
    if (!stream_) return false;
    errno = 0;
    if (!failed_ && (std::fflush(stream_) != 0 || std::ferror(stream_))) fail(errno);
    int closed = std::fclose(stream_);
    stream_ = nullptr;
    if (closed != 0) fail(errno);
    if (failed_) {
        unlink(temporary_.c_str());
        temporary_.clear();
    }
    return !failed_;
}

bool ReplacingFile::commit() {
    if (stream_ && !close()) return false;
    if (temporary_.empty()) return false;
    errno = 0;
    if (std::rename(temporary_.c_str(), target_.c_str()) != 0) fail(errno);
    if (failed_) unlink(temporary_.c_str());
    temporary_.clear();
    return !failed_;
}

void ReplacingFile::discard() {
    if (stream_) {
        std::fclose(stream_);
        stream_ = nullptr;
    }
    if (!temporary_.empty()) {
        unlink(temporary_.c_str());
        temporary_.clear();
    }
}
