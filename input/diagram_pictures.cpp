#include "input/diagram_pictures.h"

#include <algorithm>
#include <filesystem>

#include "core/diagram_record.h"
#include "core/text.h"

namespace chess::input {

namespace {

bool has_picture_extension(const std::string& name) {
    const std::string extension = lower_extension(name);
    return extension == ".jpg" || extension == ".jpeg";
}

}  // namespace

ListEntry read_diagram_picture(const std::string& path, const std::string& name) {
    ListEntry entry;
    entry.source = name;
    const DiagramRecordResult read = chess::read_diagram_picture(path);
    if (!read.ok) {
        entry.error = read.error;
        return entry;
    }
    entry.ok = true;
    entry.position = read.record.position;
    // Line breaks in a caption become blanks: the caption is one line.
    entry.caption = valid_utf8(read.record.caption, Controls::Blank);
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

}  // namespace chess::input
