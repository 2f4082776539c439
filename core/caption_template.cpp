#include "core/caption_template.h"

namespace chess {

namespace {

// A value that says nothing: empty, or only the placeholders PGN writes for
// an unknown name, place or date ("?", "????.??.??").
bool unknown(std::string_view value) {
    return value.find_first_not_of("?. \t") == std::string_view::npos;
}

// The year of "2014.05.21" or "2014.??.??"; empty when it is not known.
std::string year_of(std::string_view date) {
    std::size_t digits = 0;
    while (digits < date.size() && date[digits] >= '0' && date[digits] <= '9') ++digits;
    return digits == 4 ? std::string(date.substr(0, 4)) : std::string();
}

}  // namespace

std::optional<CaptionTemplate> CaptionTemplate::parse(std::string_view text, std::string& error) {
    CaptionTemplate result;
    Part part;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if ((c == '{' || c == '}') && i + 1 < text.size() && text[i + 1] == c) {
            part.text += c;
            ++i;
            continue;
        }
        if (c == '}') {
            error = "'}' without '{' at byte " + std::to_string(i + 1);
            return std::nullopt;
        }
        if (c != '{') {
            part.text += c;
            continue;
        }
        const std::size_t close = text.find('}', i + 1);
        if (close == std::string_view::npos) {
            error = "'{' without '}' at byte " + std::to_string(i + 1);
            return std::nullopt;
        }
        std::string_view name = text.substr(i + 1, close - i - 1);
        if (const std::size_t colon = name.find(':'); colon != std::string_view::npos) {
            const std::string_view modifier = name.substr(colon + 1);
            if (modifier != "year") {
                error = "unknown modifier '" + std::string(modifier) + "' in {" + std::string(name) +
                        "}: only 'year' is known";
                return std::nullopt;
            }
            part.year = true;
            name = name.substr(0, colon);
        }
        if (name.empty() || name.find_first_of("{ \t") != std::string_view::npos) {
            error = "no field name in {" + std::string(text.substr(i + 1, close - i - 1)) + "} at byte " +
                    std::to_string(i + 1);
            return std::nullopt;
        }
        part.field = std::string(name);
        result.parts_.push_back(std::move(part));
        part = Part{};
        i = close;
    }
    result.parts_.push_back(std::move(part));
    return result;
}

std::string CaptionTemplate::expand(const Lookup& lookup) const {
    if (parts_.size() == 1) return parts_.front().text;  // no field: a fixed caption
    std::string out;
    bool shown_any = false;
    bool last_shown = false;
    for (const Part& part : parts_) {
        if (part.field.empty()) {
            // The text after the last field.
            if (last_shown) out += part.text;
            break;
        }
        std::optional<std::string> value = lookup(part.field);
        if (value && part.year) value = year_of(*value);
        last_shown = value && !unknown(*value);
        if (!last_shown) continue;
        // The text before the first field shown is kept only when it led
        // the template; a separator before it joined a field left out.
        if (shown_any || &part == &parts_.front()) out += part.text;
        out += *value;
        shown_any = true;
    }
    const std::size_t first = out.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    const std::size_t last = out.find_last_not_of(" \t");
    return out.substr(first, last - first + 1);
}

std::vector<std::string> CaptionTemplate::fields() const {
    std::vector<std::string> names;
    for (const Part& part : parts_) {
        if (!part.field.empty()) names.push_back(part.field);
    }
    return names;
}

}  // namespace chess
