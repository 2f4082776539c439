#include "input/problem_yaml.h"

#include <cstring>
#include <istream>
#include <memory>
#include <set>
#include <vector>

#include <yaml-cpp/depthguard.h>
#include <yaml-cpp/eventhandler.h>
#include <yaml-cpp/exceptions.h>
#include <yaml-cpp/mark.h>
#include <yaml-cpp/parser.h>

#include "core/encodings.h"
#include "core/text.h"
#include "input/input_source.h"

namespace chess::input {

namespace {

constexpr std::string_view entry_keys[] = {"authors", "author",    "title",   "source",   "award",
                                           "stipulation", "algebraic", "twins", "options", "comment",
                                           "solution", "conditions"};

// One node of an entry, as the parser's events build it: the entries of a
// database are built and handed on one at a time, never the whole file.
struct Value {
    enum class Kind { Null, Scalar, Sequence, Map } kind = Kind::Null;
    long line = 0;
    std::string scalar;
    std::vector<Value> items;  // a sequence's; a map's keys and values in turn

    bool is_scalar() const { return kind == Kind::Scalar; }
    bool is_map() const { return kind == Kind::Map; }
    // A map's value for key, or null.
    const Value* find(std::string_view key) const {
        if (!is_map()) return nullptr;
        for (std::size_t i = 0; i + 1 < items.size(); i += 2) {
            if (items[i].is_scalar() && items[i].scalar == key) return &items[i + 1];
        }
        return nullptr;
    }
};

// A scalar as its text; a sequence's scalars each.
std::vector<std::string> texts_of(const Value& value) {
    if (value.is_scalar()) return {value.scalar};
    std::vector<std::string> texts;
    if (value.kind == Value::Kind::Sequence) {
        for (const Value& item : value.items) {
            if (item.is_scalar()) texts.push_back(item.scalar);
        }
    }
    return texts;
}

std::string text_of(const Value* value) { return value && value->is_scalar() ? value->scalar : std::string(); }

// "2019", "5/2019" from {year: 2019, month: 5}, or the date as written.
std::string date_text(const Value& date) {
    if (!date.is_map()) return text_of(&date);
    const std::string year = text_of(date.find("year")), month = text_of(date.find("month"));
    return month.empty() ? year : month + "/" + year;
}

// "Problem Magazine 12, 2019" from {name, issue, date} (a year alone too).
std::string source_text(const Value& source) {
    if (!source.is_map()) return text_of(&source);
    std::string text = text_of(source.find("name"));
    if (const std::string issue = text_of(source.find("issue")); !issue.empty()) {
        text += (text.empty() ? "" : " ") + issue;
    }
    const Value* date = source.find("date");
    const std::string when = date ? date_text(*date) : text_of(source.find("year"));
    if (!when.empty()) text += (text.empty() ? "" : ", ") + when;
    return text;
}

// "1st Prize" or, from {distinction, tourney: {name}}, "1st Prize, Name".
std::string award_text(const Value& award) {
    if (!award.is_map()) return text_of(&award);
    std::string text = text_of(award.find("distinction"));
    const Value* tourney = award.find("tourney");
    const std::string name = tourney && tourney->is_map() ? text_of(tourney->find("name")) : text_of(tourney);
    if (!name.empty()) text += (text.empty() ? "" : ", ") + name;
    return text;
}

void fail(ProblemEntry& entry, const std::string& error, const Value& where) {
    if (!entry.error.empty()) return;
    entry.error = error;
    entry.error_line = where.line;
}

void place(const Value& algebraic, ProblemEntry& entry) {
    if (!algebraic.is_map()) return fail(entry, "algebraic must hold white:, black: and neutral: lists", algebraic);
    for (std::size_t i = 0; i + 1 < algebraic.items.size(); i += 2) {
        const Value& key = algebraic.items[i];
        const Value& list = algebraic.items[i + 1];
        ProblemSide side = ProblemSide::White;
        if (!problem_side(key.scalar, side)) {
            return fail(entry, "'" + key.scalar + "' is not white, black or neutral", key);
        }
        if (list.kind == Value::Kind::Map) return fail(entry, key.scalar + " must be a list of men (Kb1, Pa2b3)", list);
        // A list's men each, or one string of them ("Kb1 Qc2").
        const std::vector<Value> one{list};
        for (const Value& item : list.kind == Value::Kind::Sequence ? list.items : one) {
            if (!item.is_scalar() && item.kind != Value::Kind::Null) return fail(entry, "a man must be a word", item);
            const std::string& text = item.scalar;
            for (std::size_t at = 0; (at = text.find_first_not_of(" ,", at)) != std::string::npos;) {
                const std::size_t end = std::min(text.find_first_of(" ,", at), text.size());
                std::string error;
                if (!place_men(std::string_view(text).substr(at, end - at), side, entry.position, error)) {
                    return fail(entry, error, item);
                }
                at = end;
            }
        }
    }
}

void make_twins(const Value& twins, ProblemEntry& entry) {
    if (!twins.is_map()) {
        entry.notes.push_back({true, twins.line, "twins must be a map (b: Move e1 e2); left out"});
        return;
    }
    Position twin = entry.position;
    for (std::size_t i = 0; i + 1 < twins.items.size(); i += 2) {
        std::string_view changes = twins.items[i + 1].scalar;
        if (!continued_twin(changes)) twin = entry.position;
        std::string text, error;
        if (apply_twin(changes, twin, text, error)) {
            std::string label = twins.items[i].scalar;
            if (label.ends_with(')')) label.pop_back();
            entry.problem.twins.push_back({label.empty() ? twin_label(entry.problem.twins.size()) : label + ")", text});
        } else {
            entry.notes.push_back({true, twins.items[i + 1].line, "twin: " + error + "; the twin is left out"});
            twin = entry.position;
        }
    }
}

// Builds each entry from the parser's events and hands it on when it ends:
// a document that is an entry, or each entry of a document that is a list.
class EntryBuilder : public YAML::EventHandler {
public:
    explicit EntryBuilder(const std::function<void(ProblemEntry&)>& take) : take_(take) {}

    // What is said before the next entry: how the file was read.
    std::vector<ProblemNote> pending;

    void OnDocumentStart(const YAML::Mark&) override {}
    void OnDocumentEnd() override {}
    void OnNull(const YAML::Mark& mark, YAML::anchor_t) override { add(start(Value::Kind::Null, mark)); }
    // Aliases are not followed: an entry's fields need none.
    void OnAlias(const YAML::Mark& mark, YAML::anchor_t) override { add(start(Value::Kind::Null, mark)); }
    void OnScalar(const YAML::Mark& mark, const std::string&, YAML::anchor_t, const std::string& text) override {
        Value value = start(Value::Kind::Scalar, mark);
        value.scalar = text;
        if (!is_valid_utf8(text)) {
            value.scalar = windows_1252_to_utf8(text);
            if (!told_encoding_) {
                // Said once a file: its other entries are likely the same.
                told_encoding_ = true;
                pending.push_back({false, value.line, "not UTF-8: read as Windows-1252 (Latin-1)"});
            }
        }
        add(std::move(value));
    }
    void OnSequenceStart(const YAML::Mark& mark, const std::string&, YAML::anchor_t, YAML::EmitterStyle::value) override {
        open_.push_back(start(Value::Kind::Sequence, mark));
    }
    void OnMapStart(const YAML::Mark& mark, const std::string&, YAML::anchor_t, YAML::EmitterStyle::value) override {
        open_.push_back(start(Value::Kind::Map, mark));
    }
    void OnSequenceEnd() override { close(); }
    void OnMapEnd() override { close(); }

private:
    static Value start(Value::Kind kind, const YAML::Mark& mark) {
        Value value;
        value.kind = kind;
        value.line = mark.is_null() ? 0 : mark.line + 1;
        return value;
    }

    void close() {
        Value value = std::move(open_.back());
        open_.pop_back();
        add(std::move(value));
    }

    // A finished value: into the one open around it, else it is an entry
    // (or a list's entry, which is not kept in its list).
    void add(Value value) {
        const bool top_list = open_.size() == 1 && open_[0].kind == Value::Kind::Sequence;
        if (!open_.empty() && !top_list) {
            open_.back().items.push_back(std::move(value));
            return;
        }
        if (value.kind == Value::Kind::Sequence || value.kind == Value::Kind::Null) return;
        hand_on(value);
    }

    void hand_on(const Value& node) {
        ProblemEntry entry;
        entry.line = node.line;
        entry.notes = std::move(pending);
        pending.clear();
        if (!node.is_map()) {
            fail(entry, "a problem entry must be a map of keys (authors:, stipulation:, algebraic:...)", node);
        } else {
            read_entry(node, entry);
        }
        entry.ok = entry.error.empty();
        if (entry.ok) finish_problem(entry.position, entry.problem);
        take_(entry);
    }

    void read_entry(const Value& node, ProblemEntry& entry) {
        Problem& problem = entry.problem;
        for (std::size_t i = 0; i + 1 < node.items.size(); i += 2) {
            const std::string& key = node.items[i].scalar;
            const Value& value = node.items[i + 1];
            if (key == "authors" || key == "author") {
                for (std::string& author : texts_of(value)) problem.authors.push_back(std::move(author));
            } else if (key == "title") {
                problem.title = text_of(&value);
            } else if (key == "source") {
                problem.source = source_text(value);
            } else if (key == "award") {
                problem.award = award_text(value);
            } else if (key == "stipulation") {
                problem.stipulation = text_of(&value);
            } else if (key == "algebraic") {
                place(value, entry);
            } else if (key == "twins") {
                make_twins(value, entry);
            } else if (key == "options") {
                problem.options = texts_of(value);
            } else if (key == "conditions") {
                problem.conditions = texts_of(value);
            } else if (key == "comment") {
                if (const std::string comment = text_of(&value); !comment.empty()) problem.remarks.push_back(comment);
            } else if (key == "solution") {
                std::string solution = text_of(&value);
                while (!solution.empty() && (solution.back() == '\n' || solution.back() == ' ')) solution.pop_back();
                problem.solution = solution;
            } else if (told_.insert(key).second) {
                entry.notes.push_back({false, node.items[i].line, "unknown key '" + key + "' skipped"});
            }
        }
        if (!node.find("algebraic")) fail(entry, "no algebraic: the entry has no men", node);
    }

    const std::function<void(ProblemEntry&)>& take_;
    std::vector<Value> open_;
    std::set<std::string> told_;
    bool told_encoding_ = false;
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
    InputStreamBuffer buffer(input);
    std::istream in(&buffer);
    EntryBuilder builder(take);
    try {
        YAML::Parser parser(in);
        while (parser.HandleNextDocument(builder)) {
        }
    } catch (const YAML::Exception& e) {
        // The entries before were handed on; the parser cannot go on past it.
        ProblemEntry refused;
        refused.notes = std::move(builder.pending);
        // The parser's message for too deep a nesting says nothing of it.
        const bool deep = dynamic_cast<const YAML::DeepRecursion*>(&e) != nullptr;
        refused.error = "not YAML: " + (deep ? std::string("nested too deep") : e.msg) + "; the rest of the file is skipped";
        refused.error_line = e.mark.is_null() ? 0 : e.mark.line + 1;
        take(refused);
    }
    if (buffer.failure() != 0) {
        error = input.name() + ": " + std::strerror(buffer.failure());
        return false;
    }
    return true;
}

}  // namespace chess::input
