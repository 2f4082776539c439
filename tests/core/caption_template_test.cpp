#include <gtest/gtest.h>

#include <map>

#include "core/caption_template.h"

using namespace chess;

namespace {

std::string expand(const char* text, const std::map<std::string, std::string>& tags) {
    std::string error;
    std::optional<CaptionTemplate> t = CaptionTemplate::parse(text, error);
    EXPECT_TRUE(t) << text << ": " << error;
    if (!t) return {};
    return t->expand([&](std::string_view name) -> std::optional<std::string> {
        auto it = tags.find(std::string(name));
        if (it == tags.end()) return std::nullopt;
        return it->second;
    });
}

std::string refusal(const char* text) {
    std::string error;
    EXPECT_FALSE(CaptionTemplate::parse(text, error)) << text;
    return error;
}

}  // namespace

TEST(CaptionTemplate, FieldsLeftOutTakeTheirSeparatorsWithThem) {
    const char* game = "{White} – {Black}, {Site} {Date:year}";
    std::map<std::string, std::string> tags{
        {"White", "Kasparov"}, {"Black", "Topalov"}, {"Site", "Wijk aan Zee"}, {"Date", "1999.01.20"}};
    EXPECT_EQ(expand(game, tags), "Kasparov – Topalov, Wijk aan Zee 1999");

    auto without = [&](std::initializer_list<const char*> names, const char* unknown_as = nullptr) {
        auto t = tags;
        for (const char* n : names) {
            if (unknown_as) t[n] = unknown_as;
            else t.erase(n);
        }
        return expand(game, t);
    };
    EXPECT_EQ(without({"Site"}), "Kasparov – Topalov 1999");
    EXPECT_EQ(without({"Black"}), "Kasparov, Wijk aan Zee 1999");
    EXPECT_EQ(without({"White"}), "Topalov, Wijk aan Zee 1999");
    EXPECT_EQ(without({"Date"}, "????.??.??"), "Kasparov – Topalov, Wijk aan Zee");
    EXPECT_EQ(without({"White", "Black"}, "?"), "Wijk aan Zee 1999");
    EXPECT_EQ(without({"White", "Black", "Site", "Date"}), "");
    // A year alone is known; a date without one is not.
    tags["Date"] = "1999.??.??";
    EXPECT_EQ(expand("{Date:year}", tags), "1999");
    tags["Date"] = "??99.01.20";
    EXPECT_EQ(expand("({Date:year})", tags), "");

    // Text round a single field goes with it; literal braces stay.
    EXPECT_EQ(expand("{White} ({WhiteElo})", tags), "Kasparov");
    EXPECT_EQ(expand("{White} ({WhiteElo})", {{"White", "K"}, {"WhiteElo", "2812"}}), "K (2812)");
    EXPECT_EQ(expand("Game {Round}: {comment}", {{"comment", "White wins"}}), "White wins");
    EXPECT_EQ(expand("Game {Round}: {comment}", {{"Round", "3"}, {"comment", "x"}}), "Game 3: x");
    EXPECT_EQ(expand("{{{id}}}", {{"id", "WAC.001"}}), "{WAC.001}");
    EXPECT_EQ(expand("no fields", {}), "no fields");
}

TEST(CaptionTemplate, MalformedTemplatesSayWhere) {
    EXPECT_EQ(refusal("{White} – {Black"), "'{' without '}' at byte 13");
    EXPECT_EQ(refusal("White}"), "'}' without '{' at byte 6");
    EXPECT_EQ(refusal("{Date:month}"), "unknown modifier 'month' in {Date:month}: only 'year' is known");
    EXPECT_EQ(refusal("a {} b"), "no field name in {} at byte 3");
    std::string error;
    auto t = CaptionTemplate::parse("{White} {Date:year}", error);
    ASSERT_TRUE(t);
    EXPECT_EQ(t->fields(), (std::vector<std::string>{"White", "Date"}));
}
