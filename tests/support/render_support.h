// What the renderer's tests share: one renderer for the process, and the
// output of a command-line tool (poppler's, librsvg's) that reads a file back.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "render/diagram.h"

// Made once; a test fails at once when the fonts are missing.
inline const chess::render::Renderer& renderer() {
    static const chess::render::Renderer* made = [] {
        std::string error;
        const chess::render::Renderer* r = chess::render::process_renderer(error);
        EXPECT_TRUE(r) << error;
        return r;
    }();
    return *made;
}

// Everything the command writes on standard output.
inline std::string run(const std::string& command) {
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return out;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe)) out += buffer;
    pclose(pipe);
    return out;
}
