#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <filesystem>

#include "tests/support/dialogs.h"
#include "tests/support/pixels.h"
#include "tests/support/temp_dir.h"
#include "toolkit/toolkit.h"

namespace fs = std::filesystem;

namespace {
class Requesters : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(toolkit_init(), 1);
        write_file(dir.file("a.jpg"), {1});
        write_file(dir.file("b.jpg"), {2});
        write_file(dir.file("c.jpg"), {3});
        write_file(dir.file("notes.txt"), {4});
    }
    void TearDown() override { toolkit_shutdown(); }

    // The folder as the chooser reports it: no trailing '/'.
    std::string folder() const { return dir.path().string(); }

    TempDir dir;
};

using Buttons = std::vector<std::pair<std::string, int>>;
}  // namespace

TEST_F(Requesters, NothingRecordedBeforeAnyRequester) {
    EXPECT_EQ(requester_pattern_index(), 0);
    EXPECT_EQ(requester_next_file(), "");
}

TEST_F(Requesters, SaveDialogInAFolderWithOneFilter) {
    FileDialogAnswer answer = answer_next_file_dialog(dir.file("diagram"));
    std::string path = save_file_requester("Save image", dir.folder(), "JPEG Image|*.jpg", 0);
    ASSERT_TRUE(answer.answered());
    const FileDialogView& view = answer.view();
    EXPECT_EQ(view.title, "Save image");
    EXPECT_TRUE(view.save);
    EXPECT_FALSE(view.select_multiple);
    EXPECT_EQ(view.buttons, (Buttons{{"gtk-cancel", GTK_RESPONSE_CANCEL}, {"gtk-save", GTK_RESPONSE_ACCEPT}}));
    EXPECT_EQ(view.default_response, GTK_RESPONSE_ACCEPT);
    EXPECT_EQ(view.folder, folder());
    EXPECT_EQ(view.name, "");
    ASSERT_EQ(view.filter_names, std::vector<std::string>{"JPEG Image"});
    EXPECT_EQ(view.shown_filter, 0);
    EXPECT_TRUE(view.filter_accepts(0, "x.jpg"));
    EXPECT_FALSE(view.filter_accepts(0, "x.png"));

    // No extension is added, and the one name is the whole choice.
    EXPECT_EQ(path, dir.file("diagram"));
    EXPECT_EQ(requester_pattern_index(), 0);
    EXPECT_EQ(requester_next_file(), "");
}

TEST_F(Requesters, SaveDefaultFileNameIsProposedAndCancelGivesNothing) {
    FileDialogAnswer answer = cancel_next_file_dialog();
    std::string path = save_file_requester("Save image", dir.file("a.jpg"), ".jpg", 0);
    ASSERT_TRUE(answer.answered());
    EXPECT_EQ(path, "");
    EXPECT_EQ(answer.view().folder, folder());
    EXPECT_EQ(answer.view().name, "a.jpg");
    // A list without '|' gives no filter: every file is listed.
    EXPECT_TRUE(answer.view().filter_names.empty());
    EXPECT_EQ(answer.view().shown_filter, -1);
    EXPECT_EQ(requester_pattern_index(), 0);
    EXPECT_EQ(requester_next_file(), "");
}

TEST_F(Requesters, PatternListWalk) {
    {
        FileDialogAnswer answer = cancel_next_file_dialog();
        save_file_requester("t", dir.folder(), "JPEG|*.jpg;*.jpeg|All files|*.*", 1);
        ASSERT_TRUE(answer.answered());
        const FileDialogView& view = answer.view();
        ASSERT_EQ(view.filter_names, (std::vector<std::string>{"JPEG", "All files"}));
        EXPECT_EQ(view.shown_filter, 1);
        EXPECT_TRUE(view.filter_accepts(0, "x.jpg"));
        EXPECT_TRUE(view.filter_accepts(0, "x.jpeg"));
        EXPECT_FALSE(view.filter_accepts(0, "x.png"));
        // "*.*" stands for every file, names without a dot included.
        EXPECT_TRUE(view.filter_accepts(1, "x.png"));
        EXPECT_TRUE(view.filter_accepts(1, "README"));
        EXPECT_EQ(requester_pattern_index(), 1);
    }
    {
        // ';' belongs to a name; a trailing name without patterns makes no
        // filter; "*.*" after ';' is "*" too.
        FileDialogAnswer answer = cancel_next_file_dialog();
        save_file_requester("t", dir.folder(), "A;B|*.x;*.*|Orphan", 0);
        ASSERT_TRUE(answer.answered());
        ASSERT_EQ(answer.view().filter_names, std::vector<std::string>{"A;B"});
        EXPECT_TRUE(answer.view().filter_accepts(0, "README"));
    }
    {
        // An index naming no filter leaves GTK's choice, the first filter.
        FileDialogAnswer answer = cancel_next_file_dialog();
        save_file_requester("t", dir.folder(), "One|*.a|Two|*.b", 5);
        ASSERT_TRUE(answer.answered());
        EXPECT_EQ(answer.view().shown_filter, 0);
        EXPECT_EQ(requester_pattern_index(), 0);
    }
}

TEST_F(Requesters, FilterShownAtCloseIsRecorded) {
    {
        FileDialogAnswer answer = cancel_next_file_dialog(1);
        EXPECT_EQ(open_file_requester("t", dir.folder(), "JPEG|*.jpg|Text|*.txt", 0), "");
        ASSERT_TRUE(answer.answered());
        EXPECT_EQ(answer.view().shown_filter, 0);
        EXPECT_EQ(requester_pattern_index(), 1);
    }
    {
        FileDialogReply reply;
        reply.files = {dir.file("notes.txt")};
        reply.filter = 1;
        FileDialogAnswer answer = answer_next_file_dialog(reply);
        EXPECT_EQ(open_file_requester("t", dir.folder(), "JPEG|*.jpg|Text|*.txt", 0), dir.file("notes.txt"));
        ASSERT_TRUE(answer.answered());
        EXPECT_EQ(requester_pattern_index(), 1);
    }
    {
        // The next requester starts afresh: a list without filters records 0.
        FileDialogAnswer answer = cancel_next_file_dialog();
        open_file_requester("t", dir.folder(), "", 0);
        ASSERT_TRUE(answer.answered());
        EXPECT_EQ(requester_pattern_index(), 0);
    }
}

TEST_F(Requesters, OpenOneFile) {
    FileDialogAnswer answer = answer_next_file_dialog(dir.file("b.jpg"));
    std::string path = open_file_requester("Open image", dir.folder(), "Image JPG|*.jpg", 0);
    ASSERT_TRUE(answer.answered());
    const FileDialogView& view = answer.view();
    EXPECT_EQ(view.title, "Open image");
    EXPECT_FALSE(view.save);
    EXPECT_FALSE(view.select_multiple);
    EXPECT_EQ(view.buttons, (Buttons{{"gtk-cancel", GTK_RESPONSE_CANCEL}, {"gtk-open", GTK_RESPONSE_ACCEPT}}));
    EXPECT_EQ(view.folder, folder());
    EXPECT_EQ(path, dir.file("b.jpg"));
    EXPECT_EQ(requester_next_file(), "");
}

TEST_F(Requesters, OpenDefaultFileNameOpensItsFolder) {
    fs::create_directory(dir.path() / "SAVE");
    write_file(dir.file("SAVE/d.jpg"), {5});
    FileDialogAnswer answer = answer_next_file_dialog(dir.file("SAVE/d.jpg"));
    std::string path = open_file_requester("Open image", dir.file("SAVE/d.jpg"), "Image JPG|*.jpg", 0);
    ASSERT_TRUE(answer.answered());
    EXPECT_EQ(answer.view().folder, dir.file("SAVE"));
    EXPECT_EQ(path, dir.file("SAVE/d.jpg"));
}

TEST_F(Requesters, MultipleChoiceIsWalkedOnce) {
    FileDialogAnswer answer = answer_next_file_dialog({dir.file("c.jpg"), dir.file("a.jpg")});
    std::string first = open_file_requester("Open image", dir.folder(), "Image JPG|*.jpg", 0, 1);
    ASSERT_TRUE(answer.answered());
    EXPECT_TRUE(answer.view().select_multiple);
    std::string second = requester_next_file();
    // In the chooser's order, each exactly once.
    EXPECT_EQ((std::set<std::string>{first, second}), (std::set<std::string>{dir.file("a.jpg"), dir.file("c.jpg")}));
    EXPECT_NE(first, second);
    EXPECT_EQ(requester_next_file(), "");
    EXPECT_EQ(requester_next_file(), "");

    // A cancelled requester drops what an earlier one chose.
    {
        FileDialogAnswer again = answer_next_file_dialog({dir.file("a.jpg"), dir.file("b.jpg")});
        open_file_requester("Open image", dir.folder(), "Image JPG|*.jpg", 0, 1);
        ASSERT_TRUE(again.answered());
    }
    {
        FileDialogAnswer cancel = cancel_next_file_dialog();
        EXPECT_EQ(open_file_requester("Open image", dir.folder(), "Image JPG|*.jpg", 0, 1), "");
        ASSERT_TRUE(cancel.answered());
        EXPECT_EQ(requester_next_file(), "");
    }
}

TEST_F(Requesters, NonAsciiNamesComeBackAsUtf8) {
    const std::string folder_name = "Диаграммы";
    fs::create_directory(dir.path() / folder_name);
    std::string inside = dir.file(folder_name) + "/";
    write_file(inside + "задача.jpg", {6});
    {
        FileDialogAnswer answer = answer_next_file_dialog(inside + "задача.jpg");
        EXPECT_EQ(open_file_requester("Открыть", inside, "Рисунки|*.jpg", 0), inside + "задача.jpg");
        ASSERT_TRUE(answer.answered());
        EXPECT_EQ(answer.view().title, "Открыть");
        EXPECT_EQ(answer.view().folder, dir.file(folder_name));
        EXPECT_EQ(answer.view().filter_names, std::vector<std::string>{"Рисунки"});
    }
    {
        FileDialogAnswer answer = answer_next_file_dialog(inside + "лист");
        EXPECT_EQ(save_file_requester("Save image", inside + "ход.jpg", ".jpg", 0), inside + "лист");
        ASSERT_TRUE(answer.answered());
        EXPECT_EQ(answer.view().name, "ход.jpg");
    }
    {
        // Stray bytes in displayed texts are made valid rather than refused.
        FileDialogAnswer answer = cancel_next_file_dialog();
        save_file_requester("bad \xff title", dir.folder(), "bad \xfe name|*.jpg", 0);
        ASSERT_TRUE(answer.answered());
        EXPECT_TRUE(g_utf8_validate(answer.view().title.c_str(), -1, nullptr));
        ASSERT_EQ(answer.view().filter_names.size(), 1u);
        EXPECT_TRUE(g_utf8_validate(answer.view().filter_names[0].c_str(), -1, nullptr));
    }
}
