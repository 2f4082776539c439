#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "core/diagram_record.h"
#include "core/fen.h"
#include "core/jpeg_comments.h"
#include "core/piece_set_mark.h"

using namespace chess;

namespace {

DiagramRecord sample() {
    DiagramRecord r;
    r.position = read_fen("r3k2r/8/8/3pP3/8/8/8/R3K2R w - - 0 1").position;
    r.position[parse_square("e4")] = Piece::Cross;
    r.position[parse_square("d5")] = Piece::Cross;  // over the black pawn: a square holds one thing
    r.position[parse_square("h7")] = Piece::Dot;
    r.caption = "Мат в 2 хода\\ход белых";
    r.square = 50;
    return r;
}

std::string record_text(const std::string& body) { return "chess-diagram/1\n" + body; }

}  // namespace

TEST(DiagramRecord, WrittenAsDocumentedAndReadBack) {
    DiagramRecord r = sample();
    const std::string text = write_diagram_record(r);
    // d5 held a pawn that the cross replaced: the fen leaves it empty.
    EXPECT_EQ(text,
              "chess-diagram/1\n"
              "fen=r3k2r/8/8/4P3/8/8/8/R3K2R w - - 0 1\n"
              "marks=x:e4,d5;o:h7\n"
              "caption=Мат в 2 хода\\\\ход белых\n"
              "square=50\n");
    DiagramRecordResult back = read_diagram_record(text);
    ASSERT_TRUE(back.ok) << back.error;
    EXPECT_EQ(back.record.position, r.position);
    EXPECT_EQ(back.record.caption, r.caption);
    EXPECT_EQ(back.record.square, 50);
}

TEST(DiagramRecord, CaptionsWithLineBreaksAndNoMarksRoundTrip) {
    DiagramRecord r;
    r.position = Position::initial();
    r.caption = "line one\nline two\r\\n";
    r.square = 37;
    const std::string text = write_diagram_record(r);
    EXPECT_NE(text.find("marks=\n"), std::string::npos);
    DiagramRecordResult back = read_diagram_record(text);
    ASSERT_TRUE(back.ok) << back.error;
    EXPECT_EQ(back.record.caption, r.caption);
    EXPECT_EQ(back.record.position, r.position);
}

// The renderer's coloured squares and arrows: a line of their own, only
// when there are any, read back as written; twice is damage.
TEST(DiagramRecord, AnnotationsRoundTripOnALineOfTheirOwn) {
    DiagramRecord r = sample();
    EXPECT_EQ(write_diagram_record(r).find("annotations="), std::string::npos);
    r.annotations = read_annotations("[%csl Ra1,Yh8][%cal Ge2e4,Bg8f6]");
    const std::string text = write_diagram_record(r);
    EXPECT_NE(text.find("\nannotations=[%csl Ra1,Yh8][%cal Ge2e4,Bg8f6]\n"), std::string::npos) << text;
    DiagramRecordResult back = read_diagram_record(text);
    ASSERT_TRUE(back.ok) << back.error;
    EXPECT_EQ(back.record.annotations, r.annotations);
    EXPECT_EQ(back.record.position, r.position);
    back = read_diagram_record(text + "annotations=[%csl Ga2]\n");
    EXPECT_FALSE(back.ok);
    EXPECT_EQ(back.error, "annotations are given twice");
}

TEST(DiagramRecord, OverlongCaptionIsCutAtACharacterSoTheRecordFitsACommentSegment) {
    DiagramRecord r;
    r.square = 50;
    for (int i = 0; i < 40000; ++i) r.caption += "ж";  // two bytes each
    const std::string text = write_diagram_record(r);
    EXPECT_LE(text.size(), diagram_record_max_bytes);
    DiagramRecordResult back = read_diagram_record(text);
    ASSERT_TRUE(back.ok) << back.error;
    EXPECT_GT(back.record.caption.size(), 65000u);
    EXPECT_EQ(r.caption.compare(0, back.record.caption.size(), back.record.caption), 0);
}

TEST(DiagramRecord, KeysInAnyOrderAndUnknownKeysSkipped) {
    DiagramRecordResult r = read_diagram_record(
        record_text("square=40\nmarks=o:a1\narrows=e2e4\nfen=8/8/8/8/8/8/8/7K w - - 0 1"));
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.record.square, 40);
    EXPECT_EQ(r.record.position[parse_square("a1")], Piece::Dot);
    EXPECT_EQ(r.record.position[parse_square("h1")], Piece::WhiteKing);
    EXPECT_EQ(r.record.caption, "");
}

TEST(DiagramRecord, ProblemMensLooksRoundTripInTheirOwnKey) {
    DiagramRecord r;
    r.position = read_fen("4k3/8/8/8/8/8/2Q5/4K1N1 b - - 0 1").position;
    r.position.looks[parse_square("c2")].turn = 2;      // a grasshopper
    r.position.looks[parse_square("g1")].neutral = true;
    r.square = 50;
    const std::string text = write_diagram_record(r);
    EXPECT_NE(text.find("\nlooks=g1:n,c2:2\n"), std::string::npos) << text;
    DiagramRecordResult back = read_diagram_record(text);
    ASSERT_TRUE(back.ok) << back.error;
    EXPECT_EQ(back.record.position, r.position);
    // Plain men write no key: the records of ordinary diagrams are as before.
    EXPECT_EQ(write_diagram_record(sample()).find("looks="), std::string::npos);

    DiagramRecordResult bad =
        read_diagram_record(record_text("fen=8/8/8/8/8/8/8/7K w - - 0 1\nlooks=a1:2\nsquare=50\n"));
    EXPECT_FALSE(bad.ok);
    EXPECT_EQ(bad.line, 3);
    EXPECT_NE(bad.error.find("looks: "), std::string::npos);
}

TEST(DiagramRecord, DamagedRecordsAreRefusedWithTheLine) {
    const std::string fen = "fen=8/8/8/8/8/8/8/7K w - - 0 1\n";
    struct Case {
        std::string text;
        int line;
    };
    const std::vector<Case> cases = {
        {"chess-diagram/2\n" + fen + "square=50\n", 1},
        {"chess-diagram/1x\n" + fen + "square=50\n", 1},
        {"a comment\n", 1},
        {record_text("square=50\n"), 0},
        {record_text(fen), 0},
        {record_text(fen + fen + "square=50\n"), 3},
        {record_text("fen=8/8/8/8/8/8/8/7X w - - 0 1\nsquare=50\n"), 2},
        {record_text("fen=8/8/8/8/8/8/8/7K w - - 0 1 a caption\nsquare=50\n"), 2},
        {record_text(fen + "square=0\n"), 3},
        {record_text(fen + "square=050\n"), 3},
        {record_text(fen + "square=4097\n"), 3},
        {record_text(fen + "square=-5\n"), 3},
        {record_text(fen + "square=50\nmarks=x:h1\n"), 4},  // a mark on the king
        {record_text(fen + "square=50\nmarks=x:e4;x:e5\n"), 4},
        {record_text(fen + "square=50\nmarks=q:e4\n"), 4},
        {record_text(fen + "square=50\nmarks=x:e9\n"), 4},
        {record_text(fen + "square=50\nmarks=x:e4,\n"), 4},
        {record_text(fen + "square=50\ncaption=bad \\t escape\n"), 4},
        {record_text(fen + "square=50\ncaption=ends in \\\n"), 4},
        {record_text(fen + "square=50\ncaption=tab\there\n"), 4},
        {record_text(fen + "square=50\ncaption=\xC0\xAF overlong\n"), 4},
        {record_text(fen + "square=50\ncaption=\xED\xA0\x80 surrogate\n"), 4},
        {record_text(fen + "square=50\n\n"), 4},
        {record_text(fen + "square=50\n=value\n"), 4},
        {record_text(fen + "square=50\nKey=value\n"), 4},
    };
    for (const Case& c : cases) {
        DiagramRecordResult r = read_diagram_record(c.text);
        EXPECT_FALSE(r.ok) << c.text;
        EXPECT_FALSE(r.error.empty()) << c.text;
        EXPECT_EQ(r.line, c.line) << c.text << " -> " << r.error;
    }
    EXPECT_FALSE(read_diagram_record(record_text(fen + "square=50\ncaption=" + std::string(70000, 'a') + "\n")).ok);
}

TEST(DiagramRecord, MarksFieldListsCrossesThenDotsInSquareOrder) {
    Position p;
    p[parse_square("h8")] = Piece::Dot;
    p[parse_square("b2")] = Piece::Cross;
    p[parse_square("a1")] = Piece::Cross;
    EXPECT_EQ(marks_field(p), "x:a1,b2;o:h8");
    p[parse_square("a1")] = p[parse_square("b2")] = Piece::Empty;
    EXPECT_EQ(marks_field(p), "o:h8");
    EXPECT_EQ(marks_field(Position{}), "");
}

namespace {

using Bytes = std::vector<std::uint8_t>;

void append_segment(Bytes& out, std::uint8_t marker, const std::string& payload) {
    out.push_back(0xFF);
    out.push_back(marker);
    const std::size_t length = payload.size() + 2;
    out.push_back(static_cast<std::uint8_t>(length >> 8));
    out.push_back(static_cast<std::uint8_t>(length & 0xFF));
    out.insert(out.end(), payload.begin(), payload.end());
}

// A JPEG's header as encoders lay it out; no scan data is needed.
Bytes header_with(const std::vector<std::string>& comments) {
    Bytes b = {0xFF, 0xD8};
    append_segment(b, 0xE0, std::string("JFIF\0\1\1\0\0\1\0\1\0\0", 14));
    for (const std::string& c : comments) append_segment(b, 0xFE, c);
    append_segment(b, 0xDB, std::string(65, '\x10'));
    append_segment(b, 0xDA, std::string(10, '\0'));
    b.insert(b.end(), {0x12, 0x34, 0xFF, 0xFE, 0x00, 0x05, 'l', 'a', 't', 0xFF, 0xD9});  // after SOS: not walked
    return b;
}

}  // namespace

TEST(JpegComments, EveryCommentBeforeTheScanInOrder) {
    JpegComments c = jpeg_comments(header_with({"first", "", std::string("with\0zero", 9)}));
    ASSERT_TRUE(c.ok) << c.error;
    ASSERT_EQ(c.comments.size(), 3u);
    EXPECT_EQ(c.comments[0], "first");
    EXPECT_EQ(c.comments[1], "");
    EXPECT_EQ(c.comments[2], std::string("with\0zero", 9));
    c = jpeg_comments(header_with({}));
    ASSERT_TRUE(c.ok);
    EXPECT_TRUE(c.comments.empty());
}

TEST(JpegComments, FileReaderSkipsSegmentsAndAgreesWithMemory) {
    Bytes b = header_with({"chess-diagram/1\nfen=8/8/8/8/8/8/8/8 w - - 0 1\nsquare=5\n"});
    std::FILE* f = std::tmpfile();
    ASSERT_NE(f, nullptr);
    std::fwrite(b.data(), 1, b.size(), f);
    std::rewind(f);
    JpegComments c = jpeg_comments(f);
    std::fclose(f);
    ASSERT_TRUE(c.ok) << c.error;
    EXPECT_EQ(c.comments, jpeg_comments(b).comments);
    EXPECT_FALSE(jpeg_file_comments("/nonexistent/x.jpg").ok);
}

TEST(JpegComments, HostileHeadersAreRefusedWithinBounds) {
    Bytes good = header_with({"hello"});
    // Every cut before the scan fails; none reads beyond the bytes.
    const std::size_t sos = 2 + 18 + 9 + 69;
    for (std::size_t n = 0; n < sos; ++n) {
        Bytes cut(good.begin(), good.begin() + static_cast<long>(n));
        EXPECT_FALSE(jpeg_comments(cut).ok) << n;
    }
    EXPECT_TRUE(jpeg_comments(Bytes(good.begin(), good.begin() + static_cast<long>(sos + 2))).ok);

    Bytes short_length = {0xFF, 0xD8, 0xFF, 0xFE, 0x00, 0x01};
    EXPECT_FALSE(jpeg_comments(short_length).ok);
    Bytes past_end = {0xFF, 0xD8, 0xFF, 0xFE, 0xFF, 0xFF, 'a'};
    EXPECT_FALSE(jpeg_comments(past_end).ok);
    Bytes not_a_marker = {0xFF, 0xD8, 0x00, 0x00};
    EXPECT_FALSE(jpeg_comments(not_a_marker).ok);
    EXPECT_FALSE(jpeg_comments(Bytes{'B', 'M', 0, 0}).ok);

    // A long run of fill bytes or of empty segments ends at the bound.
    Bytes fill = {0xFF, 0xD8};
    fill.insert(fill.end(), 100000, 0xFF);
    EXPECT_FALSE(jpeg_comments(fill).ok);
    Bytes many = {0xFF, 0xD8};
    for (int i = 0; i < max_jpeg_segments + 5; ++i) append_segment(many, 0xE1, "");
    append_segment(many, 0xDA, "");
    JpegComments c = jpeg_comments(many);
    EXPECT_FALSE(c.ok);
    EXPECT_NE(c.error.find("segments"), std::string::npos);
    // Fill bytes before a marker and restart markers are allowed.
    Bytes padded = {0xFF, 0xD8, 0xFF, 0xFF, 0xFF, 0xFE, 0x00, 0x03, 'z', 0xFF, 0xD0, 0xFF, 0xDA};
    c = jpeg_comments(padded);
    ASSERT_TRUE(c.ok) << c.error;
    EXPECT_EQ(c.comments, std::vector<std::string>{"z"});
}

namespace {

std::string write_file(const std::string& name, const Bytes& bytes) {
    const std::string path = ::testing::TempDir() + name;
    std::FILE* f = std::fopen(path.c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    return path;
}

}  // namespace

TEST(DiagramPicture, TheOneRecordAmongOtherCommentsIsRead) {
    DiagramRecord r = sample();
    const std::string path = write_file("one.jpg", header_with({"made by a camera", write_diagram_record(r)}));
    DiagramRecordResult back = read_diagram_picture(path);
    ASSERT_TRUE(back.ok) << back.error;
    EXPECT_EQ(back.record.position, r.position);
    EXPECT_EQ(back.record.caption, r.caption);
}

TEST(DiagramPicture, PicturesWithoutOneGoodRecordAreRefusedWithTheReason) {
    const std::string record = write_diagram_record(sample());
    struct Case {
        Bytes bytes;
        std::string says;
    };
    const std::vector<Case> cases = {
        {header_with({}), "no diagram record"},
        {header_with({"just a comment"}), "no diagram record"},
        {header_with({record, record}), "two diagram records"},
        {header_with({"chess-diagram/1\nfen=8/8/8 w - - 0 1\nsquare=50\n"}), "damaged diagram record: fen: "},
        {header_with({"chess-diagram/7\n"}), "damaged diagram record: record version \"7\""},
        {Bytes{'B', 'M', 1, 2, 3}, "not a JPEG file"},
    };
    int n = 0;
    for (const Case& c : cases) {
        DiagramRecordResult r = read_diagram_picture(write_file("bad" + std::to_string(++n) + ".jpg", c.bytes));
        EXPECT_FALSE(r.ok);
        EXPECT_NE(r.error.find(c.says), std::string::npos) << r.error;
    }
    EXPECT_FALSE(read_diagram_picture(::testing::TempDir() + "missing.jpg").ok);
}

// The set key a marked piece set adds: written after the square, read back,
// never written for an unmarked set, refused when damaged.
TEST(DiagramRecord, SetKeyOfAMarkedPieceSet) {
    DiagramRecord r = sample();
    EXPECT_EQ(write_diagram_record(r).find("set="), std::string::npos);
    r.set = "book";
    const std::string text = write_diagram_record(r);
    EXPECT_TRUE(text.ends_with("square=50\nset=book\n")) << text;
    DiagramRecordResult back = read_diagram_record(text);
    ASSERT_TRUE(back.ok) << back.error;
    EXPECT_EQ(back.record.set, "book");
    EXPECT_EQ(back.record.square, 50);

    const std::string base = record_text("fen=8/8/8/8/8/8/8/8 w - - 0 1\nsquare=40\n");
    EXPECT_FALSE(read_diagram_record(base + "set=book\nset=book\n").ok);
    EXPECT_FALSE(read_diagram_record(base + "set=Book Set\n").ok);
    EXPECT_FALSE(read_diagram_record(base + "set=\n").ok);
}

// make_piece_set's mark: its documented form, read back, and a set counted
// as marked only when all 32 pictures carry the same sound mark.
TEST(PieceSetMark, WrittenAsDocumentedAndReadBack) {
    EXPECT_EQ(write_piece_set_mark({"book", 50}), "chess-piece-set/1\nset=book\nsquare=50\n");
    PieceSetMarkResult back = read_piece_set_mark("chess-piece-set/1\nsquare=27\nlater=skipped\nset=book");
    ASSERT_TRUE(back.ok) << back.error;
    EXPECT_EQ(back.mark.set, "book");
    EXPECT_EQ(back.mark.square, 27);
    for (const char* bad : {"chess-piece-set/2\nset=book\nsquare=50\n", "chess-piece-set/1\nset=book\n",
                            "chess-piece-set/1\nsquare=50\n", "chess-piece-set/1\nset=a b\nsquare=50\n",
                            "chess-piece-set/1\nset=book\nsquare=050\n", "chess-piece-set/1\nset=x\nset=x\nsquare=5\n",
                            "chess-diagram/1\nset=book\nsquare=50\n"})
        EXPECT_FALSE(read_piece_set_mark(bad).ok) << bad;
}

TEST(PieceSetMark, AFolderIsMarkedOnlyWhenEveryPictureAgrees) {
    const std::string folder = ::testing::TempDir() + "set/";
    std::filesystem::create_directories(folder);
    auto fill = [&](const std::string& mark) {
        for (int n = 1; n <= 32; ++n) write_file("set/" + std::to_string(n) + ".jpg", header_with({"camera", mark}));
    };
    fill(write_piece_set_mark({"book", 40}));
    EXPECT_EQ(marked_piece_set(folder, 40), "book");
    EXPECT_EQ(marked_piece_set(folder, 50), "") << "another square size than the pictures'";
    write_file("set/17.jpg", header_with({write_piece_set_mark({"other", 40})}));
    EXPECT_EQ(marked_piece_set(folder, 40), "") << "one picture from another set";
    write_file("set/17.jpg", header_with({}));
    EXPECT_EQ(marked_piece_set(folder, 40), "") << "one picture without the mark";
    fill("chess-piece-set/1\nset=book\n");
    EXPECT_EQ(marked_piece_set(folder, 40), "") << "damaged marks";
    EXPECT_EQ(marked_piece_set(folder + "none/", 40), "");
}
