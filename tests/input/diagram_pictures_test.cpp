// Diagram pictures as diagram_batch's input: which inputs are pictures, what
// one gives, and a folder's pictures in name order.
#include <gtest/gtest.h>

#include <filesystem>
#include <cstdio>
#include <fstream>
#include <string>
#include <utility>

#include "input/diagram_items.h"
#include "input/diagram_pictures.h"
#include "input/input_source.h"
#include "tests/support/temp_dir.h"
#include "core/diagram_record.h"
#include "core/fen.h"

namespace {

class DiagramPictures : public ::testing::Test {
protected:
    std::string write(const std::string& name, const std::string& bytes) {
        const std::string path = (folder / name).string();
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }
    // A JPEG's header with one comment; no scan is needed to read it.
    static std::string picture_with(const std::string& comment) {
        std::string out = "\xFF\xD8\xFF\xFE";
        out += static_cast<char>((comment.size() + 2) >> 8);
        out += static_cast<char>((comment.size() + 2) & 0xFF);
        return out + comment + "\xFF\xDA";
    }
    TempDir scratch;
    std::filesystem::path folder = scratch.path();
};

}  // namespace

TEST_F(DiagramPictures, PicturesByNameOrContent) {
    EXPECT_TRUE(chess::input::kind_of(write("a.JPG", "anything")) == chess::input::Kind::Picture);
    EXPECT_TRUE(chess::input::kind_of(write("b.jpeg", "")) == chess::input::Kind::Picture);
    EXPECT_TRUE(chess::input::kind_of(write("no-extension", "\xFF\xD8\xFF")) == chess::input::Kind::Picture);
    EXPECT_FALSE(chess::input::kind_of(write("list.fen", "8/8/8/8/8/8/8/8 w - - 0 1")) == chess::input::Kind::Picture);
    EXPECT_FALSE(chess::input::kind_of(write("dir.jpg.d", "x")) == chess::input::Kind::Picture);
}

TEST_F(DiagramPictures, APictureGivesItsPositionMarksAndOneLineCaption) {
    chess::DiagramRecord record;
    record.position = chess::read_fen("4k3/8/8/8/8/8/8/4K3").position;
    record.position[chess::parse_square("d4")] = chess::Piece::Dot;
    record.caption = "Две\nстроки";
    record.square = 50;
    const std::string path = write("saved.jpg", picture_with(chess::write_diagram_record(record)));
    chess::input::ListEntry entry = chess::input::read_diagram_picture(path, "saved.jpg");
    ASSERT_TRUE(entry.ok) << entry.error;
    EXPECT_EQ(entry.position.squares, record.position.squares);
    EXPECT_EQ(entry.caption, "Две строки");

    entry = chess::input::read_diagram_picture(write("plain.jpg", picture_with("a camera")), "plain.jpg");
    EXPECT_FALSE(entry.ok);
    EXPECT_EQ(chess::input::entry_message(entry), "plain.jpg: the picture holds no diagram record (it was not saved by diagram_editor)");
}

TEST_F(DiagramPictures, AFolderGivesItsPicturesInNameOrder) {
    write("b.jpg", "");
    write("a.JPEG", "");
    write("c.txt", "");
    write("e.pdf", "");
    write("f.Png", "");
    write("g.svg", "");
    std::filesystem::create_directory(folder / "d.jpg");
    std::vector<std::string> paths;
    std::string error;
    ASSERT_TRUE(chess::input::diagram_pictures_in(folder.string(), paths, error)) << error;
    std::vector<std::string> names;
    for (const std::string& path : paths) names.push_back(std::filesystem::path(path).filename().string());
    EXPECT_EQ(names, (std::vector<std::string>{"a.JPEG", "b.jpg", "e.pdf", "f.Png", "g.svg"}));
    EXPECT_FALSE(chess::input::diagram_pictures_in((folder / "missing").string(), paths, error));
    EXPECT_NE(error.find("missing"), std::string::npos);
}

// Files as other programs leave ours: an SVG an editor saved again (its
// record in a CDATA section, another as entities, a foreign <metadata>
// between them), a PNG whose record came back as tEXt among other chunks,
// and a PDF whose entries were written by hand in both string forms, one
// of them twice (the later update wins).
TEST_F(DiagramPictures, RewrittenFilesGiveEveryRecordInOrder) {
    chess::DiagramRecord first, second;
    first.position = chess::read_fen("4k3/8/8/8/8/8/8/4K3 w - - 0 1").position;
    first.caption = "Этюд <1>";
    first.square = 18;
    second.position = chess::read_fen("8/8/8/8/8/8/8/K6k b - - 0 1").position;
    second.caption = "B & W";
    second.square = 18;
    second.annotations = chess::read_annotations("[%cal Ra1a8]");
    std::string escaped;
    for (char c : chess::write_diagram_record(second)) escaped += c == '\n' ? std::string("&#10;") : c == '&' ? std::string("&amp;") : std::string(1, c);
    const std::string svg = "<?xml version=\"1.0\"?>\n<!-- saved again -->\n<svg xmlns=\"http://www.w3.org/2000/svg\">\n"
                            "  <metadata id=\"m1\"><![CDATA[" + chess::write_diagram_record(first) + "]]></metadata>\n"
                            "  <metadata><rdf:RDF/></metadata><metadata/>\n"
                            "  <metadata id=\"m2\">" + escaped + "</metadata>\n</svg>\n";
    auto chunk = [](const std::string& type, const std::string& data) {
        std::string out;
        for (int shift : {24, 16, 8, 0}) out += static_cast<char>(data.size() >> shift & 0xFF);
        return out + type + data + "CRC!";
    };
    const std::string png = std::string("\x89PNG\r\n\x1a\n", 8) + chunk("IHDR", std::string(13, '\1')) +
                            chunk("tEXt", std::string("Software\0other", 14)) +
                            chunk("tEXt", std::string("chess-diagram\0", 14) + chess::write_diagram_record(first)) +
                            chunk("IDAT", "pixels") +
                            chunk("iTXt", std::string("chess-diagram\0\0\0\0\0", 18) + chess::write_diagram_record(second)) +
                            chunk("IEND", "");
    std::string literal;
    for (char c : chess::write_diagram_record(second)) literal += c == '\n' ? std::string("\\n") : c == '(' ? std::string("\\(") : std::string(1, c);
    std::string hex = "<FEFF";
    for (char32_t c : std::u32string(U"chess-diagram/1\nfen=4k3/8/8/8/8/8/8/4K3 w - - 0 1\ncaption=Этюд <1>\nsquare=18\n")) {
        char unit[8];
        std::snprintf(unit, sizeof unit, "%04X", static_cast<unsigned>(c));
        hex += unit;
    }
    const std::string pdf = "%PDF-1.5\n9 0 obj\n<< /ChessDiagram2 (stale) /ChessDiagram1 " + hex + " >>\nendobj\n"
                            "10 0 obj\n<< /Producer (x) /ChessDiagram2 (" + literal + ") >>\nendobj\n%%EOF\n";
    for (const auto& [name, bytes] : {std::pair<std::string, std::string>{"again.svg", svg}, {"again.png", png},
                                      {"again.pdf", pdf}}) {
        chess::input::InputSource input;
        std::string error;
        ASSERT_TRUE(input.open(write(name, bytes), error)) << error;
        const auto diagrams = chess::input::read_picture_diagrams(input);
        ASSERT_EQ(diagrams.size(), 2u) << name;
        ASSERT_TRUE(diagrams[0].entry.ok) << name << ": " << diagrams[0].entry.error;
        ASSERT_TRUE(diagrams[1].entry.ok) << name << ": " << diagrams[1].entry.error;
        EXPECT_EQ(chess::write_fen(diagrams[0].entry.position), chess::write_fen(first.position)) << name;
        EXPECT_EQ(diagrams[0].entry.caption, first.caption) << name;
        EXPECT_EQ(chess::write_fen(diagrams[1].entry.position), chess::write_fen(second.position)) << name;
        EXPECT_EQ(diagrams[1].entry.caption, second.caption) << name;
        EXPECT_EQ(diagrams[1].marks, second.annotations) << name;
        EXPECT_TRUE(chess::input::kind_of(write("no-name-" + std::to_string(bytes.size()), bytes)) ==
                    chess::input::Kind::Picture)
            << name;
    }
}
