#include "input/problem_text.h"

#include <cstring>
#include <optional>
#include <set>

#include "core/encodings.h"
#include "core/text.h"
#include "input/input_source.h"
#include "input/position_list.h"

namespace chess::input {

namespace {

enum class Keyword {
    Begin, End, Next, Author, Origin, Title, Award, Stipulation, Condition, Option, Remark, Pieces, Twin,
};

constexpr std::pair<std::string_view, Keyword> keywords[] = {
    {"beginproblem", Keyword::Begin}, {"endproblem", Keyword::End},     {"nextproblem", Keyword::Next},
    {"author", Keyword::Author},      {"origin", Keyword::Origin},      {"title", Keyword::Title},
    {"award", Keyword::Award},        {"stipulation", Keyword::Stipulation},
    {"condition", Keyword::Condition}, {"option", Keyword::Option},     {"remark", Keyword::Remark},
    {"pieces", Keyword::Pieces},      {"twin", Keyword::Twin},
};

std::optional<Keyword> keyword_of(std::string_view word) {
    for (const auto& [name, keyword] : keywords) {
        if (abbreviates(word, name)) return keyword;
    }
    return std::nullopt;
}

bool is_blank(char c) { return c == ' ' || c == '\t'; }

std::string_view trim(std::string_view text) {
    while (!text.empty() && is_blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && is_blank(text.back())) text.remove_suffix(1);
    return text;
}

// The first word of text, and the text after it.
std::string_view first_word(std::string_view text, std::string_view& rest) {
    text = trim(text);
    std::size_t end = 0;
    while (end < text.size() && !is_blank(text[end])) ++end;
    rest = trim(text.substr(end));
    return text.substr(0, end);
}

// Reads one file's problems, a line at a time.
class ProblemTextReader {
public:
    explicit ProblemTextReader(const std::function<void(ProblemEntry&)>& take) : take_(take) {}

    void line(std::string text, long number) {
        if (!is_valid_utf8(text)) {
            text = windows_1252_to_utf8(text);
            if (!told_encoding_) {
                // Said once a file: its other lines are likely the same.
                told_encoding_ = true;
                const ProblemNote note{false, number, "not UTF-8: read as Windows-1252 (Latin-1)"};
                (in_problem_ || solved_ ? entry_.notes : pending_).push_back(note);
            }
        }
        line_ = number;
        std::string_view rest;
        const std::string_view word = first_word(text, rest);
        const std::optional<Keyword> keyword = keyword_of(word);
        if (!in_problem_) {
            // Before the first problem, or a solution after EndProblem.
            if (keyword == Keyword::Begin) return begin(rest);
            if (solved_) solution_.push_back(text);
            return;
        }
        if (keyword) return take_keyword(*keyword, word, rest);
        if (in_pieces_) return pieces(text);
        if (!word.empty()) unknown(word);
    }

    void too_long(long number) {
        line_ = number;
        if (in_problem_) reject("a line longer than 64 KiB");
        else if (solved_) solution_.push_back("");
    }

    void end() {
        if (in_problem_ || solved_) hand_on();
    }

private:
    void begin(std::string_view rest) {
        if (in_problem_ || solved_) hand_on();
        entry_ = ProblemEntry{};
        entry_.line = line_;
        entry_.notes = std::move(pending_);
        pending_.clear();
        in_problem_ = true;
        if (!rest.empty()) line_words(rest);
    }

    // What follows a keyword on its line is read as a line of its own.
    void line_words(std::string_view rest) {
        std::string_view after;
        const std::string_view word = first_word(rest, after);
        const std::optional<Keyword> keyword = keyword_of(word);
        if (keyword) return take_keyword(*keyword, word, after);
        if (in_pieces_) return pieces(rest);
        unknown(word);
    }

    void take_keyword(Keyword keyword, std::string_view word, std::string_view rest) {
        in_pieces_ = false;
        Problem& problem = entry_.problem;
        const std::string value(rest);
        switch (keyword) {
            case Keyword::Begin: return begin(rest);
            case Keyword::Next:
                hand_on();
                return begin(rest);
            case Keyword::End:
                in_problem_ = false;
                solved_ = true;
                return;
            case Keyword::Author: problem.authors.push_back(value); break;
            case Keyword::Origin: problem.source = value; break;
            case Keyword::Title: problem.title = value; break;
            case Keyword::Award: problem.award = value; break;
            case Keyword::Stipulation: problem.stipulation = value; break;
            case Keyword::Condition: problem.conditions.push_back(value); break;
            case Keyword::Option: problem.options.push_back(value); break;
            case Keyword::Remark: problem.remarks.push_back(value); break;
            case Keyword::Pieces:
                in_pieces_ = true;
                side_.reset();
                if (!rest.empty()) pieces(rest);
                break;
            case Keyword::Twin: twins_.push_back({line_, value}); break;
        }
        if (value.empty() && keyword != Keyword::Pieces) {
            entry_.notes.push_back({false, line_, "'" + std::string(word) + "' without its text"});
        }
    }

    void pieces(std::string_view text) {
        while (true) {
            std::string_view rest;
            const std::string_view word = first_word(text, rest);
            if (word.empty()) return;
            text = rest;
            ProblemSide side = ProblemSide::White;
            std::string error;
            if (side_ && place_men(word, *side_, entry_.position, error)) continue;
            if (problem_side(word, side)) {
                side_ = side;
                continue;
            }
            if (std::optional<Keyword> keyword = keyword_of(word)) return take_keyword(*keyword, word, rest);
            // Men stand on squares: a word without a digit is a keyword
            // this reader does not know, and ends the men.
            if (word.find_first_of("0123456789") == std::string_view::npos) {
                in_pieces_ = false;
                return unknown(word);
            }
            if (!side_) error = "'" + std::string(word) + "' before White, Black or Neutral";
            reject(error);
            return;
        }
    }

    void unknown(std::string_view word) {
        const std::string name = valid_utf8(word, Controls::Blank);
        if (!told_unknown_.insert(ascii_lower(name)).second) return;
        entry_.notes.push_back({false, line_, "unknown keyword '" + name + "' skipped"});
    }

    // The first fault of a problem is the one reported: what follows may
    // follow from it.
    void reject(const std::string& error) {
        if (!entry_.error.empty()) return;
        entry_.error = error;
        entry_.error_line = line_;
    }

    void hand_on() {
        ProblemEntry& entry = entry_;
        Problem& problem = entry.problem;
        // The solution: its lines as written, without blank lines around them.
        while (!solution_.empty() && trim(solution_.back()).empty()) solution_.pop_back();
        std::size_t first = 0;
        while (first < solution_.size() && trim(solution_[first]).empty()) ++first;
        for (std::size_t i = first; i < solution_.size(); ++i) {
            std::string_view line = solution_[i];
            while (!line.empty() && is_blank(line.back())) line.remove_suffix(1);
            problem.solution += (i == first ? "" : "\n") + std::string(line);
        }
        // A refused problem's twins would be made from the wrong men.
        if (!entry.error.empty()) twins_.clear();
        Position twin = entry.position;
        for (const auto& [line, changes] : twins_) {
            std::string_view rest = changes;
            if (!continued_twin(rest)) twin = entry.position;
            std::string text, error;
            if (apply_twin(rest, twin, text, error)) {
                problem.twins.push_back({twin_label(problem.twins.size()), text});
            } else {
                entry.notes.push_back({true, line, "twin: " + error + "; the twin is left out"});
                twin = entry.position;
            }
        }
        entry.ok = entry.error.empty();
        if (entry.ok) finish_problem(entry.position, problem);
        take_(entry);
        entry_ = ProblemEntry{};
        twins_.clear();
        solution_.clear();
        in_problem_ = solved_ = in_pieces_ = false;
    }

    const std::function<void(ProblemEntry&)>& take_;
    ProblemEntry entry_;
    std::vector<ProblemNote> pending_;
    std::vector<std::pair<long, std::string>> twins_;
    std::vector<std::string> solution_;
    std::optional<ProblemSide> side_;
    std::set<std::string> told_unknown_;
    long line_ = 0;
    bool in_problem_ = false;
    bool solved_ = false;
    bool in_pieces_ = false;
    bool told_encoding_ = false;
};

}  // namespace

bool starts_problem_text(std::string_view text) {
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    const std::size_t start = text.find_first_not_of(" \t\r\n");
    if (start == std::string_view::npos) return false;
    text.remove_prefix(start);
    const std::size_t end = std::min(text.find_first_of(" \t\r\n"), text.size());
    return keyword_of(text.substr(0, end)) == Keyword::Begin;
}

bool read_problem_text(InputSource& input, const std::function<void(ProblemEntry& entry)>& take,
                       std::string& error) {
    LineReader lines(input);
    ProblemTextReader reader(take);
    std::string line;
    while (true) {
        const LineReader::Status status = lines.next(line);
        if (status == LineReader::Status::End) break;
        if (status == LineReader::Status::Failed) {
            reader.end();
            error = input.name() + ": " + std::strerror(lines.errno_value());
            return false;
        }
        if (status == LineReader::Status::TooLong)
            reader.too_long(lines.line_number());
        else
            reader.line(line, lines.line_number());
    }
    reader.end();
    return true;
}

}  // namespace chess::input
