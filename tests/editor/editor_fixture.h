// Running the real editor in-process: a prepared working folder with a
// synthetic piece set, start-up, and loop turns driven by real input.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "editor/editor.h"
#include "tests/support/gtk_input.h"
#include "tests/support/pixels.h"
#include "tests/support/temp_dir.h"

typedef struct _GtkWidget GtkWidget;

// The flat colour of synthetic piece picture n (1 to 32); all distinct, none
// white or black, at least 60 apart in some channel.
Rgb piece_colour(int n);
// Size of piece picture n for square size s, as the layout assumes it.
void piece_size(int n, int s, int& width, int& height);
// Writes pictures 1 to 32 as n.jpg into folder (BMP content unless jpeg).
// Needs the toolkit started; uses image ids 200 and up.
void write_piece_set(const std::string& folder, int s, bool jpeg = false);

// The ImageHandle that square k shows.
inline ImageHandle square_picture(int k) { return reinterpret_cast<ImageHandle>(gadget_state(k)); }

class EditorTest : public ::testing::Test {
protected:
    ~EditorTest() override;

    // DATA/ with the piece set of square size s, SAVE/ and TEMP/ (each
    // unless told otherwise) inside the scratch folder.
    struct Folders {
        bool data = true, save = true, temp = true;
        int missing = 0;  // a piece picture not written
    };
    void prepare(int s, Folders folders);
    void prepare(int s) { prepare(s, Folders{}); }
    // prepare, start-up in the scratch folder, and the first turns.
    void start(int s = 50);

    // Runs loop turns while events wait in the toolkit queue; false once the
    // loop has ended.
    bool run_turns();
    // Runs turns up to and including the one that dispatches gadget g, and no
    // further; false when no queued event was g's.
    bool run_turns_through(ObjectId g);
    // A real click on gadget g, then the turns it causes.
    void click(ObjectId g, int button = 1);
    // Posts a harmless event and runs its turn: "the next event".
    void next_event();
    // A real Ctrl+key (with Shift when asked) pressed and released, and a
    // moment for it to arrive; key is a letter.
    void press_ctrl(char key, bool shift = false);

    GtkWidget* widget(ObjectId g) const;
    std::string temp_file(int n) const { return dir.folder() + "TEMP/" + number_text(n) + ".jpg"; }

    TempDir dir;
    KeepWorkingFolder keep;
    bool started = false;
    bool loop_ended = false;
};

// Top-left corner and size of a gadget in its window.
struct Placement {
    int x = 0, y = 0, width = 0, height = 0;
    bool operator==(const Placement&) const = default;
};
std::ostream& operator<<(std::ostream& out, const Placement& p);
Placement placement(ObjectId g);

std::vector<std::string> folder_listing(const std::string& folder);
