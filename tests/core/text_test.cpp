// Valid UTF-8 out of any bytes, and extensions without regard to case.
#include <gtest/gtest.h>

#include <string>

#include "core/text.h"

using namespace chess;

namespace {

const std::string r = "\xEF\xBF\xBD";  // U+FFFD

TEST(Text, ValidTextIsUntouched) {
    EXPECT_EQ(valid_utf8("Мат в 2 хода \xF0\x9F\x98\x80"), "Мат в 2 хода \xF0\x9F\x98\x80");
    EXPECT_EQ(valid_utf8("\xEF\xBF\xBF \xF4\x8F\xBF\xBF \xC2\x80"), "\xEF\xBF\xBF \xF4\x8F\xBF\xBF \xC2\x80");
    EXPECT_EQ(valid_utf8(""), "");
}

TEST(Text, BadBytesBecomeReplacementCharacters) {
    EXPECT_EQ(valid_utf8("a\xFF" "b"), "a" + r + "b");
    EXPECT_EQ(valid_utf8("\x80\xBF"), r + r);                  // lone continuation bytes
    EXPECT_EQ(valid_utf8("\xF8\x88\x80\x80\x80"), r + r + r + r + r);  // five-byte form
    // Overlong forms.
    EXPECT_EQ(valid_utf8("\xC0\xAF"), r + r);
    EXPECT_EQ(valid_utf8("\xE0\x80\xAF"), r + r + r);
    EXPECT_EQ(valid_utf8("\xF0\x80\x80\xAF"), r + r + r + r);
    // Surrogates, and beyond U+10FFFF.
    EXPECT_EQ(valid_utf8("\xED\xA0\x80"), r + r + r);
    EXPECT_EQ(valid_utf8("\xED\xBF\xBF"), r + r + r);
    EXPECT_EQ(valid_utf8("\xF4\x90\x80\x80"), r + r + r + r);
    // Cut-off sequences: what was well-formed so far is one character.
    EXPECT_EQ(valid_utf8("\xD0"), r);
    EXPECT_EQ(valid_utf8("\xE2\x82" "x"), r + "x");
    EXPECT_EQ(valid_utf8("\xF0\x9F\x98" "\xD0\x9C"), r + "М");
}

TEST(Text, ControlCharactersAreKeptOrBlanked) {
    EXPECT_EQ(valid_utf8("a\tb\x01" "c\n"), "a\tb\x01" "c\n");
    EXPECT_EQ(valid_utf8("a\tb\x01" "c\x7F", Controls::Blank), "a b c ");
    EXPECT_EQ(valid_utf8(std::string("a\0b", 3), Controls::Blank), "a b");
}

TEST(Text, CodePointsWrittenAsUtf8AndNonCharactersReplaced) {
    std::string out;
    for (char32_t code : {U'A', U'\u00e9', U'\u20ac', U'\U0001F600', char32_t{0xD800}, char32_t{0x110000}})
        append_utf8(out, code);
    EXPECT_EQ(out, "A\u00e9\u20ac\U0001F600\uFFFD\uFFFD");
    EXPECT_EQ(valid_utf8(out), out);
}

TEST(Text, ExtensionsInLowerCase) {
    EXPECT_EQ(lower_extension("Photos/IMG_0001.JPG"), ".jpg");
    EXPECT_EQ(lower_extension("games.tar.PGN"), ".pgn");
    EXPECT_EQ(lower_extension("dir.jpg/list"), "");
    EXPECT_EQ(lower_extension("list"), "");
    EXPECT_EQ(lower_extension("Ämter.JpEg"), ".jpeg");
    EXPECT_EQ(ascii_lower("A4 Letter ÄÖ"), "a4 letter ÄÖ");
}

}  // namespace
