#include "toolkit/files.h"

#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <memory>
#include <new>
#include <vector>

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

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
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
    if (!usable_path(source) || !usable_path(destination)) return 0;
    std::unique_ptr<std::FILE, FileCloser> in(std::fopen(source.c_str(), "rb"));
    if (!in) return 0;
    struct stat info;
    // A folder opens for reading but has no content to copy.
    if (fstat(fileno(in.get()), &info) != 0 || S_ISDIR(info.st_mode) || info.st_size < 0) return 0;
    auto size = static_cast<std::uint64_t>(info.st_size);
    std::size_t buffer_size = size < copy_chunk ? static_cast<std::size_t>(size) : copy_chunk;
    std::unique_ptr<unsigned char[]> buffer(new (std::nothrow) unsigned char[buffer_size > 0 ? buffer_size : 1]);
    if (!buffer) return 0;

    // The copy goes to a temporary file that replaces the destination only
    // once complete: a failed copy leaves no partial file, an existing
    // destination survives it, and a file copied onto itself is not
    // truncated before it is read.
    tk::ReplacingFile out(destination);
    if (!out.stream()) return 0;
    for (std::uint64_t left = size; left > 0;) {
        std::size_t chunk = left < copy_chunk ? static_cast<std::size_t>(left) : copy_chunk;
        if (std::fread(buffer.get(), 1, chunk, in.get()) != chunk) return 0;
        if (!out.write(buffer.get(), chunk)) return 0;
        left -= chunk;
    }
    return out.commit() ? 1 : 0;
}

std::string number_text(std::int64_t value) {
    // 19 digits and a sign cover every 64-bit value, the lowest included.
    std::array<char, 24> digits;
    auto result = std::to_chars(digits.data(), digits.data() + digits.size(), value);
    return std::string(digits.data(), result.ptr);
}

namespace tk {

namespace {
// The mode fopen would have given a new file.
mode_t default_file_mode() {
    mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}
}  // namespace

ReplacingFile::ReplacingFile(const std::string& path) : path_(path) {
    if (path.empty() || !usable_path(path)) return;
    std::string::size_type slash = path.rfind('/');
    std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (name.empty()) return;
    std::vector<char> pattern(folder.begin(), folder.end());
    std::string tail = "." + name + ".XXXXXX";
    pattern.insert(pattern.end(), tail.begin(), tail.end());
    pattern.push_back('\0');
    int fd = mkstemp(pattern.data());
    if (fd < 0) return;
    temporary_.assign(pattern.data());
    if (fchmod(fd, default_file_mode()) != 0 || !(stream_ = fdopen(fd, "wb"))) {
        close(fd);
        unlink(temporary_.c_str());
        temporary_.clear();
    }
}

ReplacingFile::~ReplacingFile() { discard(); }

bool ReplacingFile::write(const void* data, std::size_t size) {
    if (!stream_ || failed_) return false;
    if (size > 0 && std::fwrite(data, 1, size, stream_) != size) failed_ = true;
    return !failed_;
}

bool ReplacingFile::commit() {
    if (!stream_) return false;
    bool ok = !failed_ && std::fflush(stream_) == 0 && !std::ferror(stream_);
    int closed = std::fclose(stream_);
    stream_ = nullptr;
    ok = ok && closed == 0 && std::rename(temporary_.c_str(), path_.c_str()) == 0;
    if (!ok) {
        unlink(temporary_.c_str());
    }
    temporary_.clear();
    return ok;
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

}  // namespace tk
