#include <gtest/gtest.h>

#include <fcntl.h>
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

#include "tests/support/child_process.h"
#include "tests/support/pixels.h"
#include "tests/support/file_size_limit.h"
#include "tests/support/temp_dir.h"
#include "pictures/failure.h"
#include "pictures/files.h"

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
        ReplacingFile file(dir.file("target"));
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
        ReplacingFile dropped(dir.file("target"));
        ASSERT_TRUE(dropped.write("zzzz", 4));
    }
    EXPECT_EQ(read_file(dir.file("target")), (std::vector<std::uint8_t>{'a', 'b', 'c'}));
    EXPECT_EQ(names_in(dir), (std::set<std::string>{"target"}));
}

TEST(ReplacingFile, NewFileGetsTheUsualMode) {
    TempDir dir;
    mode_t old_mask = umask(022);
    {
        ReplacingFile file(dir.file("new"));
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
        ReplacingFile file(path);
        EXPECT_EQ(file.stream(), nullptr) << path;
        EXPECT_FALSE(file.write("x", 1)) << path;
        EXPECT_FALSE(file.commit()) << path;
    }
    {
        // A folder is no file to replace.
        ReplacingFile file(dir.file("folder"));
        EXPECT_EQ(file.stream(), nullptr);
        EXPECT_FALSE(file.commit());
        EXPECT_EQ(last_failure().kind, FailureKind::NotAFile);
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
        ReplacingFile file(dir.file("target"));
        ASSERT_TRUE(file.write("data", 4));
        close(fileno(file.stream()));
        EXPECT_FALSE(file.commit());
    }
    EXPECT_EQ(read_file(dir.file("target")), old);
    {
        // An error on the stream itself, caused by a direct user of stream().
        ReplacingFile file(dir.file("target"));
        ASSERT_NE(file.stream(), nullptr);
        std::fgetc(file.stream());  // reading a write-only stream sets its error flag
        EXPECT_FALSE(file.commit());
    }
    EXPECT_EQ(read_file(dir.file("target")), old);
    {
        // A full disk: the write past the limit fails, and so does all after.
        FileSizeLimit limit(10000);
        ReplacingFile file(dir.file("target"));
        auto bytes = patterned(50000);
        EXPECT_FALSE(file.write(bytes.data(), bytes.size()));
        EXPECT_FALSE(file.write("x", 1));
        EXPECT_FALSE(file.commit());
    }
    EXPECT_EQ(read_file(dir.file("target")), old);
    EXPECT_EQ(names_in(dir), (std::set<std::string>{"target"}));
}

namespace {
// The failure recorded last: its kind, and whether its text names the path
// and the cause.
::testing::AssertionResult failed_with(FailureKind kind, const std::string& path, const std::string& cause) {
    const Failure& f = last_failure();
    if (f.kind == kind && f.text.find(path) == 0 && f.text.find(cause) != std::string::npos &&
        f.text.find('\n') == std::string::npos) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "kind " << static_cast<int>(f.kind) << ", text \"" << f.text << "\"";
}

mode_t mode_of(const std::string& path) {
    struct stat info {};
    stat(path.c_str(), &info);
    return info.st_mode & 07777;
}
}  // namespace

TEST(CopyFile, FailuresSayWhyAndSuccessClearsTheRecord) {
    TempDir dir;
    write_file(dir.file("source"), patterned(2000));
    fs::create_directory(dir.path() / "folder");

    EXPECT_EQ(copy_file(dir.file("missing"), dir.file("new")), 0);
    EXPECT_TRUE(failed_with(FailureKind::NotFound, dir.file("missing"), "no such file"));
    EXPECT_EQ(copy_file(dir.file("source"), dir.file("nowhere/new")), 0);
    EXPECT_TRUE(failed_with(FailureKind::NotFound, dir.file("nowhere/new"), "no such file"));
    EXPECT_EQ(copy_file(dir.file("folder"), dir.file("new")), 0);
    EXPECT_TRUE(failed_with(FailureKind::NotAFile, dir.file("folder"), "folder"));
    EXPECT_EQ(copy_file(dir.file("source"), dir.file("folder")), 0);
    EXPECT_TRUE(failed_with(FailureKind::NotAFile, dir.file("folder"), "folder"));
    {
        FileSizeLimit limit(1000);
        EXPECT_EQ(copy_file(dir.file("source"), dir.file("new")), 0);
        EXPECT_TRUE(failed_with(FailureKind::DiskFull, dir.file("new"), "limit"));
    }
    EXPECT_EQ(copy_file(dir.file("source"), dir.file("new")), 1);
    EXPECT_EQ(last_failure().kind, FailureKind::None);
    EXPECT_EQ(last_failure().text, "");
}

TEST(CopyFile, PipesAndDevicesFailAtOnce) {
    TempDir dir;
    ASSERT_EQ(mkfifo(dir.file("pipe").c_str(), 0600), 0);
    write_file(dir.file("dest"), {1, 2, 3});
    // In a child: a pipe without a writer would otherwise block the copy for
    // ever, and a device without end would fill the memory.
    auto outcome = child_process::run([&] {
        std::string report;
        for (std::string source : {dir.file("pipe"), std::string("/dev/zero")}) {
            child_process::check(report, copy_file(source, dir.file("dest")) == 0, source + " copied");
            child_process::check(report, failed_with(FailureKind::NotAFile, source, "is a "),
                                 source + ": " + last_failure().text);
        }
        // Nor is a device replaced by a plain file: the copy goes nowhere.
        child_process::check(report, copy_file(dir.file("dest"), dir.file("pipe")) == 0, "copied onto a pipe");
        child_process::check(report, last_failure().kind == FailureKind::NotAFile, "onto a pipe: " + last_failure().text);
        return report;
    });
    EXPECT_EQ(outcome.report, "");
    EXPECT_TRUE(fs::is_fifo(dir.file("pipe")));
    EXPECT_EQ(read_file(dir.file("dest")), (std::vector<std::uint8_t>{1, 2, 3}));
    EXPECT_EQ(names_in(dir), (std::set<std::string>{"pipe", "dest"}));
}

// What stands where a file should go is named before anything opens it: a
// FIFO would hold the writer until a reader came.
TEST(ReplacingFile, WhatCanTakeNoFileIsNamed) {
    TempDir dir;
    ASSERT_EQ(mkfifo(dir.file("pipe").c_str(), 0600), 0);
    ASSERT_EQ(symlink("pipe", dir.file("to-pipe").c_str()), 0);
    fs::create_directory(dir.file("folder"));
    write_file(dir.file("plain"), {1});
    EXPECT_EQ(unfit_for_a_file(dir.file("pipe")), "is a FIFO, not a file");
    EXPECT_EQ(unfit_for_a_file(dir.file("to-pipe")), "is a FIFO, not a file");
    EXPECT_EQ(unfit_for_a_file(dir.file("folder")), "is a folder, not a file");
    EXPECT_EQ(unfit_for_a_file("/dev/null"), "is a device, not a file");
    EXPECT_EQ(unfit_for_a_file(dir.file("plain")), "");
    EXPECT_EQ(unfit_for_a_file(dir.file("missing")), "");
    // The file writer refuses them in the same words.
    ReplacingFile file(dir.file("to-pipe"));
    EXPECT_FALSE(file.stream());
    EXPECT_TRUE(failed_with(FailureKind::NotAFile, dir.file("to-pipe"), "is a FIFO, not a file"));
}

TEST(ReplacingFile, ReplacedFilesKeepTheirModeAndOwner) {
    TempDir dir;
    auto content = patterned(3000);
    write_file(dir.file("source"), content);
    mode_t old_mask = umask(022);
    for (mode_t mode : {0600, 0640, 0604, 0755}) {
        SCOPED_TRACE(mode);
        write_file(dir.file("kept"), {1});
        ASSERT_EQ(chmod(dir.file("kept").c_str(), mode), 0);
        EXPECT_EQ(copy_file(dir.file("source"), dir.file("kept")), 1);
        EXPECT_EQ(read_file(dir.file("kept")), content);
        EXPECT_EQ(mode_of(dir.file("kept")), mode);
    }
    umask(old_mask);
    if (geteuid() == 0) {
        // Root replacing another user's file leaves it theirs.
        ASSERT_EQ(chown(dir.file("kept").c_str(), child_process::nobody, child_process::nobody), 0);
        EXPECT_EQ(copy_file(dir.file("source"), dir.file("kept")), 1);
        struct stat info {};
        ASSERT_EQ(stat(dir.file("kept").c_str(), &info), 0);
        EXPECT_EQ(info.st_uid, child_process::nobody);
        EXPECT_EQ(info.st_gid, child_process::nobody);
    }
}

TEST(ReplacingFile, SymbolicLinksStayLinksAndTheirTargetsGetTheContent) {
    TempDir dir;
    fs::create_directories(dir.path() / "links");
    fs::create_directories(dir.path() / "store");
    auto content = patterned(5000, 7);
    write_file(dir.file("source"), content);
    write_file(dir.file("store/real"), {1, 2});
    ASSERT_EQ(chmod(dir.file("store/real").c_str(), 0600), 0);
    // links/first -> (absolute) links/second -> (relative) ../store/real
    fs::create_symlink("../store/real", dir.path() / "links/second");
    fs::create_symlink(dir.path() / "links/second", dir.path() / "links/first");
    fs::create_symlink("missing-target", dir.path() / "links/dangling");
    fs::create_symlink("loop-b", dir.path() / "links/loop-a");
    fs::create_symlink("loop-a", dir.path() / "links/loop-b");

    EXPECT_EQ(copy_file(dir.file("source"), dir.file("links/first")), 1);
    EXPECT_TRUE(fs::is_symlink(dir.file("links/first")));
    EXPECT_TRUE(fs::is_symlink(dir.file("links/second")));
    EXPECT_EQ(fs::read_symlink(dir.file("links/second")), "../store/real");
    EXPECT_EQ(read_file(dir.file("store/real")), content);
    EXPECT_EQ(mode_of(dir.file("store/real")), 0600u);

    // A link to a file not there yet creates that file, as open would.
    EXPECT_EQ(copy_file(dir.file("source"), dir.file("links/dangling")), 1);
    EXPECT_TRUE(fs::is_symlink(dir.file("links/dangling")));
    EXPECT_EQ(read_file(dir.file("links/missing-target")), content);

    EXPECT_EQ(copy_file(dir.file("source"), dir.file("links/loop-a")), 0);
    EXPECT_TRUE(failed_with(FailureKind::Other, dir.file("links/loop-a"), "symbolic links"));
    EXPECT_TRUE(fs::is_symlink(dir.file("links/loop-a")));

    // Relative to the working folder as well; no temporary left anywhere.
    KeepWorkingFolder keep;
    ASSERT_EQ(set_current_directory(dir.file("links")), 0);
    EXPECT_EQ(copy_file("../source", "second"), 1);
    EXPECT_TRUE(fs::is_symlink(dir.file("links/second")));
    EXPECT_EQ(read_file(dir.file("store/real")), content);
    EXPECT_EQ(names_in(dir), (std::set<std::string>{"source", "links", "store"}));
    std::set<std::string> links, store;
    for (const auto& entry : fs::directory_iterator(dir.path() / "links")) links.insert(entry.path().filename());
    for (const auto& entry : fs::directory_iterator(dir.path() / "store")) store.insert(entry.path().filename());
    EXPECT_EQ(links, (std::set<std::string>{"first", "second", "dangling", "missing-target", "loop-a", "loop-b"}));
    EXPECT_EQ(store, (std::set<std::string>{"real"}));
}

// In a sticky folder everyone may write (as /tmp), a link another user
// planted is not followed: the file it points to keeps its content. The
// user's own links, and the folder owner's, are followed as the kernel
// follows them.
TEST(ReplacingFile, LinksPlantedInASharedStickyFolderAreNotFollowed) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root, to give a link to another user";
    TempDir dir;
    fs::create_directories(dir.path() / "shared");
    ASSERT_EQ(chmod(dir.file("shared").c_str(), 01777), 0);
    write_file(dir.file("precious"), {1, 2, 3});
    auto content = patterned(100, 3);
    write_file(dir.file("source"), content);
    fs::create_symlink(dir.file("precious"), dir.path() / "shared/planted");
    ASSERT_EQ(lchown(dir.file("shared/planted").c_str(), child_process::nobody, child_process::nobody), 0);

    {
        ReplacingFile file(dir.file("shared/planted"));
        EXPECT_EQ(file.stream(), nullptr);
        EXPECT_FALSE(file.commit());
        EXPECT_TRUE(failed_with(FailureKind::NoPermission, dir.file("shared/planted"), "owned by another user"));
    }
    EXPECT_EQ(read_file(dir.file("precious")), (std::vector<std::uint8_t>{1, 2, 3}));
    EXPECT_TRUE(fs::is_symlink(dir.file("shared/planted")));

    // The same link owned by the folder's owner (root here) is followed;
    // so is any link outside a shared sticky folder.
    ASSERT_EQ(lchown(dir.file("shared/planted").c_str(), 0, 0), 0);
    EXPECT_EQ(copy_file(dir.file("source"), dir.file("shared/planted")), 1);
    EXPECT_EQ(read_file(dir.file("precious")), content);
    ASSERT_EQ(chmod(dir.file("shared").c_str(), 0777), 0);
    ASSERT_EQ(lchown(dir.file("shared/planted").c_str(), child_process::nobody, child_process::nobody), 0);
    EXPECT_EQ(copy_file(dir.file("source"), dir.file("shared/planted")), 1);
}

TEST(ReplacingFile, FilesTheUserMayNotWriteAreNotReplaced) {
    TempDir dir;
    std::vector<std::uint8_t> old{4, 4, 4};
    write_file(dir.file("source"), patterned(1000));
    write_file(dir.file("protected"), old);  // the user's own, made read-only
    write_file(dir.file("others"), old);     // writable by its owner only
    write_file(dir.file("secret"), old);     // the source nobody may read
    fs::create_directory(dir.path() / "closed");
    ASSERT_EQ(chmod(dir.file("protected").c_str(), 0444), 0);
    ASSERT_EQ(chmod(dir.file("secret").c_str(), 0), 0);
    ASSERT_EQ(chmod(dir.file("closed").c_str(), 0555), 0);
    bool root = geteuid() == 0;
    if (root) {
        // The folder and everything but "others" belong to the user the
        // checks run as; "others" stays root's.
        for (const char* name : {"", "source", "protected", "secret", "closed"}) {
            ASSERT_EQ(chown(dir.file(name).c_str(), child_process::nobody, child_process::nobody), 0) << name;
        }
        ASSERT_EQ(chmod(dir.file("others").c_str(), 0644), 0);
    } else {
        ASSERT_EQ(chmod(dir.file("others").c_str(), 0444), 0);
    }
    auto outcome = child_process::run_unprivileged([&] {
        std::string report;
        for (const char* name : {"protected", "others"}) {
            std::string target = dir.file(name);
            child_process::check(report, copy_file(dir.file("source"), target) == 0, std::string(name) + " replaced");
            child_process::check(report, failed_with(FailureKind::NoPermission, target, "permission denied"),
                                 std::string(name) + ": " + last_failure().text);
            child_process::check(report, read_file(target) == old, std::string(name) + " changed");
        }
        child_process::check(report, copy_file(dir.file("secret"), dir.file("copy")) == 0, "unreadable source copied");
        child_process::check(report, failed_with(FailureKind::NoPermission, dir.file("secret"), "permission denied"),
                             "secret: " + last_failure().text);
        child_process::check(report, copy_file(dir.file("source"), dir.file("closed/copy")) == 0,
                             "copied into a read-only folder");
        child_process::check(report, failed_with(FailureKind::NoPermission, dir.file("closed/copy"), "permission denied"),
                             "closed: " + last_failure().text);
        return report;
    });
    if (outcome.skipped) GTEST_SKIP() << "cannot switch to user " << child_process::nobody;
    EXPECT_EQ(outcome.report, "");
    EXPECT_EQ(mode_of(dir.file("protected")), 0444u);
    EXPECT_EQ(names_in(dir), (std::set<std::string>{"source", "protected", "others", "secret", "closed"}));
}
