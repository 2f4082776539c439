// Captions made from a game's tags or a record's operands, by a template:
// "{White} – {Black}, {Site} {Date:year}". A field names a tag (or an
// operand, or "comment": whatever the caller looks up); "{Date:year}" takes
// the year of a PGN date. "{{" and "}}" stand for braces.
//
// A field that is missing, empty or unknown ("?", "????.??.??") leaves its
// part out cleanly: the text before a field belongs to it and goes with it,
// and text before the first field shown or after the last field is kept
// only beside a field that is shown. "{White} ({WhiteElo})" without an Elo
// is "Kasparov"; "{White} – {Black}, {Site}" without the players is the
// site alone.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace chess {

class CaptionTemplate {
public:
    // Null, with the reason in error ("'{' without '}' at byte 7",
    // "unknown modifier 'month' in {Date:month}"), when the text is no template.
    static std::optional<CaptionTemplate> parse(std::string_view text, std::string& error);

    // The caption, with the value of each field from lookup (nothing when
    // the tag or operand is absent).
    using Lookup = std::function<std::optional<std::string>(std::string_view name)>;
    std::string expand(const Lookup& lookup) const;

    // The fields named, in order ("White", "Date", ...).
    std::vector<std::string> fields() const;

private:
    struct Part {
        std::string text;  // the literal text before the field
        std::string field;  // empty for the text after the last field
        bool year = false;
    };
    std::vector<Part> parts_;
};

}  // namespace chess
