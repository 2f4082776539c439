// Answering file dialogs from inside a test.
//
// The toolkit's requesters run a GtkFileChooserDialog modally
// (gtk_dialog_run), so a test cannot answer it after the call: it arms an
// answer first, then makes the program open the dialog. A GLib timeout then
// finds the dialog among the top-level windows while its nested loop runs,
// notes what it shows, and answers it as a user would:
//
//   FileDialogAnswer answer = answer_next_file_dialog(folder.file("a.jpg"));
//   std::string path = open_file_requester("Open image", folder.folder(), "Image JPG|*.jpg", 0);
//   ASSERT_TRUE(answer.answered());
//   EXPECT_EQ(answer.view().title, "Open image");
//
// Open dialogs: the named files are selected in the chooser (they must exist
// and pass the filter shown) and the dialog is accepted once the chooser
// holds exactly that selection. Save dialogs: the chooser is moved to the
// file's folder, the name field given the file's name, and the dialog
// accepted. An empty path, or cancel_next_file_dialog(), presses Cancel.
//
// Saving over an existing file brings a question over the dialog; the
// reply's `replace` answers the questions in turn (true: replace; false: no,
// which returns to the dialog, then answered with `then`, or cancelled when
// `then` is empty). A question without an answer left is answered no.
//
// No dialog hangs a test: one that cannot be answered as asked within a few
// seconds is cancelled and answered() reports false, and an answer armed for
// a dialog that never appears gives up after 20 seconds. The answer watches
// only while the FileDialogAnswer lives, so keep it until the dialog is done.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

typedef struct _GtkFileFilter GtkFileFilter;

struct FileDialogReply {
    bool accept = true;
    // Accept: the files to select (open; several need multiple selection),
    // or the one file to save as. UTF-8 full paths.
    std::vector<std::string> files;
    // When 0 or more: the filter at this position is shown before the answer
    // (as if the user picked it from the list).
    int filter = -1;
    // Answers to the questions before a file is replaced, in turn.
    std::vector<bool> replace;
    // The file to save as after a question was answered no; "" cancels.
    std::string then;
};

// What the dialog showed when it appeared, before the answer changed it.
class FileDialogView {
public:
    FileDialogView() = default;
    ~FileDialogView();
    FileDialogView(const FileDialogView&) = delete;
    FileDialogView& operator=(const FileDialogView&) = delete;

    std::string title;
    bool save = false;  // a save dialog, otherwise an open dialog
    bool select_multiple = false;
    std::vector<std::string> filter_names;  // in the chooser's order
    int shown_filter = -1;                  // position of the filter shown; -1 none
    std::string folder;                     // current folder, UTF-8, no trailing '/' (but "/")
    std::string name;                       // the text of the name field; "" when there is none
    // The buttons of the action area in the order they were added: label
    // (a stock id such as "gtk-cancel") and response.
    std::vector<std::pair<std::string, int>> buttons;
    int default_response = 0;

    // The questions asked before a file was replaced: primary and secondary text.
    std::vector<std::pair<std::string, std::string>> questions;
    // The chooser was still on show after a question was answered no.
    bool back_in_dialog = false;

    // Whether the filter at position index lets the file name through.
    bool filter_accepts(int index, const std::string& file_name) const;

private:
    friend struct FileDialogWatch;
    std::vector<GtkFileFilter*> filters_;  // referenced, so they outlive the dialog
};

struct FileDialogWatch;

class [[nodiscard]] FileDialogAnswer {
public:
    explicit FileDialogAnswer(FileDialogReply reply);
    ~FileDialogAnswer();  // stops watching
    FileDialogAnswer(FileDialogAnswer&&) noexcept;
    FileDialogAnswer& operator=(FileDialogAnswer&&) = delete;
    FileDialogAnswer(const FileDialogAnswer&) = delete;

    // A dialog appeared (view() describes it).
    bool seen() const;
    // It was answered as asked and closed.
    bool answered() const;
    const FileDialogView& view() const;

private:
    std::shared_ptr<FileDialogWatch> watch_;
};

// Accepts the next file dialog with path, or cancels it when path is empty.
FileDialogAnswer answer_next_file_dialog(const std::string& path);
// Accepts the next open dialog with several files selected.
FileDialogAnswer answer_next_file_dialog(const std::vector<std::string>& paths);
FileDialogAnswer cancel_next_file_dialog(int filter = -1);
FileDialogAnswer answer_next_file_dialog(FileDialogReply reply);

// Answers the next error message (a modal GtkMessageDialog) with OK, noting
// what it showed. Gives up after 20 seconds; keep it until the message is done.
struct MessageView {
    bool seen = false;
    std::string title, text, detail;
    bool modal = false;
    std::string parent_title;  // the window it stands over; "" for none
    bool has_parent = false;
};

class [[nodiscard]] MessageAnswer {
public:
    MessageAnswer();
    ~MessageAnswer();
    MessageAnswer(const MessageAnswer&) = delete;
    MessageAnswer& operator=(const MessageAnswer&) = delete;
    bool seen() const { return view_.seen; }
    const MessageView& view() const { return view_; }
    // Messages answered so far (each is answered as it comes).
    int count() const { return count_; }

private:
    static int poll(void* self);
    MessageView view_;
    int count_ = 0;
    unsigned source_ = 0;
    int ticks_ = 0;
};
