#include "batch/position_output.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "batch/output_checks.h"
#include "batch/run.h"
#include "core/annotations.h"
#include "core/epd.h"
#include "core/fairy_men.h"
#include "core/fen.h"
#include "input/position_list.h"
#include "pictures/files.h"
#include "pictures/failure.h"

namespace batch {

namespace {

// The moves of a solution as "1. Qh5+ Kd8 2. Qf7#" writes them: its words
// without the move numbers.
std::vector<std::string> moves_of(const std::string& solution) {
    std::vector<std::string> moves;
    std::size_t at = 0;
    while (at < solution.size()) {
        const std::size_t end = std::min(solution.find(' ', at), solution.size());
        const std::string word = solution.substr(at, end - at);
        const bool number =
            !word.empty() && word.back() == '.' && word.find_first_not_of("0123456789.") == std::string::npos;
        if (!word.empty() && !number) moves.push_back(word);
        at = end + 1;
    }
    return moves;
}

}  // namespace

std::string position_line(const chess::input::DiagramItem& item, ListFormat format) {
    const std::string looks = chess::looks_field(item.position);
    if (format == ListFormat::Fen) {
        std::string line = looks.empty() ? std::string() : std::string(chess::input::looks_comment) + looks + "\n";
        line += chess::write_fen(item.position);
        if (!item.caption.empty()) line += " " + item.caption;
        return line;
    }
    std::vector<chess::EpdOperation> operations;
    if (!item.caption.empty()) operations.push_back({"c0", {item.caption}});
    if (!item.marks.empty()) operations.push_back({"c1", {chess::write_annotations(item.marks)}});
    if (!looks.empty()) operations.push_back({"looks", {looks}});
    if (std::vector<std::string> moves = moves_of(item.solution); !moves.empty()) {
        operations.push_back({"pv", std::move(moves)});
    }
    return chess::write_epd(item.position, operations);
}

int write_position_list(const Options& options) {
    const ListFormat format = *options.list_format;
    std::string path = options.output;
    std::error_code ignored;
    if (path != "-" && (path.back() == '/' || std::filesystem::is_directory(path, ignored))) {
        if (path.back() != '/') path += '/';
        path += format == ListFormat::Fen ? "positions.fen" : "positions.epd";
    }
    const bool to_standard_output = path == "-";
    for (const std::string& input : options.inputs) {
        if (!to_standard_output && same_file(path, input)) {
            fail("the output " + path + " is the input " + input + ": write the list to another file");
        }
    }

    std::unique_ptr<ReplacingFile> file;
    std::FILE* out = stdout;
    if (!to_standard_output) {
        file = std::make_unique<ReplacingFile>(path);
        if (!file->stream()) fail(last_failure().text);
        out = file->stream();
    }
    bool rejected = false;
    std::size_t written = 0;
    read_inputs(
        options,
        [&](const chess::input::DiagramItem& item) {
            const std::string line = position_line(item, format) + "\n";
            std::fwrite(line.data(), 1, line.size(), out);
            ++written;
        },
        rejected);
    if (written == 0) fail("no position could be read");
    if (file) {
        if (!file->commit()) fail(last_failure().text);
    } else if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        fail("standard output: cannot write the list");
    }
    return rejected ? exit_partly : exit_done;
}

}  // namespace batch
