// Diagram pictures as diagram_batch's input: which inputs are pictures, what
// one gives, and a folder's pictures in name order.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "input/diagram_items.h"
#include "input/diagram_pictures.h"
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
    std::filesystem::create_directory(folder / "d.jpg");
    std::vector<std::string> paths;
    std::string error;
    ASSERT_TRUE(chess::input::diagram_pictures_in(folder.string(), paths, error)) << error;
    ASSERT_EQ(paths.size(), 2u);
    EXPECT_EQ(std::filesystem::path(paths[0]).filename(), "a.JPEG");
    EXPECT_EQ(std::filesystem::path(paths[1]).filename(), "b.jpg");
    EXPECT_FALSE(chess::input::diagram_pictures_in((folder / "missing").string(), paths, error));
    EXPECT_NE(error.find("missing"), std::string::npos);
}
