// The editor in the desktop's language: its windows read back widget by
// widget, under an English, a Russian and the C locale, with the build
// tree's catalogues.
#include <gtk/gtk.h>
#include <langinfo.h>
#include <locale.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/editor/editor_fixture.h"

namespace {

// What a window shows: its title, and every label with the room its button
// leaves it (0 outside buttons).
struct Label {
    std::string text;
    int wanted = 0, room = 0;
};

void collect(GtkWidget* widget, gpointer out) {
    auto& labels = *static_cast<std::vector<Label>*>(out);
    if (GTK_IS_LABEL(widget)) {
        Label label{gtk_label_get_text(GTK_LABEL(widget))};
        if (GTK_IS_BUTTON(gtk_widget_get_parent(widget))) {
            GtkRequisition wanted;
            gtk_widget_size_request(widget, &wanted);
            GtkAllocation room;
            gtk_widget_get_allocation(widget, &room);
            label.wanted = wanted.width;
            label.room = room.width;
        }
        labels.push_back(label);
    }
    if (GTK_IS_CONTAINER(widget)) gtk_container_forall(GTK_CONTAINER(widget), collect, out);
}

std::vector<Label> labels_of(ObjectId window) {
    std::vector<Label> labels;
    collect(GTK_WIDGET(tk::window_gtk(window)), &labels);
    return labels;
}

// The print sheet window runs a loop of its own: its labels are read from a
// timeout once it shows a button, then it is asked to close (after ten
// seconds also without).
std::vector<Label> print_sheet_labels() {
    struct Reading {
        std::vector<Label> labels;
        int ticks = 0;
    } reading;
    g_timeout_add(50, [](gpointer data) -> gboolean {
        auto& reading = *static_cast<Reading*>(data);
        GtkWindow* window = tk::window_gtk(sheet_window);
        if (window && gtk_widget_get_mapped(GTK_WIDGET(window))) reading.labels = labels_of(sheet_window);
        const bool button = std::any_of(reading.labels.begin(), reading.labels.end(),
                                        [](const Label& l) { return l.room > 0; });
        if (!button && ++reading.ticks < 200) return TRUE;
        request_close(sheet_window);
        return FALSE;
    }, &reading);
    show_print_sheet();
    return reading.labels;
}

bool shows(const std::vector<Label>& labels, const std::string& text) {
    return std::any_of(labels.begin(), labels.end(), [&](const Label& l) { return l.text == text; });
}

bool cyrillic(const std::string& text) {
    // Cyrillic letters are U+0400 to U+04FF: lead bytes 0xD0 to 0xD3.
    return std::any_of(text.begin(), text.end(), [](char c) {
        const auto b = static_cast<unsigned char>(c);
        return b >= 0xD0 && b <= 0xD3;
    });
}

class EditorLanguage : public EditorTest {
protected:
    // The desktop's settings, then the programs' own start.
    void start_in(const char* language, const char* locale) {
        if (language)
            setenv("LANGUAGE", language, 1);
        else
            unsetenv("LANGUAGE");
        setenv("LC_ALL", locale, 1);
        language_start(BUILD_LOCALE_FOLDER);
        ASSERT_STREQ(setlocale(LC_MESSAGES, nullptr), locale)
            << "the locale is not installed: tools/test.sh generates en_US.UTF-8 and ru_RU.UTF-8";
        start();
    }
    ~EditorLanguage() override {
        unsetenv("LANGUAGE");
        setenv("LC_ALL", "C.UTF-8", 1);
        setlocale(LC_ALL, "C.UTF-8");
    }
};

TEST_F(EditorLanguage, EnglishDesktopReadsEnglishThatFitsItsButtons) {
    start_in("en", "en_US.UTF-8");
    const std::vector<Label> board = labels_of(board_window);
    for (const char* text : {"Preview and print", "Save image", "Add to print", "Clear board", "Clear diagrams"})
        EXPECT_TRUE(shows(board, text)) << text;
    const std::vector<Label> sheet = print_sheet_labels();
    EXPECT_TRUE(shows(sheet, "Print diagrams"));
    EXPECT_STREQ(gtk_window_get_title(tk::window_gtk(board_window)), "Chess diagram");
    EXPECT_EQ(gadget_text(task_field), "Type the stipulation here");
    gchar* tooltip = gtk_widget_get_tooltip_text(tk::gadget_outer_widget(1));
    ASSERT_NE(tooltip, nullptr);
    EXPECT_EQ(std::string(tooltip).rfind("Ctrl+V — paste a FEN position\n", 0), 0u) << tooltip;
    EXPECT_FALSE(cyrillic(tooltip)) << tooltip;
    g_free(tooltip);
    for (const std::vector<Label>& window : {board, sheet}) {
        for (const Label& label : window) {
            EXPECT_FALSE(cyrillic(label.text)) << label.text;
            EXPECT_LE(label.wanted, label.room) << label.text << " runs over its button";
        }
    }
}

TEST_F(EditorLanguage, RussianDesktopReadsRussianAndWritesNumbersWithAPoint) {
    start_in("ru", "ru_RU.UTF-8");
    const std::vector<Label> board = labels_of(board_window);
    for (const char* text : {"Просмотр и печать", "Сохранить изображение", "Добавить к печати", "Очистить доску",
                             "Очистить диаграммы"})
        EXPECT_TRUE(shows(board, text)) << text;
    EXPECT_TRUE(shows(print_sheet_labels(), "Печать диаграмм"));
    EXPECT_EQ(gadget_text(task_field), "Введите здесь текст задания");

    // The Russian desktop writes 2,5; numbers the programs write stay 2.5.
    locale_t russian = newlocale(LC_ALL_MASK, "ru_RU.UTF-8", nullptr);
    ASSERT_NE(russian, nullptr);
    EXPECT_STREQ(nl_langinfo_l(RADIXCHAR, russian), ",");
    freelocale(russian);
    EXPECT_STREQ(setlocale(LC_NUMERIC, nullptr), "C");
    char number[16];
    std::snprintf(number, sizeof number, "%.1f", 2.5);
    EXPECT_STREQ(number, "2.5");
    EXPECT_EQ(std::strtod("2.5", nullptr), 2.5);
}

// gettext leaves the C locale untranslated whatever LANGUAGE asks for.
TEST_F(EditorLanguage, CLocaleReadsRussian) {
    start_in("en", "C");
    const std::vector<Label> board = labels_of(board_window);
    EXPECT_TRUE(shows(board, "Сохранить изображение"));
    EXPECT_FALSE(shows(board, "Save image"));
    EXPECT_EQ(gadget_text(task_field), "Введите здесь текст задания");
}

}  // namespace
