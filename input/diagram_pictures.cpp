#include "input/diagram_pictures.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "core/diagram_record.h"

namespace batch {

namespace {

bool has_picture_extension(const std::string& name) {
    const std::size_t dot = name.find_last_of("./");
    if (dot == std::string::npos || name[dot] != '.') return false;
    std::string extension = name.substr(dot);
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return extension == ".jpg" || extension == ".jpeg";
}

}  // namespace

bool is_diagram_picture(const std::string& path) {
    if (has_picture_extension(path)) return true;
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
    unsigned char head[2] = {};
    return file && std::fread(head, 1, 2, file.get()) == 2 && head[0] == 0xFF && head[1] == 0xD8;
}

ListEntry read_diagram_picture(const std::string& path, const std::string& name) {
    ListEntry entry;
    entry.source = name;
    const chess::DiagramRecordResult read = chess::read_diagram_picture(path);
    if (!read.ok) {
        entry.error = read.error;
        return entry;
    }
    entry.ok = true;
    entry.position = read.record.position;
    // Line breaks in a caption become blanks: the caption is one line.
    entry.caption = valid_utf8(read.record.caption);
    return entry;
}

bool diagram_pictures_in(const std::string& folder, std::vector<std::string>& paths, std::string& error) {
    namespace fs = std::filesystem;
    std::error_code failed;
    std::vector<std::string> found;
    for (fs::directory_iterator it(folder, failed), end; !failed && it != end; it.increment(failed)) {
        std::error_code ignored;
        if (it->is_regular_file(ignored) && has_picture_extension(it->path().filename().string()))
            found.push_back(it->path().string());
    }
    if (failed) {
        error = folder + ": " + failed.message();
        return false;
    }
    std::sort(found.begin(), found.end());
    paths.insert(paths.end(), found.begin(), found.end());
    return true;
}

}  // namespace batch
