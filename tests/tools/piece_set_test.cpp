// The real make_piece_set, run as a program without a display; its pictures
// read back through the toolkit's JPEG decoder.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/piece_set_mark.h"
#include "tests/support/grey_picture.h"
#include "tests/support/temp_dir.h"

namespace {

struct ToolRun {
    int status = -1;
    std::string error;  // standard error
};

std::string shell_quoted(const std::string& text) {
    std::string out = "'";
    for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// prefix: put before the program on the shell's command line (VAR=value).
// No display reaches the program.
ToolRun run_tool(const std::vector<std::string>& args, const std::string& prefix = "") {
    static TempDir scratch;
    std::string command = "env -u DISPLAY " + prefix + " " + shell_quoted(MAKE_PIECE_SET);
    for (const std::string& arg : args) command += " " + shell_quoted(arg);
    std::string error_file = scratch.file("stderr");
    command += " 2>" + shell_quoted(error_file);
    int status = std::system(command.c_str());
    ToolRun run;
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::ifstream in(error_file, std::ios::binary);
    run.error.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return run;
}

bool one_line(const std::string& text) {
    return text.size() > 1 && text.back() == '\n' && text.find('\n') == text.size() - 1;
}

// One set per square size, drawn once for all tests: at 50 over a folder
// whose picture 1 is not a picture at all, at 27 into a folder two levels
// below one that exists.
std::string set_folder(int s) {
    static std::map<int, std::unique_ptr<TempDir>> sets;
    auto& dir = sets[s];
    if (!dir) {
        dir = std::make_unique<TempDir>();
        std::string folder = s == 50 ? dir->folder() : dir->folder() + "a/b";
        if (s == 50) std::ofstream(dir->file("1.jpg")) << "not";
        ToolRun run = run_tool({folder, std::to_string(s)});
        EXPECT_EQ(run.status, 0) << run.error;
        EXPECT_EQ(run.error, "");
    }
    return s == 50 ? dir->folder() : dir->folder() + "a/b/";
}

// Grey level (0 black, 255 white) of one pixel.
int grey(const GreyPicture& image, int x, int y) { return image.at(x, y); }

double mean_grey(const GreyPicture& image, const std::vector<bool>& where) {
    int s = image.width;
    long long sum = 0, count = 0;
    for (int y = 0; y < s; ++y) {
        for (int x = 0; x < s; ++x) {
            if (!where[y * s + x]) continue;
            sum += grey(image, x, y);
            ++count;
        }
    }
    return count ? static_cast<double>(sum) / count : -1;
}

// What a piece covers on its light square: every pixel that the white
// paper around it cannot reach (four-way) without crossing dark ink.
std::vector<bool> silhouette(const GreyPicture& light) {
    int s = light.width;
    std::vector<bool> outside(s * s, false);
    std::vector<std::pair<int, int>> stack;
    auto visit = [&](int x, int y) {
        if (x < 0 || y < 0 || x >= s || y >= s || outside[y * s + x] || grey(light, x, y) < 128) return;
        outside[y * s + x] = true;
        stack.emplace_back(x, y);
    };
    for (int i = 0; i < s; ++i) {
        visit(i, 0);
        visit(i, s - 1);
        visit(0, i);
        visit(s - 1, i);
    }
    while (!stack.empty()) {
        auto [x, y] = stack.back();
        stack.pop_back();
        visit(x + 1, y);
        visit(x - 1, y);
        visit(x, y + 1);
        visit(x, y - 1);
    }
    std::vector<bool> inside(s * s);
    for (int i = 0; i < s * s; ++i) inside[i] = !outside[i];
    return inside;
}

// The pixels at least margin away from the region.
std::vector<bool> far_from(const std::vector<bool>& region, int s, int margin) {
    std::vector<bool> far(s * s, true);
    for (int y = 0; y < s; ++y) {
        for (int x = 0; x < s; ++x) {
            if (!region[y * s + x]) continue;
            for (int dy = -margin; dy <= margin; ++dy)
                for (int dx = -margin; dx <= margin; ++dx)
                    if (x + dx >= 0 && y + dy >= 0 && x + dx < s && y + dy < s) far[(y + dy) * s + x + dx] = false;
        }
    }
    return far;
}

int count(const std::vector<bool>& region) {
    int n = 0;
    for (bool b : region) n += b;
    return n;
}

class PieceSet : public testing::Test {
protected:
    // Picture n of the set for size s; empty when it cannot be read.
    GreyPicture picture(int s, int n) { return load_jpeg(set_folder(s) + std::to_string(n) + ".jpg"); }
};

TEST_F(PieceSet, WritesAllPicturesAtTheSizesTheBoardAssumes) {
    for (int s : {50, 27}) {
        SCOPED_TRACE("square size " + std::to_string(s));
        for (int n = 1; n <= 32; ++n) {
            GreyPicture p = picture(s, n);
            ASSERT_FALSE(p.empty()) << "picture " << n;
            int width = n == 27 ? 9 * s : n == 28 ? s / 2 : s;
            int height = n == 27 ? s / 2 : n == 28 ? 8 * s : s;
            EXPECT_EQ(p.width, width) << "picture " << n;
            EXPECT_EQ(p.height, height) << "picture " << n;
        }
    }
}

// Every picture names the suite's own set at its square size, so that the
// editor knows the set from any other raster set.
TEST_F(PieceSet, EveryPictureCarriesTheSetsMark) {
    for (int s : {50, 27}) {
        EXPECT_EQ(chess::marked_piece_set(set_folder(s), s), chess::own_piece_set) << "square size " << s;
        EXPECT_EQ(chess::marked_piece_set(set_folder(s), s + 1), "");
    }
}

TEST_F(PieceSet, LightSquaresAreWhiteAndDarkOnesHatched) {
    for (int s : {50, 27}) {
        SCOPED_TRACE("square size " + std::to_string(s));
        GreyPicture light = picture(s, 25), dark = picture(s, 26);
        ASSERT_FALSE(light.empty() || dark.empty());
        for (int y = 0; y < s; ++y)
            for (int x = 0; x < s; ++x) ASSERT_GE(light.at(x, y), 247) << x << "," << y;
        std::vector<bool> all(s * s, true);
        // Fine lines: a mid grey on the whole, made of ink and paper.
        EXPECT_GT(mean_grey(dark, all), 130);
        EXPECT_LT(mean_grey(dark, all), 210);
        int inked = 0, paper = 0;
        for (int y = 0; y < s; ++y) {
            for (int x = 0; x < s; ++x) {
                inked += grey(dark, x, y) < 80;
                paper += grey(dark, x, y) > 180;
            }
        }
        EXPECT_GT(inked, s * s / 6);
        EXPECT_GT(paper, s * s / 3);
    }
}

// The odd picture of each pair on a light square, the even one on a dark
// square: within the piece's outline the two agree, so the dark square's
// hatching shows neither through a white piece's body nor through a black
// piece's white details, and both show one piece. Around it the dark
// picture is hatched.
TEST_F(PieceSet, EachPairShowsOnePieceOnAWhiteBody) {
    for (int s : {50, 27}) {
        std::vector<std::vector<bool>> shapes;
        std::vector<double> tones;  // the mean grey within each piece's outline
        for (int light_id = 1; light_id <= 31; light_id += 2) {
            if (light_id == 25 || light_id == 27) continue;
            SCOPED_TRACE("square size " + std::to_string(s) + ", pictures " + std::to_string(light_id) + " and " +
                         std::to_string(light_id + 1));
            GreyPicture light = picture(s, light_id), dark = picture(s, light_id + 1);
            ASSERT_FALSE(light.empty() || dark.empty());
            std::vector<bool> shape = silhouette(light);
            int area = count(shape);
            EXPECT_GT(area, light_id < 25 ? s * s / 8 : s * s / 30);

            int disagree = 0;
            for (int y = 0; y < s; ++y)
                for (int x = 0; x < s; ++x)
                    if (shape[y * s + x] && std::abs(grey(light, x, y) - grey(dark, x, y)) > 64) ++disagree;
            EXPECT_EQ(disagree, 0);

            double inside = mean_grey(light, shape);
            if (light_id <= 11) {
                EXPECT_GT(inside, 75) << "a white piece has a white body";
            } else if (light_id <= 23) {
                EXPECT_LT(inside, 70) << "a black piece is black";
            }
            double around = mean_grey(dark, far_from(shape, s, 3));
            EXPECT_GT(around, 130);
            EXPECT_LT(around, 210);
            if (light_id < 25) {
                shapes.push_back(shape);
                tones.push_back(inside);
            }
        }
        for (int k = 0; k < 6; ++k) EXPECT_GT(tones[k] - tones[k + 6], 30) << "white and black piece " << k + 1;
        // Twelve different pieces.
        for (std::size_t a = 0; a < shapes.size(); ++a) {
            for (std::size_t b = a + 1; b < shapes.size(); ++b) {
                // A white piece and its black counterpart may share the outline.
                if (a + 6 == b) continue;
                int differ = 0;
                for (int i = 0; i < s * s; ++i) differ += shapes[a][i] != shapes[b][i];
                EXPECT_GT(differ, s) << "pieces " << a + 1 << " and " << b + 1;
            }
        }
    }
}

// The diagram as the editor puts it together: strips 27 above and below,
// 28 left and right, the squares between. The strips' line closes round the
// board, along its edge.
TEST_F(PieceSet, FrameStripsDrawALineAlongTheBoardsEdge) {
    for (int s : {50, 27}) {
        SCOPED_TRACE("square size " + std::to_string(s));
        int h = s / 2;
        GreyPicture light = picture(s, 25), dark = picture(s, 26), across = picture(s, 27), down = picture(s, 28);
        ASSERT_FALSE(light.empty() || dark.empty() || across.empty() || down.empty());
        GreyPicture diagram(9 * s, 9 * s + h);
        diagram.place(across, 0, 0);
        diagram.place(across, 0, 8 * s + h);
        diagram.place(down, 0, h);
        diagram.place(down, 8 * s + h, h);
        for (int i = 1; i <= 8; ++i)
            for (int j = 1; j <= 8; ++j) diagram.place((i + j) % 2 ? dark : light, i * s - h, j * s - h);

        // The board spans columns and rows s - s/2 to 9s - s/2 - 1.
        int first = s - h, last = 9 * s - h - 1;
        int top = h - 1, left = h - 1, bottom = last + 1, right = last + 1;
        if (s % 2 == 0) {
            EXPECT_EQ(top, first - 1);
            EXPECT_EQ(left, first - 1);
        }
        int gaps = 0;
        for (int x = left; x <= right; ++x) gaps += (grey(diagram, x, top) > 100) + (grey(diagram, x, bottom) > 100);
        for (int y = top; y <= bottom; ++y) gaps += (grey(diagram, left, y) > 100) + (grey(diagram, right, y) > 100);
        EXPECT_EQ(gaps, 0);
        // A line, not a black band: paper in the middle of every strip.
        EXPECT_GT(grey(diagram, 4 * s, h / 2), 200);
        EXPECT_GT(grey(diagram, 4 * s, 8 * s + h + h / 2), 200);
        EXPECT_GT(grey(diagram, h / 2, 4 * s), 200);
        EXPECT_GT(grey(diagram, 8 * s + h + h / 2, 4 * s), 200);
    }
}

TEST_F(PieceSet, RefusesBadArgumentsWithOneLineAndWritesNothing) {
    TempDir dir;
    std::string folder = dir.file("set");
    const std::vector<std::vector<std::string>> bad = {
        {}, {""}, {folder, "15"}, {folder, "61"}, {folder, "201"}, {folder, "5x"}, {folder, "-50"}, {folder, ""},
        {folder, "99999999999"}, {folder, "50", "1"},
    };
    for (const auto& args : bad) {
        std::string shown;
        for (const std::string& arg : args) shown += "[" + arg + "] ";
        SCOPED_TRACE(shown);
        ToolRun run = run_tool(args);
        EXPECT_EQ(run.status, 1);
        EXPECT_TRUE(one_line(run.error)) << run.error;
        EXPECT_FALSE(std::filesystem::exists(folder));
    }
}

// The largest square says why it is the largest: the editor's window.
TEST_F(PieceSet, SizesTheEditorCanShow) {
    TempDir dir;
    for (int s : {16, 60}) {
        ToolRun run = run_tool({dir.file(std::to_string(s)), std::to_string(s)});
        EXPECT_EQ(run.status, 0) << run.error;
        GreyPicture across = load_jpeg(dir.file(std::to_string(s) + "/27.jpg"));
        EXPECT_EQ(across.width, 9 * s);
    }
    ToolRun run = run_tool({dir.file("big"), "61"});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(one_line(run.error)) << run.error;
    EXPECT_NE(run.error.find("800 x 620"), std::string::npos) << run.error;
    EXPECT_NE(run.error.find("60"), std::string::npos) << run.error;
}

TEST_F(PieceSet, FailsWithOneLineWhenAFontIsMissingOrASaveFails) {
    TempDir dir;
    // A font configuration that knows no fonts at all.
    std::ofstream(dir.file("fonts.conf")) << "<?xml version=\"1.0\"?><fontconfig></fontconfig>\n";
    ToolRun run = run_tool({dir.file("set")}, "FONTCONFIG_FILE=" + shell_quoted(dir.file("fonts.conf")));
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(one_line(run.error)) << run.error;
    EXPECT_NE(run.error.find("FreeSerif"), std::string::npos) << run.error;
    EXPECT_NE(run.error.find("fonts-freefont-ttf"), std::string::npos) << run.error;
    EXPECT_FALSE(std::filesystem::exists(dir.file("set")));

    // A folder where picture 5 cannot be written, and a folder that is a file.
    std::filesystem::create_directories(dir.file("blocked/5.jpg"));
    run = run_tool({dir.file("blocked")});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(one_line(run.error)) << run.error;
    EXPECT_NE(run.error.find("5.jpg"), std::string::npos) << run.error;

    std::ofstream(dir.file("plain")) << "x";
    run = run_tool({dir.file("plain")});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(one_line(run.error)) << run.error;
}

}  // namespace
