#include "input/diagram_pictures.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>

#include "core/diagram_record.h"
#include "core/jpeg_comments.h"
#include "core/text.h"
#include "input/input_source.h"

namespace chess::input {

namespace {

bool has_picture_extension(const std::string& name) {
    const std::string extension = lower_extension(name);
    return extension == ".jpg" || extension == ".jpeg";
}

}  // namespace

ListEntry read_diagram_picture(const std::string& path, const std::string& name) {
    InputSource input;
    std::string error;
    if (!input.open(path, error)) {
        ListEntry entry;
        entry.source = name;
        entry.error = error;
        return entry;
    }
    ListEntry entry = read_diagram_picture(input);
    entry.source = name;
    return entry;
}

ListEntry read_diagram_picture(InputSource& input) {
    ListEntry entry;
    entry.source = input.name();
    // The header is walked each time what is held doubles, until it reaches
    // the first scan: a picture costs its header, not its size.
    JpegComments comments;
    std::size_t tried = 0;
    while (true) {
        const bool more = input.held().size() < picture_head_bytes && input.more();
        const std::string_view held = input.held();
        if (!more || held.size() >= 2 * tried + 64 * 1024) {
            comments = jpeg_comments({reinterpret_cast<const std::uint8_t*>(held.data()), held.size()});
            tried = held.size();
            if (comments.ok || !more) break;
        }
    }
    if (!comments.ok) {
        entry.error = input.at_end() || input.held().size() >= picture_head_bytes ? comments.error
                                                                                  : std::strerror(errno);
        return entry;
    }
    const std::string* found = nullptr;
    for (const std::string& comment : comments.comments) {
        if (!is_diagram_record(comment)) continue;
        if (found) {
            entry.error = "the picture holds two diagram records";
            return entry;
        }
        found = &comment;
    }
    if (!found) {
        entry.error = "the picture holds no diagram record (it was not saved by diagram_editor)";
        return entry;
    }
    const DiagramRecordResult read = read_diagram_record(*found);
    if (!read.ok) {
        entry.error = "damaged diagram record: " + read.error;
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
