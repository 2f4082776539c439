#include "toolkit/files.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

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
    if (path.empty()) return;
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
