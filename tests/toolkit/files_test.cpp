#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <optional>
#include <set>

#include "tests/support/pixels.h"
#include "tests/support/file_size_limit.h"
#include "tests/support/temp_dir.h"
#include "toolkit/files.h"

namespace fs = std::filesystem;

namespace {
std::vector<std::uint8_t> patterned(std::size_t size, unsigned seed = 1) {
    std::vector<std::uint8_t> bytes(size);
    std::uint32_t x = seed;
    for (auto& b : bytes) {
        x = x * 1103515245u + 12345u;
        b = static_cast<std::uint8_t>(x >> 16);
    }
    return bytes;
}

std::set<std::string> names_in(const TempDir& dir) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir.path())) names.insert(entry.path().filename().string());
    return names;
}

// Sets HOME (or unsets it) for one test.
class ScopedHome {
public:
    explicit ScopedHome(const char* value) {
        if (const char* old = std::getenv("HOME")) saved_ = old;
        if (value) {
            setenv("HOME", value, 1);
        } else {
            unsetenv("HOME");
        }
    }
    ~ScopedHome() {
        if (saved_) {
            setenv("HOME", saved_->c_str(), 1);
        } else {
            unsetenv("HOME");
        }
    }

private:
    std::optional<std::string> saved_;
};

}  // namespace

TEST(Folders, WorkingFolderEndsInSlashAndRootIsASingleSlash) {
    KeepWorkingFolder keep;
    TempDir dir;
    fs::create_directory(dir.path() / "user");
    ASSERT_EQ(set_current_directory(dir.file("user")), 0);
    EXPECT_EQ(current_directory(), dir.folder() + "user/");
    // A folder text with its slash works as well.
    ASSERT_EQ(set_current_directory(dir.folder()), 0);
    EXPECT_EQ(current_directory(), dir.folder());
    ASSERT_EQ(set_current_directory("/"), 0);
    EXPECT_EQ(current_directory(), "/");
}

TEST(Folders, FailedChangeKeepsTheWorkingFolder) {
    KeepWorkingFolder keep;
    TempDir dir;
    write_file(dir.file("plain"), {1, 2, 3});
    fs::create_directory(dir.path() / "sub");
    ASSERT_EQ(set_current_directory(dir.folder()), 0);
    EXPECT_EQ(set_current_directory(dir.file("missing")), -1);
    EXPECT_EQ(set_current_directory(dir.file("plain")), -1);
    EXPECT_EQ(set_current_directory(""), -1);
    // A zero byte would otherwise cut "sub\0/../missing" down to "sub".
    EXPECT_EQ(set_current_directory(std::string("sub\0/../missing", 15)), -1);
    EXPECT_EQ(current_directory(), dir.folder());
}

TEST(Folders, HomeFolderGetsItsSlash) {
    {
        ScopedHome home("/");
        EXPECT_EQ(home_directory(), "/");
    }
    {
        ScopedHome home("/home/user");
        EXPECT_EQ(home_directory(), "/home/user/");
    }
    {
        ScopedHome home("/home/user/");
        EXPECT_EQ(home_directory(), "/home/user/");
    }
    {
        ScopedHome home(nullptr);
        EXPECT_EQ(home_directory(), "");
    }
}

TEST(NumberText, DecimalDigitsOverTheWholeRange) {
    EXPECT_EQ(number_text(0), "0");
    EXPECT_EQ(number_text(-7), "-7");
    EXPECT_EQ(number_text(32), "32");
    EXPECT_EQ(number_text(1000), "1000");
    EXPECT_EQ(number_text(-2147483648LL), "-2147483648");
    EXPECT_EQ(number_text(-2147483649LL), "-2147483649");
    EXPECT_EQ(number_text(4294967296LL), "4294967296");
    EXPECT_EQ(number_text(std::numeric_limits<std::int64_t>::max()), "9223372036854775807");
    EXPECT_EQ(number_text(std::numeric_limits<std::int64_t>::min()), "-9223372036854775808");
}

TEST(CopyFile, CopiesContentExactly) {
    TempDir dir;
    // Three chunks: 512000, 512000 and 176000 bytes.
    auto big = patterned(1200000);
    write_file(dir.file("big"), big);
    EXPECT_EQ(copy_file(dir.file("big"), dir.file("big copy")), 1);
    EXPECT_EQ(read_file(dir.file("big copy")), big);

    write_file(dir.file("empty"), {});
    EXPECT_EQ(copy_file(dir.file("empty"), dir.file("empty copy")), 1);
    ASSERT_TRUE(fs::exists(dir.file("empty copy")));
    EXPECT_EQ(fs::file_size(dir.file("empty copy")), 0u);

    // Exactly one chunk, and a longer destination replaced without a tail.
    auto one = patterned(512000, 2);
    write_file(dir.file("one"), one);
    EXPECT_EQ(copy_file(dir.file("one"), dir.file("big copy")), 1);
    EXPECT_EQ(read_file(dir.file("big copy")), one);

    // Nothing but the copies is left in the folder.
    EXPECT_EQ(names_in(dir), (std::set<std::string>{"big", "big copy", "empty", "empty copy", "one"}));
}

TEST(CopyFile, RelativeNamesFollowTheWorkingFolder) {
    KeepWorkingFolder keep;
    TempDir dir;
    auto slot = patterned(3000);
    write_file(dir.file("1.jpg"), slot);
    ASSERT_EQ(set_current_directory(dir.folder()), 0);
    EXPECT_EQ(copy_file("1.jpg", "2.jpg"), 1);
    EXPECT_EQ(read_file(dir.file("2.jpg")), slot);
}

TEST(CopyFile, CopyOntoItselfKeepsTheContent) {
    TempDir dir;
    auto bytes = patterned(700000);
    write_file(dir.file("same"), bytes);
    EXPECT_EQ(copy_file(dir.file("same"), dir.file("same")), 1);
    EXPECT_EQ(read_file(dir.file("same")), bytes);
}

TEST(CopyFile, FailuresCreateNothingAndKeepTheDestination) {
    TempDir dir;
    auto old = patterned(1000, 3);
    write_file(dir.file("dest"), old);
    write_file(dir.file("source"), patterned(2000, 4));
    fs::create_directory(dir.path() / "folder");

    EXPECT_EQ(copy_file(dir.file("missing"), dir.file("new")), 0);
    EXPECT_FALSE(fs::exists(dir.file("new")));
    EXPECT_EQ(copy_file(dir.file("missing"), dir.file("dest")), 0);
    EXPECT_EQ(read_file(dir.file("dest")), old);

    // A folder opens for reading but cannot be read.
    EXPECT_EQ(copy_file(dir.file("folder"), dir.file("new")), 0);
    EXPECT_EQ(copy_file(dir.file("folder"), dir.file("dest")), 0);
    EXPECT_EQ(read_file(dir.file("dest")), old);

    EXPECT_EQ(copy_file(dir.file("source"), dir.file("nowhere/new")), 0);
    EXPECT_EQ(copy_file(dir.file("source"), dir.file("dest/new")), 0);
    EXPECT_EQ(copy_file(dir.file("source"), dir.file("folder")), 0);
    EXPECT_TRUE(fs::is_directory(dir.file("folder")));
    EXPECT_EQ(copy_file(dir.file("source"), dir.folder()), 0);
    EXPECT_EQ(copy_file(std::string("source\0x", 8), dir.file("new")), 0);
    EXPECT_EQ(copy_file(dir.file("source"), dir.file("dest") + std::string("\0x", 2)), 0);
    EXPECT_EQ(read_file(dir.file("dest")), old);

    EXPECT_EQ(names_in(dir), (std::set<std::string>{"dest", "source", "folder"}));
}

TEST(CopyFile, WriteFailureMidwayKeepsTheOldDestination) {
    TempDir dir;
    auto big = patterned(1200000);
    auto old = patterned(1000, 5);
    write_file(dir.file("big"), big);
    write_file(dir.file("dest"), old);
    {
        // The second chunk no longer fits.
        FileSizeLimit limit(700000);
        EXPECT_EQ(copy_file(dir.file("big"), dir.file("dest")), 0);
        EXPECT_EQ(copy_file(dir.file("big"), dir.file("new")), 0);
    }
    EXPECT_EQ(read_file(dir.file("dest")), old);
    EXPECT_EQ(names_in(dir), (std::set<std::string>{"big", "dest"}));
}

TEST(ReplacingFile, ReplacesOnlyOnCommit) {
    TempDir dir;
    write_file(dir.file("target"), {9, 9, 9, 9});
    {
        tk::ReplacingFile file(dir.file("target"));
        ASSERT_NE(file.stream(), nullptr);
        EXPECT_TRUE(file.write("abc", 3));
        // Not yet visible under the target's name.
        EXPECT_EQ(read_file(dir.file("target")), (std::vector<std::uint8_t>{9, 9, 9, 9}));
        EXPECT_TRUE(file.commit());
        EXPECT_FALSE(file.write("d", 1));
        EXPECT_FALSE(file.commit());
    }
    EXPECT_EQ(read_file(dir.file("target")), (std::vector<std::uint8_t>{'a', 'b', 'c'}));

    {
        tk::ReplacingFile dropped(dir.file("target"));
        ASSERT_TRUE(dropped.write("zzzz", 4));
    }
    EXPECT_EQ(read_file(dir.file("target")), (std::vector<std::uint8_t>{'a', 'b', 'c'}));
    EXPECT_EQ(names_in(dir), (std::set<std::string>{"target"}));
}

TEST(ReplacingFile, NewFileGetsTheUsualMode) {
    TempDir dir;
    mode_t old_mask = umask(022);
    {
        tk::ReplacingFile file(dir.file("new"));
        ASSERT_TRUE(file.write("x", 1));
        ASSERT_TRUE(file.commit());
    }
    umask(old_mask);
    struct stat info;
    ASSERT_EQ(stat(dir.file("new").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0644u);
}

TEST(ReplacingFile, UnwritablePlacesFailWithoutLeftovers) {
    TempDir dir;
    write_file(dir.file("plain"), {1});
    fs::create_directory(dir.path() / "folder");
    write_file(dir.file("folder/inside"), {2});
    for (std::string path : {dir.file("missing/x"), dir.file("plain/x"), dir.folder(), std::string()}) {
        tk::ReplacingFile file(path);
        EXPECT_EQ(file.stream(), nullptr) << path;
        EXPECT_FALSE(file.write("x", 1)) << path;
        EXPECT_FALSE(file.commit()) << path;
    }
    {
        // The rename over a folder with files in it fails at commit.
        tk::ReplacingFile file(dir.file("folder"));
        ASSERT_TRUE(file.write("x", 1));
        EXPECT_FALSE(file.commit());
    }
    EXPECT_TRUE(fs::is_directory(dir.file("folder")));
    EXPECT_EQ(names_in(dir), (std::set<std::string>{"plain", "folder"}));
}

TEST(ReplacingFile, FailedWritesNeverReplaceTheTarget) {
    TempDir dir;
    std::vector<std::uint8_t> old{7, 7, 7};
    write_file(dir.file("target"), old);
    {
        // The descriptor goes away under the stream: the buffered data can
        // no longer reach the file.
        tk::ReplacingFile file(dir.file("target"));
        ASSERT_TRUE(file.write("data", 4));
        close(fileno(file.stream()));
        EXPECT_FALSE(file.commit());
    }
    EXPECT_EQ(read_file(dir.file("target")), old);
    {
        // An error on the stream itself, caused by a direct user of stream().
        tk::ReplacingFile file(dir.file("target"));
        ASSERT_NE(file.stream(), nullptr);
        std::fgetc(file.stream());  // reading a write-only stream sets its error flag
        EXPECT_FALSE(file.commit());
    }
    EXPECT_EQ(read_file(dir.file("target")), old);
    {
        // A full disk: the write past the limit fails, and so does all after.
        FileSizeLimit limit(10000);
        tk::ReplacingFile file(dir.file("target"));
        auto bytes = patterned(50000);
        EXPECT_FALSE(file.write(bytes.data(), bytes.size()));
        EXPECT_FALSE(file.write("x", 1));
        EXPECT_FALSE(file.commit());
    }
    EXPECT_EQ(read_file(dir.file("target")), old);
    EXPECT_EQ(names_in(dir), (std::set<std::string>{"target"}));
}
