#include "input/problem_yaml.h"

#include <cerrno>
#include <cstring>
#include <set>
#include <vector>

#include <yaml-cpp/yaml.h>

#include "core/encodings.h"
#include "core/text.h"
#include "input/input_source.h"

namespace chess::input {

namespace {

// More than any collection of problems; a file beyond it is no such file.
constexpr std::size_t max_yaml_bytes = 64 * 1024 * 1024;

constexpr std::string_view entry_keys[] = {"authors", "author",    "title",   "source",   "award",
                                           "stipulation", "algebraic", "twins", "options", "comment",
                                           "solution", "conditions"};

long line_of(const YAML::Node& node) { return node.Mark().is_null() ? 0 : node.Mark().line + 1; }

// A scalar as its text; a sequence's scalars each.
std::vector<std::string> texts_of(const YAML::Node& node) {
    std::vector<std::string> texts;
    if (node.IsScalar()) texts.push_back(node.Scalar());
    if (node.IsSequence()) {
        for (const YAML::Node& item : node) {
            if (item.IsScalar()) texts.push_back(item.Scalar());
        }
    }
    return texts;
}

std::string text_of(const YAML::Node& node, std::string_view key = {}) {
    const YAML::Node part = key.empty() ? node : node[std::string(key)];
    return part && part.IsScalar() ? part.Scalar() : std::string();
}

// "2019", "5/2019" from {year: 2019, month: 5}, or the date as written.
std::string date_text(const YAML::Node& date) {
    if (!date.IsMap()) return text_of(date);
    const std::string year = text_of(date, "year"), month = text_of(date, "month");
    return month.empty() ? year : month + "/" + year;
}

// "Problem Magazine 12, 2019" from {name, issue, date} (a year alone too).
std::string source_text(const YAML::Node& source) {
    if (!source.IsMap()) return text_of(source);
    std::string text = text_of(source, "name");
    if (const std::string issue = text_of(source, "issue"); !issue.empty()) text += (text.empty() ? "" : " ") + issue;
    std::string date = source["date"] ? date_text(source["date"]) : text_of(source, "year");
    if (!date.empty()) text += (text.empty() ? "" : ", ") + date;
    return text;
}

// "1st Prize" or, from {distinction, tourney: {name}}, "1st Prize, Name".
std::string award_text(const YAML::Node& award) {
    if (!award.IsMap()) return text_of(award);
    std::string text = text_of(award, "distinction");
    const YAML::Node tourney = award["tourney"];
    const std::string name = tourney && tourney.IsMap() ? text_of(tourney, "name") : text_of(award, "tourney");
    if (!name.empty()) text += (text.empty() ? "" : ", ") + name;
    return text;
}

class YamlEntries {
public:
    explicit YamlEntries(const std::function<void(ProblemEntry&)>& take) : take_(take) {}

    void document(const YAML::Node& node, std::vector<ProblemNote>& pending) {
        if (node.IsSequence()) {
            for (const YAML::Node& item : node) document(item, pending);
            return;
        }
        if (node.IsNull()) return;
        ProblemEntry entry;
        entry.line = line_of(node);
        entry.notes = std::move(pending);
        pending.clear();
        if (!node.IsMap()) {
            fail(entry, "a problem entry must be a map of keys (authors:, stipulation:, algebraic:...)", node);
        } else {
            read_entry(node, entry);
        }
        entry.ok = entry.error.empty();
        if (entry.ok) finish_problem(entry.position, entry.problem);
        take_(entry);
    }

private:
    static void fail(ProblemEntry& entry, const std::string& error, const YAML::Node& where) {
        if (!entry.error.empty()) return;
        entry.error = error;
        entry.error_line = line_of(where);
    }

    void read_entry(const YAML::Node& node, ProblemEntry& entry) {
        Problem& problem = entry.problem;
        for (const auto& pair : node) {
            const std::string key = pair.first.IsScalar() ? pair.first.Scalar() : std::string();
            const YAML::Node& value = pair.second;
            if (key == "authors" || key == "author") {
                for (std::string& author : texts_of(value)) problem.authors.push_back(std::move(author));
            } else if (key == "title") {
                problem.title = text_of(value);
            } else if (key == "source") {
                problem.source = source_text(value);
            } else if (key == "award") {
                problem.award = award_text(value);
            } else if (key == "stipulation") {
                problem.stipulation = text_of(value);
            } else if (key == "algebraic") {
                men(value, entry);
            } else if (key == "twins") {
                twins_of(value, entry);
            } else if (key == "options") {
                problem.options = texts_of(value);
            } else if (key == "conditions") {
                problem.conditions = texts_of(value);
            } else if (key == "comment") {
                if (const std::string comment = text_of(value); !comment.empty()) problem.remarks.push_back(comment);
            } else if (key == "solution") {
                std::string solution = text_of(value);
                while (!solution.empty() && (solution.back() == '\n' || solution.back() == ' ')) solution.pop_back();
                problem.solution = solution;
            } else if (told_.insert(key).second) {
                entry.notes.push_back({false, line_of(pair.first), "unknown key '" + key + "' skipped"});
            }
        }
        if (!node["algebraic"]) fail(entry, "no algebraic: the entry has no men", node);
    }

    static void men(const YAML::Node& algebraic, ProblemEntry& entry) {
        if (!algebraic.IsMap()) return fail(entry, "algebraic must hold white:, black: and neutral: lists", algebraic);
        for (const auto& group : algebraic) {
            const std::string name = group.first.IsScalar() ? group.first.Scalar() : std::string();
            ProblemSide side = ProblemSide::White;
            if (!problem_side(name, side)) {
                return fail(entry, "'" + name + "' is not white, black or neutral", group.first);
            }
            const YAML::Node& list = group.second;
            if (!list.IsSequence() && !list.IsScalar() && !list.IsNull()) {
                return fail(entry, name + " must be a list of men (Kb1, Pa2b3)", list);
            }
            // A list's men each, or one line of them ("Kb1 Qc2").
            std::vector<std::pair<std::string, YAML::Node>> words;
            auto split = [&](const YAML::Node& item) {
                std::string text = item.IsScalar() ? item.Scalar() : std::string();
                std::size_t at = 0;
                while ((at = text.find_first_not_of(" ,", at)) != std::string::npos) {
                    const std::size_t end = std::min(text.find_first_of(" ,", at), text.size());
                    words.emplace_back(text.substr(at, end - at), item);
                    at = end;
                }
                if (!item.IsScalar()) words.emplace_back(std::string(), item);
            };
            if (list.IsScalar()) split(list);
            if (list.IsSequence()) {
                for (const YAML::Node& item : list) split(item);
            }
            for (const auto& [word, item] : words) {
                std::string error;
                if (!place_men(word, side, entry.position, error)) return fail(entry, error, item);
            }
        }
    }

    static void twins_of(const YAML::Node& twins, ProblemEntry& entry) {
        if (!twins.IsMap()) {
            entry.notes.push_back({true, line_of(twins), "twins must be a map (b: Move e1 e2); left out"});
            return;
        }
        Position twin = entry.position;
        for (const auto& pair : twins) {
            std::string changes_text = pair.second.IsScalar() ? pair.second.Scalar() : std::string();
            std::string_view changes = changes_text;
            if (!continued_twin(changes)) twin = entry.position;
            std::string text, error;
            if (apply_twin(changes, twin, text, error)) {
                std::string label = pair.first.IsScalar() ? pair.first.Scalar() : std::string();
                if (label.ends_with(')')) label.pop_back();
                entry.problem.twins.push_back(
                    {label.empty() ? twin_label(entry.problem.twins.size()) : label + ")", text});
            } else {
                entry.notes.push_back({true, line_of(pair.second), "twin: " + error + "; the twin is left out"});
                twin = entry.position;
            }
        }
    }

    const std::function<void(ProblemEntry&)>& take_;
    std::set<std::string> told_;
};

}  // namespace

bool starts_problem_yaml(std::string_view text) {
    if (text.starts_with("---")) return text.size() == 3 || text[3] == '\n' || text[3] == '\r' || text[3] == ' ';
    if (text.starts_with("- ")) text.remove_prefix(2);
    for (std::string_view key : entry_keys) {
        if (text.starts_with(key) && text.substr(key.size()).starts_with(':')) return true;
    }
    return false;
}

bool read_problem_yaml(InputSource& input, const std::function<void(ProblemEntry& entry)>& take,
                       std::string& error) {
    std::string bytes;
    char chunk[64 * 1024];
    while (true) {
        const ssize_t got = input.read(chunk, sizeof chunk);
        if (got == 0) break;
        if (got < 0) {
            error = input.name() + ": " + std::strerror(errno);
            return false;
        }
        bytes.append(chunk, static_cast<std::size_t>(got));
        if (bytes.size() > max_yaml_bytes) {
            error = input.name() + ": larger than 64 MiB: no problem file";
            return false;
        }
    }
    std::vector<ProblemNote> pending;
    if (!is_valid_utf8(bytes)) {
        bytes = windows_1252_to_utf8(bytes);
        pending.push_back({false, 1, "not UTF-8: read as Windows-1252 (Latin-1)"});
    }
    YamlEntries entries(take);
    try {
        for (const YAML::Node& document : YAML::LoadAll(bytes)) entries.document(document, pending);
    } catch (const YAML::Exception& e) {
        ProblemEntry refused;
        refused.notes = std::move(pending);
        refused.error = "not YAML: " + e.msg + "; no problem of the file is read";
        refused.error_line = e.mark.is_null() ? 0 : e.mark.line + 1;
        take(refused);
    }
    return true;
}

}  // namespace chess::input
