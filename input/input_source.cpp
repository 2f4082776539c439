#include "input/input_source.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "input/diagram_items.h"

namespace chess::input {

namespace {

// What one read from the input asks for.
constexpr std::size_t chunk_bytes = 64 * 1024;

bool write_all(int fd, const char* bytes, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, bytes, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

int unlinked_temporary_file(std::string& error) {
    const char* tmpdir = std::getenv("TMPDIR");
    const std::string folder = tmpdir && *tmpdir ? tmpdir : "/tmp";
    int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0) return fd;
    // File systems without O_TMPFILE: a named file, unlinked at once.
    std::string pattern = folder + "/diagram_batch-XXXXXX";
    fd = mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0) {
        error = folder + ": " + std::strerror(errno);
        return -1;
    }
    ::unlink(pattern.c_str());
    return fd;
}

InputSource::~InputSource() {
    close_input();
    if (spool_fd_ >= 0) ::close(spool_fd_);
}

InputSource::InputSource(InputSource&& other) noexcept { *this = std::move(other); }

InputSource& InputSource::operator=(InputSource&& other) noexcept {
    if (this == &other) return *this;
    close_input();
    if (spool_fd_ >= 0) ::close(spool_fd_);
    path_ = std::move(other.path_);
    name_ = std::move(other.name_);
    fd_ = std::exchange(other.fd_, -1);
    regular_ = other.regular_;
    eof_ = other.eof_;
    spool_fd_ = std::exchange(other.spool_fd_, -1);
    give_up_fd_ = other.give_up_fd_;
    spooling_ = other.spooling_;
    spooled_ = other.spooled_;
    head_ = std::move(other.head_);
    taken_ = other.taken_;
    return *this;
}

void InputSource::close_input() {
    // Standard input belongs to the process.
    if (fd_ >= 0 && !(path_ == "-" && !spooled_)) ::close(fd_);
    fd_ = -1;
}

bool InputSource::open(const std::string& path, std::string& error) {
    path_ = path;
    const bool standard_input = path == "-";
    name_ = standard_input ? standard_input_name : path;
    fd_ = standard_input ? STDIN_FILENO : ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) {
        error = std::strerror(errno);
        return false;
    }
    struct stat status {};
    regular_ = ::fstat(fd_, &status) == 0 && S_ISREG(status.st_mode);
    return true;
}

ssize_t InputSource::read_input(char* to, std::size_t size) {
    if (eof_) return 0;
    if (give_up_fd_ >= 0 && !regular_) {
        pollfd polled[2] = {{fd_, POLLIN, 0}, {give_up_fd_, POLLIN, 0}};
        while (true) {
            const int ready = ::poll(polled, 2, -1);
            if (ready < 0 && errno == EINTR) continue;
            if (ready > 0 && (polled[1].revents & POLLIN) && !(polled[0].revents & (POLLIN | POLLHUP))) {
                errno = ECANCELED;
                return -1;
            }
            break;
        }
    }
    while (true) {
        const ssize_t got = ::read(fd_, to, size);
        if (got < 0 && errno == EINTR) continue;
        if (got == 0) eof_ = true;
        if (got > 0 && spooling_ && !write_all(spool_fd_, to, static_cast<std::size_t>(got))) return -1;
        return got;
    }
}

bool InputSource::more() {
    if (eof_ || fd_ < 0) return false;
    const std::size_t had = head_.size();
    head_.resize(had + chunk_bytes);
    const ssize_t got = read_input(head_.data() + had, chunk_bytes);
    head_.resize(had + (got > 0 ? static_cast<std::size_t>(got) : 0));
    return got > 0;
}

ssize_t InputSource::read(char* to, std::size_t size) {
    if (taken_ < head_.size()) {
        const std::size_t n = std::min(size, head_.size() - taken_);
        std::memcpy(to, head_.data() + taken_, n);
        taken_ += n;
        if (taken_ == head_.size()) {
            // Read ahead once: the memory goes back.
            head_ = {};
            taken_ = 0;
        }
        return static_cast<ssize_t>(n);
    }
    if (fd_ < 0) {
        errno = EBADF;
        return -1;
    }
    return read_input(to, size);
}

void InputSource::drop() {
    head_ = {};
    taken_ = 0;
    eof_ = true;
}

bool InputSource::spool(std::string& error) {
    spool_fd_ = unlinked_temporary_file(error);
    if (spool_fd_ < 0) return false;
    if (!write_all(spool_fd_, head_.data(), head_.size())) {
        error = std::strerror(errno);
        return false;
    }
    spooling_ = true;
    return true;
}

void InputSource::release() {
    if (regular_ && path_ != "-" && !spooled_) close_input();
}

bool InputSource::rewind(std::string& error) {
    head_ = {};
    taken_ = 0;
    eof_ = false;
    if (spooling_) {
        close_input();
        fd_ = std::exchange(spool_fd_, -1);
        spooling_ = false;
        spooled_ = true;
    } else if (fd_ < 0) {
        fd_ = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd_ < 0) {
            error = std::strerror(errno);
            return false;
        }
    }
    if (::lseek(fd_, 0, SEEK_SET) != 0) {
        error = std::strerror(errno);
        return false;
    }
    return true;
}

InputStreamBuffer::int_type InputStreamBuffer::underflow() {
    if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
    const ssize_t got = input_.read(buffer_.data(), buffer_.size());
    if (got <= 0) {
        if (got < 0) failure_ = errno;
        return traits_type::eof();
    }
    setg(buffer_.data(), buffer_.data(), buffer_.data() + got);
    return traits_type::to_int_type(*gptr());
}

}  // namespace chess::input
