#include <gtest/gtest.h>

#include "core/encodings.h"

using namespace chess;

TEST(Encodings, Utf8IsToldFromEverythingElse) {
    for (const char* good : {"", "plain", "Мат в 2 хода", "€ “quotes”", "\xF0\x9F\x98\x80", "\xEF\xBF\xBF"}) {
        EXPECT_TRUE(is_valid_utf8(good)) << good;
    }
    const char* const bad[] = {
        "Caf\xE9",             // Latin-1
        "\x80",                // a continuation byte alone
        "\xD0",                // a sequence cut short at the end
        "\xE2\x82 x",          // ... and in the middle
        "\xC0\xAF",            // an overlong '/'
        "\xE0\x80\xAF",        // another
        "\xED\xA0\x80",        // a surrogate
        "\xF4\x90\x80\x80",    // past U+10FFFF
        "\xFF",                // never a UTF-8 byte
    };
    for (const char* text : bad) EXPECT_FALSE(is_valid_utf8(text)) << testing::PrintToString(text);
}

TEST(Encodings, Windows1252ToUtf8KeepsEveryByte) {
    EXPECT_EQ(windows_1252_to_utf8("M\xFCller, Jos\xE9"), "Müller, José");
    EXPECT_EQ(windows_1252_to_utf8("\x80 \x93x\x94 \x96 \x85"), "€ “x” – …");
    // Bytes the encoding leaves undefined become the control characters of
    // the same number, so nothing disappears.
    EXPECT_EQ(windows_1252_to_utf8("\x81\x9D"), "\xC2\x81\xC2\x9D");
    EXPECT_EQ(windows_1252_to_utf8("ascii"), "ascii");
    EXPECT_TRUE(is_valid_utf8(windows_1252_to_utf8(std::string("\x00\x7F\x80\xFF", 4))));
}
