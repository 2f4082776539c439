#include "batch/output_checks.h"

#include <sys/stat.h>

#include <filesystem>
#include <vector>

#include "core/text.h"
#include "input/diagram_pictures.h"
#include "pictures/files.h"

namespace batch {

namespace {

namespace fs = std::filesystem;

// The input files of the command line: a folder stands for its pictures.
std::vector<std::string> input_files(const Options& options) {
    std::vector<std::string> files;
    for (const std::string& path : options.inputs) {
        std::error_code ignored;
        if (path == "-") continue;
        if (!fs::is_directory(path, ignored)) {
            files.push_back(path);
            continue;
        }
        // A folder that cannot be read is told when it is read.
        std::string unread;
        chess::input::diagram_pictures_in(path, files, unread);
    }
    return files;
}

bool named_as_written(const fs::path& file, Format format) {
    return chess::lower_extension(file.string()) == std::string(".") + extension_of(format);
}

// The folder a file lies in, as its path names it.
std::string folder_of(const fs::path& file) {
    return file.has_parent_path() ? file.parent_path().string() : std::string(".");
}

}  // namespace

bool same_file(const std::string& a, const std::string& b) {
    struct stat sa {}, sb {};
    return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

void refuse_replacing_inputs(const Options& options, const Plan& plan) {
    if (!plan.folder) {
        for (const std::string& input : input_files(options)) {
            if (same_file(plan.path, input)) {
                fail("the output " + plan.path + " is the input " + input + ": write to another file");
            }
        }
        return;
    }
    for (const std::string& input : options.inputs) {
        if (input != "-" && same_file(plan.path, input)) {
            fail("the output folder " + plan.path + " is the input " + input + ": name another folder");
        }
    }
    // A file of the folder by its own name, or a link there to it, would be
    // replaced by a diagram of the same name.
    for (const std::string& input : input_files(options)) {
        std::error_code unresolved;
        const fs::path given(input), real = fs::canonical(given, unresolved);
        const bool here = (named_as_written(given, plan.format) && same_file(folder_of(given), plan.path)) ||
                          (!unresolved && named_as_written(real, plan.format) &&
                           same_file(folder_of(real), plan.path));
        if (here) {
            fail("the output folder " + plan.path + " holds the input " + input +
                 ", which diagrams written there may replace: name another folder");
        }
    }
}

void refuse_unfit_output(const Plan& plan) {
    if (!plan.folder) {
        const std::string why = unfit_for_a_file(plan.path);
        if (!why.empty()) fail(plan.path + ": " + why);
        return;
    }
    std::string folder = plan.path;
    if (folder.size() > 1) folder.pop_back();
    struct stat info {};
    if (stat(folder.c_str(), &info) != 0 || S_ISDIR(info.st_mode)) return;
    std::string why = S_ISREG(info.st_mode) ? "is a file" : unfit_for_a_file(folder);
    why = why.substr(0, why.find(", not a file"));
    fail(folder + ": " + why + ", not a folder");
}

}  // namespace batch
