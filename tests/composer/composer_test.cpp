// The composer in process: its real start-up and window, single turns of
// its event loop, real clicks on its buttons and the real file dialogs,
// answered from inside the test. Built once per variant; EXPECTED_CELLS
// says which one this binary holds. Printing is in composer_print_test.cpp.
#include "tests/composer/composer_fixture.h"

using namespace composer_test;

TEST_F(Composer, GeometryWindowAndGadgets) {
    EXPECT_EQ(columns, expected.columns);
    EXPECT_EQ(rows, expected.rows);
    EXPECT_EQ(capacity, EXPECTED_CELLS);
    EXPECT_EQ(margin, expected.margin);
    EXPECT_EQ(gap, 20);
    EXPECT_EQ(sheet_width, 1180);
    EXPECT_EQ(sheet_height, 1628);
    EXPECT_EQ(cell_width, expected.cell_width);
    EXPECT_EQ(cell_height, expected.cell_height);
    EXPECT_EQ(diagram_count, 0);
    EXPECT_EQ(start_folder, dir.folder());
    EXPECT_EQ(save_folder, dir.folder() + "SAVE/");

    GtkWindow* window = tk::window_gtk(composer_window);
    ASSERT_NE(window, nullptr);
    EXPECT_STREQ(gtk_window_get_title(window), "");
    EXPECT_FALSE(gtk_window_get_resizable(window));
    GtkAllocation client = allocation(GTK_WIDGET(window));
    EXPECT_EQ(client.width, 1000);
    EXPECT_EQ(client.height, 700);

    struct Button {
        ObjectId id;
        int x, y, width, height;
        const char* label;
    };
    const Button buttons[] = {{print_button, 25, 10, 150, 25, "Печать диаграмм"},
                              {add_button, 205, 10, 150, 25, "Добавить диаграмму"},
                              {save_button, 385, 10, 200, 25, "Сохранить диаграммы в JPG"},
                              {clear_button, 615, 10, 200, 25, "Очистить диаграммы"}};
    for (const Button& b : buttons) {
        SCOPED_TRACE(b.label);
        GtkWidget* widget = tk::gadget_widget(b.id);
        ASSERT_TRUE(GTK_IS_BUTTON(widget));
        GtkWidget* label = gtk_bin_get_child(GTK_BIN(widget));
        ASSERT_TRUE(GTK_IS_LABEL(label));
        EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(label)), b.label);
        int x, y;
        place_in_window(widget, x, y);
        EXPECT_EQ(x, b.x);
        EXPECT_EQ(y, b.y);
        EXPECT_EQ(allocation(widget).width, b.width);
        EXPECT_EQ(allocation(widget).height, b.height);
        EXPECT_TRUE(label_fits(widget));
        EXPECT_TRUE(gtk_widget_is_sensitive(widget));
    }

    GtkWidget* scroll = tk::gadget_widget(sheet_scroll);
    ASSERT_TRUE(GTK_IS_SCROLLED_WINDOW(scroll));
    int x, y;
    place_in_window(scroll, x, y);
    EXPECT_EQ(x, 5);
    EXPECT_EQ(y, 40);
    EXPECT_EQ(allocation(scroll).width, 990);
    EXPECT_EQ(allocation(scroll).height, 640);
    GtkWidget* view = tk::gadget_outer_widget(sheet_view);
    EXPECT_TRUE(gtk_widget_is_ancestor(view, scroll));
    EXPECT_EQ(allocation(view).width, 1180);
    EXPECT_EQ(allocation(view).height, 1628);
    EXPECT_EQ(gadget_state(sheet_view), reinterpret_cast<std::intptr_t>(sheet()));
}

TEST_F(Composer, SheetIsWhiteAfterStartUpAndAfterClearingAnEmptySheet) {
    EXPECT_TRUE(sheet_is_white()) << "a new image starts black";
    clear();
    EXPECT_TRUE(sheet_is_white());
    EXPECT_EQ(diagram_count, 0);
    EXPECT_TRUE(add_usable());
}

TEST_F(Composer, ScalesEachPictureToFitACellKeepingItsProportions) {
    struct Case {
        int width, height, scaled_width, scaled_height;
    };
    const int ch = cell_height;
#if EXPECTED_CELLS == 12
    const Case cases[] = {
        {400, 450, 335, 377},   // ratios 1.111 and 1.194
        {720, 754, 360, 377},   // equal ratios
        {180, 160, 360, 320},   // enlarged
        {1000, 400, 360, 144},  // the width decides
#else
    const Case cases[] = {
        {400, 450, 446, 502},
        {720, 754, 479, 502},
        {180, 160, 540, 480},
        {1000, 400, 540, 216},
#endif
        // W exactly halfway: a half goes to the even neighbour.
        {5, 2 * ch, 2, ch},
        {7, 2 * ch, 4, ch},
        // Half a pixel would round to none; the sliver keeps one.
        {1, 2 * ch, 1, ch},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << " x " << c.height);
        Rgb colour = palette[n % 12];
        ASSERT_TRUE(add(picture("p" + std::to_string(n++), c.width, c.height, colour)));
        EXPECT_EQ(diagram_count, 1);
        EXPECT_EQ(image_width(diagram_image), c.scaled_width);
        EXPECT_EQ(image_height(diagram_image), c.scaled_height);
        EXPECT_TRUE(drawn_at(margin, margin, c.scaled_width, c.scaled_height, colour));
        EXPECT_EQ(gadget_state(sheet_view), reinterpret_cast<std::intptr_t>(sheet()));
        clear();
        EXPECT_TRUE(sheet_is_white());
    }
}

TEST_F(Composer, CellSizedPictureIsDrawnUnchanged) {
    std::string path = picture("cell", cell_width, cell_height, palette[2], true);
    ASSERT_TRUE(add(path));
    ASSERT_NE(image_load(61, path), 0);
    EXPECT_EQ(max_difference(sheet(), margin, margin, image_handle(61), 0, 0, cell_width, cell_height), 0);
    EXPECT_TRUE(region_is(sheet(), margin + cell_width, margin, 1, cell_height, white));
    EXPECT_TRUE(region_is(sheet(), margin, margin + cell_height, cell_width, 1, white));
}

// The second position is reckoned from the second picture's own width.
TEST_F(Composer, LaterPositionsFollowThePictureAsScaled) {
    ASSERT_TRUE(add(picture("first", cell_width, cell_height, palette[0])));
    ASSERT_TRUE(add(picture("second", 400, 450, palette[1])));
    EXPECT_EQ(diagram_count, 2);
    const int w = image_width(diagram_image);
#if EXPECTED_CELLS == 12
    EXPECT_EQ(w, 335);
    // 30 + 335 + 20: the first diagram's last 5 columns are painted over.
    EXPECT_TRUE(drawn_at(385, 30, 335, 377, palette[1]));
    EXPECT_TRUE(region_is(sheet(), 30, 30, 355, 377, palette[0], jpeg_tolerance));
#else
    // 40 + 446 + 20: the second diagram paints over the right of the first.
    EXPECT_EQ(w, 446);
    EXPECT_TRUE(drawn_at(506, 40, 446, 502, palette[1]));
    EXPECT_TRUE(region_is(sheet(), 40, 40, 466, 502, palette[0], jpeg_tolerance));
#endif
}

TEST_F(Composer, FullSheetInReadingOrderThenClearedAndRefilled) {
    for (int n = 1; n <= capacity; ++n) {
        EXPECT_TRUE(add_usable()) << "before diagram " << n;
        ASSERT_TRUE(add(picture("d" + std::to_string(n), cell_width, cell_height, palette[n - 1])));
        EXPECT_EQ(diagram_count, n);
    }
    EXPECT_FALSE(add_usable()) << "disabled at the end of the event that filled the sheet";
    for (int n = 1; n <= capacity; ++n) {
        int x = expected.column_x[(n - 1) % columns];
        int y = expected.row_y[(n - 1) / columns];
        EXPECT_TRUE(drawn_at(x, y, cell_width, cell_height, palette[n - 1])) << "cell " << n;
    }
    // What the cells leave over at the right and the bottom stays white.
    const int right = expected.column_x.back() + cell_width;
    const int bottom = expected.row_y.back() + cell_height;
    EXPECT_TRUE(region_is(sheet(), right, 0, sheet_width - right, sheet_height, white));
    EXPECT_TRUE(region_is(sheet(), 0, bottom, sheet_width, sheet_height - bottom, white));

    clear();
    EXPECT_EQ(diagram_count, 0);
    EXPECT_TRUE(add_usable());
    EXPECT_TRUE(sheet_is_white());
    EXPECT_EQ(gadget_state(sheet_view), reinterpret_cast<std::intptr_t>(sheet()));

    ASSERT_TRUE(add(dir.file("SAVE/d5.jpg")));
    EXPECT_EQ(diagram_count, 1);
    EXPECT_TRUE(drawn_at(margin, margin, cell_width, cell_height, palette[4]));
}

TEST_F(Composer, OnlyGadgetEventsReachTheCapacityCheck) {
    // A full sheet whose add button was made usable behind the loop's back:
    // only the check after a Gadget event disables it again.
    diagram_count = capacity;
    gadget_disable(add_button, 0);
    for (EventKind kind : {NoEvent, NothingToReport, Repaint, Moved, Resized, Activated, Deactivated, Minimised,
                           Maximised, Restored, PointerMoved}) {
        event_post(kind, 0, composer_window, 0);
        EXPECT_TRUE(loop_turn());
        EXPECT_EQ(last_event, kind);
        EXPECT_TRUE(add_usable()) << "after event kind " << kind;
    }
    EXPECT_EQ(diagram_count, capacity);
    EXPECT_TRUE(sheet_is_white());

    // A click on the sheet view matches no button: nothing but the check.
    ASSERT_TRUE(click(sheet_view, tk::gadget_outer_widget(sheet_view), 50, 50));
    EXPECT_FALSE(add_usable());
    EXPECT_EQ(diagram_count, capacity);
    EXPECT_TRUE(sheet_is_white());
}

TEST_F(Composer, OpenDialogCancelledChangesNothing) {
    ASSERT_TRUE(add(picture("one", cell_width, cell_height, palette[3])));
    FileDialogAnswer answer = cancel_next_file_dialog();
    ASSERT_TRUE(click(add_button));
    ASSERT_TRUE(answer.seen());
    const FileDialogView& view = answer.view();
    EXPECT_EQ(view.title, "Open image");
    EXPECT_FALSE(view.save);
    EXPECT_FALSE(view.select_multiple);
    EXPECT_EQ(view.folder, (dir.path() / "SAVE").string());
    EXPECT_EQ(view.filter_names, (std::vector<std::string>{"Image JPG", "Position list (FEN, EPD, PGN)", "Chess problems (POP, YAML)"}));
    EXPECT_EQ(view.shown_filter, 0);
    for (const char* name : {"a.jpg", "a.JPG", "a.jpeg", "a.JPEG"}) EXPECT_TRUE(view.filter_accepts(0, name)) << name;
    EXPECT_FALSE(view.filter_accepts(0, "a.png"));
    for (const char* name : {"a.fen", "a.epd", "a.pgn", "a.txt", "A.PGN"}) EXPECT_TRUE(view.filter_accepts(1, name)) << name;
    EXPECT_FALSE(view.filter_accepts(1, "a.jpg"));

    EXPECT_EQ(diagram_path, "");
    EXPECT_EQ(diagram_count, 1);
    EXPECT_TRUE(drawn_at(margin, margin, cell_width, cell_height, palette[3]));
    EXPECT_TRUE(region_is(sheet(), margin + cell_width, 0, sheet_width - margin - cell_width, sheet_height, white));
}

// A picture from a camera or another program, named in capitals.
TEST_F(Composer, PicturesEndingInCapitalsOrJpegCanBeChosen) {
    const std::string path = picture("d1", cell_width, cell_height, palette[4]);
    fs::rename(path, dir.file("SAVE/PHOTO.JPG"));
    ASSERT_TRUE(add(dir.file("SAVE/PHOTO.JPG")));
    fs::rename(dir.file("SAVE/PHOTO.JPG"), dir.file("SAVE/photo.jpeg"));
    ASSERT_TRUE(add(dir.file("SAVE/photo.jpeg")));
    EXPECT_EQ(diagram_count, 2);
    EXPECT_TRUE(drawn_at(expected.column_x[1], margin, cell_width, cell_height, palette[4]));
}

TEST_F(Composer, FileThatDoesNotLoadTakesNoCell) {
    const std::string bad = dir.file("SAVE/broken.jpg");
    write_file(bad, {'n', 'o', 't', ' ', 'a', ' ', 'p', 'i', 'c', 't', 'u', 'r', 'e'});

    // First after start-up: no image 99 yet, the sheet stays white. The user
    // is told, naming the file and why.
    MessageAnswer message;
    testing::internal::CaptureStderr();
    ASSERT_TRUE(add(bad));
    std::string said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find(bad), std::string::npos) << said;
    ASSERT_EQ(message.count(), 1);
    EXPECT_EQ(message.view().text, "Не удалось загрузить диаграмму из файла " + bad);
    EXPECT_EQ(message.view().detail, "Файл повреждён или это не JPEG");
    EXPECT_TRUE(message.view().modal);
    EXPECT_TRUE(message.view().has_parent);
    EXPECT_EQ(diagram_count, 0);
    EXPECT_TRUE(sheet_is_white());
    EXPECT_TRUE(add_usable());

    ASSERT_TRUE(add(picture("good1", cell_width, cell_height, palette[0])));
    EXPECT_EQ(diagram_count, 1);
    EXPECT_TRUE(drawn_at(margin, margin, cell_width, cell_height, palette[0]));

    // After a diagram did load: no second copy of it is drawn.
    testing::internal::CaptureStderr();
    ASSERT_TRUE(add(bad));
    said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find(bad), std::string::npos) << said;
    EXPECT_EQ(message.count(), 2);
    EXPECT_EQ(diagram_count, 1);
    const int second_x = expected.column_x[1];
    EXPECT_TRUE(region_is(sheet(), second_x, margin, cell_width, cell_height, white));

    ASSERT_TRUE(add(picture("good2", cell_width, cell_height, palette[1])));
    EXPECT_EQ(diagram_count, 2);
    EXPECT_TRUE(drawn_at(second_x, margin, cell_width, cell_height, palette[1]));
}

TEST_F(Composer, SavesTheSheetUnderTheNameAsGiven) {
    const std::string path = dir.file("sheet");
    FileDialogAnswer answer = answer_next_file_dialog(path);
    ASSERT_TRUE(click(save_button));
    ASSERT_TRUE(answer.answered());
    const FileDialogView& view = answer.view();
    EXPECT_EQ(view.title, "Save image");
    EXPECT_TRUE(view.save);
    // It starts in the home folder (GLib keeps HOME as it was at start).
    if (const char* home = std::getenv("HOME"); home && fs::is_directory(home)) {
        EXPECT_EQ(fs::path(view.folder), fs::canonical(home));
    }
    EXPECT_EQ(view.filter_names, (std::vector<std::string>{"Image JPG", "PDF document"}));

    EXPECT_EQ(save_result, 1);
    EXPECT_TRUE(fs::exists(path));
    EXPECT_FALSE(fs::exists(path + ".jpg")) << "no extension is added";
    ASSERT_NE(image_load(61, path), 0);
    EXPECT_EQ(image_width(61), 1180);
    EXPECT_EQ(image_height(61), 1628);
    EXPECT_TRUE(region_is(image_handle(61), 0, 0, 1180, 1628, white, 1));

    // A sheet with diagrams on it is written as it stands.
    ASSERT_TRUE(add(picture("a", cell_width, cell_height, palette[5], true)));
    ASSERT_TRUE(add(picture("b", 400, 450, palette[6])));
    FileDialogReply replace;
    replace.files = {path};
    replace.replace = {true};
    FileDialogAnswer again = answer_next_file_dialog(replace);
    ASSERT_TRUE(click(save_button));
    ASSERT_TRUE(again.answered());
    ASSERT_NE(image_load(61, path), 0);
    EXPECT_LE(mean_difference(image_handle(61), sheet()), 1.0);
    EXPECT_EQ(pixel_at(image_handle(61), 1179, 1627), white);
}

// GTK's own question before a file is replaced; "no" returns to the dialog.
TEST_F(Composer, SavingOverAnExistingFileAsksFirst) {
    const std::string path = dir.file("sheet.jpg");
    write_file(path, {'o', 'l', 'd'});
    {
        FileDialogReply reply;
        reply.files = {path};
        reply.replace = {false};
        FileDialogAnswer answer = answer_next_file_dialog(reply);
        ASSERT_TRUE(click(save_button));
        ASSERT_TRUE(answer.answered());
        ASSERT_EQ(answer.view().questions.size(), 1u);
        EXPECT_EQ(answer.view().questions[0].first,
                  "A file named \"sheet.jpg\" already exists.  Do you want to replace it?");
        EXPECT_TRUE(answer.view().back_in_dialog);
    }
    EXPECT_EQ(read_file(path), (std::vector<std::uint8_t>{'o', 'l', 'd'}));
    {
        FileDialogReply reply;
        reply.files = {path};
        reply.replace = {true};
        FileDialogAnswer answer = answer_next_file_dialog(reply);
        ASSERT_TRUE(click(save_button));
        ASSERT_TRUE(answer.answered());
        EXPECT_EQ(answer.view().questions.size(), 1u);
    }
    ASSERT_NE(image_load(61, path), 0);
    EXPECT_EQ(image_width(61), 1180);
}

TEST_F(Composer, ASheetThatCannotBeSavedIsReported) {
    const std::string path = dir.file("sheet.jpg");
    MessageAnswer message;
    testing::internal::CaptureStderr();
    {
        FileSizeLimit limit(4096);
        FileDialogAnswer answer = answer_next_file_dialog(path);
        ASSERT_TRUE(click(save_button));
        ASSERT_TRUE(answer.answered());
    }
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(save_result, 0);
    ASSERT_EQ(message.count(), 1);
    EXPECT_EQ(message.view().text, "Не удалось сохранить лист в файл " + path);
    EXPECT_EQ(message.view().detail, "Диск заполнен");
    EXPECT_EQ(message.view().title, "");
    EXPECT_TRUE(message.view().modal);
    EXPECT_NE(said.find(path), std::string::npos) << said;
    EXPECT_FALSE(fs::exists(path)) << "no part of a sheet is left";
}

TEST_F(Composer, SaveDialogCancelledWritesNothing) {
    FileDialogAnswer answer = cancel_next_file_dialog();
    ASSERT_TRUE(click(save_button));
    ASSERT_TRUE(answer.seen());
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1) << "only SAVE/";
}

TEST_F(Composer, CloseRequestEndsTheLoop) {
    request_close(composer_window);
    pump(40);
    bool running = true;
    while (running && tk::events_queued() > 0) running = loop_turn();
    EXPECT_FALSE(running);
    EXPECT_EQ(last_event, CloseWindow);
}
