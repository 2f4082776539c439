#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include "input/position_list.h"
#include "core/fen.h"

using namespace chess::input;

namespace {

// The text fed through a pipe, as standard input would give it: no size
// known beforehand, arriving in pieces.
std::vector<ListEntry> read_text(const std::string& text, bool* ok = nullptr) {
    int ends[2];
    EXPECT_EQ(pipe(ends), 0);
    std::thread writer([&] {
        std::size_t done = 0;
        while (done < text.size()) {
            const ssize_t n = write(ends[1], text.data() + done, std::min<std::size_t>(text.size() - done, 7000));
            if (n <= 0) break;
            done += static_cast<std::size_t>(n);
        }
        close(ends[1]);
    });
    std::vector<ListEntry> entries;
    std::string error;
    const bool read =
        read_position_list(ends[0], "list.txt", [&](ListEntry& entry) { entries.push_back(entry); }, error);
    writer.join();
    close(ends[0]);
    if (ok) *ok = read;
    return entries;
}

const char* const lone_kings = "8/8/8/4k3/8/8/8/4K3 w - - 0 1";

}  // namespace

TEST(PositionList, MarkCrlfCommentsAndCaptions) {
    const std::string text = std::string("\xEF\xBB\xBF") + lone_kings + " Мат в 2 хода\r\n" +
                             "# a comment\r\n"
                             "\r\n"
                             "   \t\n"
                             "   # an indented comment\n"
                             "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1\n" +
                             "2k5/8/8/8/8/8/8/4K2R w K - bm O-O; id \"castle.1\"; c1 \"later\"; pv O-O Kd7;\r\n" +
                             "8/8/8/4k3/8/8/8/4K3";  // the last line without its line end
    bool ok = false;
    const auto entries = read_text(text, &ok);
    ASSERT_TRUE(ok);
    ASSERT_EQ(entries.size(), 4u);
    for (const ListEntry& e : entries) EXPECT_TRUE(e.ok) << entry_message(e);
    EXPECT_EQ(entries[0].line, 1);
    EXPECT_EQ(entries[0].caption, "Мат в 2 хода");
    EXPECT_EQ(entries[1].line, 6);
    EXPECT_EQ(entries[1].caption, "");
    EXPECT_EQ(chess::write_fen(entries[1].position), "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1");
    EXPECT_EQ(entries[2].line, 7);
    EXPECT_EQ(entries[2].caption, "castle.1");
    EXPECT_EQ(entries[2].best_moves, std::vector<std::string>{"O-O"});
    EXPECT_EQ(entries[2].variation, (std::vector<std::string>{"O-O", "Kd7"}));
    EXPECT_EQ(entries[2].comment, "later");
    EXPECT_EQ(entries[3].line, 8);
    // A mark anywhere but at the start is no mark: the line is wrong.
    const auto late_mark = read_text(std::string("\n\xEF\xBB\xBF") + lone_kings + "\n");
    ASSERT_EQ(late_mark.size(), 1u);
    EXPECT_FALSE(late_mark[0].ok);
}

// A problem's turned and neutral men: an EPD looks operation, or a #looks
// comment before a FEN line (CRLF, as a list edited elsewhere may have it);
// a malformed one refuses the position it belongs to, at its own line.
TEST(PositionList, MensLooksFromAnEpdOperationOrACommentBeforeAFenLine) {
    const std::string text = "3R3Q/8/5n2/8/4k3/8/8/1K6 b - - c0 \"h#2\"; looks f6:2,d8:n,h8:2;\n"
                             "#looks f6:2,d8:n,h8:2\r\n"
                             "3R3Q/8/5n2/8/4k3/8/8/1K6 b - - 0 1 h#2\r\n"
                             "3R3Q/8/5n2/8/4k3/8/8/1K6 b - - 0 1 plain again\n"
                             "#looks a1:2\n"
                             "# a comment between\n"
                             "3R3Q/8/5n2/8/4k3/8/8/1K6 b - - 0 1\n"
                             "3R3Q/8/5n2/8/4k3/8/8/1K6 b - - looks e1:5;\n";
    const auto entries = read_text(text);
    ASSERT_EQ(entries.size(), 5u);
    for (int i : {0, 1, 2}) ASSERT_TRUE(entries[static_cast<std::size_t>(i)].ok) << entry_message(entries[i]);
    EXPECT_EQ(entries[0].position.looks[chess::parse_square("f6")], (chess::Looks{2, false}));
    EXPECT_EQ(entries[0].position.looks[chess::parse_square("d8")], (chess::Looks{0, true}));
    EXPECT_EQ(entries[1].position, entries[0].position);
    EXPECT_EQ(entries[1].caption, "h#2");
    EXPECT_EQ(entries[1].line, 3);
    EXPECT_TRUE(entries[2].position.looks[chess::parse_square("h8")].plain());
    EXPECT_FALSE(entries[3].ok);
    EXPECT_EQ(entries[3].line, 5);
    EXPECT_EQ(entries[3].error, "looks: looks for a1, which holds no man");
    EXPECT_FALSE(entries[4].ok);
    EXPECT_EQ(entries[4].line, 8);
    EXPECT_NE(entries[4].error.find("looks: "), std::string::npos);
}

TEST(PositionList, BadLinesAreReportedWithLineAndColumn) {
    const auto entries = read_text(std::string(lone_kings) + "\n" + "  8/8/8/4k3/8/8/8/4K3 z\n" +
                                   "8/8/8/4k3/8/8/8/4K3 w - - id \"open\n" + lone_kings + "\n");
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_TRUE(entries[0].ok);
    EXPECT_FALSE(entries[1].ok);
    EXPECT_EQ(entry_message(entries[1]), "list.txt:2:23: side to move must be 'w' or 'b', not \"z\"");
    EXPECT_FALSE(entries[2].ok);
    EXPECT_EQ(entry_message(entries[2]), "list.txt:3:30: string of 'id' has no closing '\"'");
    EXPECT_TRUE(entries[3].ok);
    EXPECT_EQ(entries[3].line, 4);

    // A quoted field that is not UTF-8 is not passed on as it is.
    const auto quoted = read_text("8/8/8/4k3/8/8/8/4K3 \xFF\xFE\n");
    ASSERT_EQ(quoted.size(), 1u);
    EXPECT_EQ(entry_message(quoted[0]),
              "list.txt:1:21: side to move must be 'w' or 'b', not \"\xEF\xBF\xBD\xEF\xBF\xBD\"");
}

TEST(PositionList, LongLinesAreSkippedWithoutBeingHeld) {
    // A line of exactly the limit is taken (with a CRLF end too); one byte
    // more is refused, also at the end of the input without a line end.
    const std::string pad = std::string(lone_kings) + " ";
    const std::string at_limit = pad + std::string(max_line_bytes - pad.size(), 'x');
    const std::string huge(5 * 1024 * 1024, 'y');
    const std::string text = at_limit + "\r\n" + at_limit + "x\n" + huge + "\n" + lone_kings + "\n" + huge;

    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    std::thread writer([&] {
        std::size_t done = 0;
        while (done < text.size()) {
            const ssize_t n = write(ends[1], text.data() + done, text.size() - done);
            if (n <= 0) break;
            done += static_cast<std::size_t>(n);
        }
        close(ends[1]);
    });
    LineReader reader(ends[0]);
    std::string line;
    std::vector<LineReader::Status> seen;
    std::size_t largest = 0;
    while (true) {
        const auto status = reader.next(line);
        largest = std::max(largest, reader.buffer_size());
        if (status == LineReader::Status::End || status == LineReader::Status::Failed) break;
        seen.push_back(status);
        if (seen.size() == 1) {
            EXPECT_EQ(line.size(), max_line_bytes);
        }
        if (seen.size() == 4) {
            EXPECT_EQ(line, lone_kings);
        }
    }
    writer.join();
    close(ends[0]);
    using S = LineReader::Status;
    EXPECT_EQ(seen, (std::vector<S>{S::Line, S::TooLong, S::TooLong, S::Line, S::TooLong}));
    EXPECT_EQ(reader.line_number(), 5);
    EXPECT_LE(largest, max_line_bytes + 3 * 64 * 1024);

    const auto entries = read_text(at_limit + "x\n" + lone_kings + "\n");
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entry_message(entries[0]), "list.txt:1: line longer than 65536 bytes, skipped");
    EXPECT_TRUE(entries[1].ok);
}

TEST(PositionList, CaptionsAreValidUtf8) {
    const std::string r = "\xEF\xBF\xBD";
    const auto entries = read_text(std::string(lone_kings) + " \xD0\x9C\xD0 \xFF\xFE\n");
    ASSERT_EQ(entries.size(), 1u);
    ASSERT_TRUE(entries[0].ok);
    EXPECT_EQ(entries[0].caption, "М" + r + " " + r + r);
}

TEST(PositionList, EmptyInputsAndReadFailures) {
    EXPECT_TRUE(read_text("").empty());
    EXPECT_TRUE(read_text("\xEF\xBB\xBF").empty());
    EXPECT_TRUE(read_text("\n\r\n# only comments\n").empty());

    std::vector<ListEntry> entries;
    std::string error;
    EXPECT_FALSE(read_position_list(-1, "gone.txt", [&](ListEntry& entry) { entries.push_back(entry); }, error));
    EXPECT_EQ(error, "gone.txt: Bad file descriptor");
}

// Line ends as other programs write them: LF, CRLF and lone CRs mixed,
// a CRLF split between two reads (a regular file reads in whole chunks, so
// the CR is the last byte of the first), a byte-order mark, and a NUL byte
// that refuses its line, with its column, instead of being read as text.
TEST(PositionList, LineEndsByteOrderMarkAndNul) {
    auto entries = read_text("\xEF\xBB\xBF" + std::string(lone_kings) + " One\r" + lone_kings + " Two\r\n\r" +
                             lone_kings + " Three\n" + lone_kings + std::string(" Fo\0ur\r", 7) + lone_kings +
                             " Five\r");
    ASSERT_EQ(entries.size(), 5u);
    EXPECT_EQ(entries[0].caption, "One");
    EXPECT_EQ(entries[1].caption, "Two");
    EXPECT_EQ(entries[2].line, 4);
    EXPECT_EQ(entries[2].caption, "Three");
    EXPECT_FALSE(entries[3].ok);
    EXPECT_EQ(entry_message(entries[3]), "list.txt:5:33: a NUL byte");
    EXPECT_EQ(entries[4].caption, "Five");

    const std::string path = ::testing::TempDir() + "/split-crlf.fen";
    std::string text(64 * 1024 - 1, '#');
    text += "\r\n" + std::string(lone_kings) + " After\r\r";
    ASSERT_EQ(text[64 * 1024 - 1], '\r');
    FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_TRUE(file);
    std::fwrite(text.data(), 1, text.size(), file);
    std::fclose(file);
    const int fd = open(path.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    entries.clear();
    std::string error;
    EXPECT_TRUE(read_position_list(fd, "split.fen", [&](ListEntry& entry) { entries.push_back(entry); }, error));
    close(fd);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].line, 2);
    EXPECT_EQ(entries[0].caption, "After");
}
