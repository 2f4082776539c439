// The process's renderer: one for every caller, and when the fonts are
// missing, the same reason at every call.
#include <gtest/gtest.h>

#include <string>

#include "render/diagram.h"

using chess::render::process_renderer;

TEST(ProcessRenderer, OneForEveryCaller) {
    std::string error;
    const chess::render::Renderer* first = process_renderer(error);
    ASSERT_NE(first, nullptr) << error;
    EXPECT_EQ(process_renderer(error), first);
    EXPECT_EQ(error, "");
}

// Run with a font configuration that has no fonts (no_fonts.conf).
TEST(ProcessRendererWithoutFonts, SameReasonEveryCall) {
    std::string first, second;
    EXPECT_EQ(process_renderer(first), nullptr);
    EXPECT_NE(first.find("FreeSerif"), std::string::npos) << first;
    EXPECT_NE(first.find("fonts-freefont-ttf"), std::string::npos) << first;
    EXPECT_EQ(process_renderer(second), nullptr);
    EXPECT_EQ(second, first);
}
