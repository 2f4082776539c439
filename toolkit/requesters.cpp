#include "toolkit/requesters.h"

#include <gtk/gtk.h>

#include <cstddef>
#include <cstdio>
#include <vector>

#include "toolkit/internal.h"
#include "toolkit/language.h"
#include "toolkit/objects.h"

namespace {
// What the last requester left behind for requester_next_file and
// requester_pattern_index.
struct RequesterState {
    std::vector<std::string> chosen;  // full paths, UTF-8
    std::size_t cursor = 0;           // the name last handed out
    int pattern_index = 0;
};
RequesterState state;

// Each filter carries its number in the pattern list, read back when the
// dialog closes.
const char* const filter_index_key = "toolkit-filter-index";

// GTK and Pango expect valid UTF-8 for every displayed text; a text is cut
// at a zero byte as any C string would be, and stray bytes become U+FFFD.
std::string display_text(const std::string& text) {
    gchar* valid = g_utf8_make_valid(text.c_str(), -1);
    std::string result(valid);
    g_free(valid);
    return result;
}

// The chooser takes and gives file names in GLib's file-name encoding, while
// the programs and the system calls see UTF-8. A name that does not convert
// is passed on as its bytes: those are what open() would be given, so the
// file stays reachable.
std::string to_file_name(const std::string& utf8) {
    gchar* name = g_filename_from_utf8(utf8.c_str(), -1, nullptr, nullptr, nullptr);
    if (!name) return utf8.c_str();
    std::string result(name);
    g_free(name);
    return result;
}

std::string from_file_name(const char* name) {
    gchar* utf8 = g_filename_to_utf8(name, -1, nullptr, nullptr, nullptr);
    if (!utf8) return name;
    std::string result(utf8);
    g_free(utf8);
    return result;
}

// Builds the chooser's filters from "name|patterns|name|patterns...", where
// ';' separates the patterns of a group and "*.*" means "*". Returns the
// filter numbered `wanted`, or null when there is none.
class FilterBuilder {
public:
    FilterBuilder(GtkFileChooser* chooser, int wanted) : chooser_(chooser), wanted_(wanted) {}

    GtkFileFilter* build(const std::string& list) {
        bool in_name = true;
        std::size_t start = 0;
        for (std::size_t i = 0; i < list.size(); ++i) {
            char c = list[i];
            if (c == '|') {
                std::string token = list.substr(start, i - start);
                if (in_name) {
                    start_filter(token);
                } else {
                    add_pattern(token);
                }
                in_name = !in_name;
                start = i + 1;
            } else if (c == ';' && !in_name && current_) {
                add_pattern(list.substr(start, i - start));
                start = i + 1;
            }
        }
        // A trailing name without patterns makes no filter: a list without
        // any '|' leaves the chooser showing every file.
        if (!in_name) add_pattern(list.substr(start));
        add_current();
        return selected_;
    }

private:
    void start_filter(const std::string& name) {
        add_current();
        current_ = gtk_file_filter_new();
        gtk_file_filter_set_name(current_, name.c_str());
        g_object_set_data(G_OBJECT(current_), filter_index_key, GINT_TO_POINTER(next_index_));
        if (next_index_ == wanted_) selected_ = current_;
        ++next_index_;
    }

    void add_pattern(const std::string& pattern) {
        if (!current_) return;
        gtk_file_filter_add_pattern(current_, pattern == "*.*" ? "*" : pattern.c_str());
    }

    // The chooser takes ownership of the filter.
    void add_current() {
        if (current_) gtk_file_chooser_add_filter(chooser_, current_);
        current_ = nullptr;
    }

    GtkFileChooser* chooser_;
    int wanted_;
    int next_index_ = 0;
    GtkFileFilter* current_ = nullptr;
    GtkFileFilter* selected_ = nullptr;
};

void apply_default_path(GtkFileChooser* chooser, const std::string& path, bool save) {
    if (path.empty()) return;
    std::string file_name = to_file_name(path);
    if (path.back() == '/') {
        gtk_file_chooser_set_current_folder(chooser, file_name.c_str());
        return;
    }
    gtk_file_chooser_set_filename(chooser, file_name.c_str());
    if (save) {
        std::string::size_type slash = path.rfind('/');
        std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
        gtk_file_chooser_set_current_name(chooser, display_text(name).c_str());
    }
}

void forget_choice() {
    state.chosen.clear();
    state.cursor = 0;
}

void note_destroyed(GtkWidget*, gpointer destroyed) { *static_cast<bool*>(destroyed) = true; }

// GTK's own question before a file is replaced, in GTK's words and
// translation, for a name that GTK itself did not see: the chosen name with
// the extension added. True when the user chose to replace the file.
bool replace_question(GtkWidget* chooser_dialog, const std::string& file_name) {
    gchar* base = g_filename_display_basename(file_name.c_str());
    gchar* folder = g_path_get_dirname(file_name.c_str());
    gchar* folder_name = g_filename_display_basename(folder);
    GtkWindow* parent = GTK_WINDOW(chooser_dialog);
    GtkWidget* question = gtk_message_dialog_new(
        parent, GtkDialogFlags(GTK_DIALOG_MODAL | GTK_DIALOG_DESTROY_WITH_PARENT), GTK_MESSAGE_QUESTION,
        GTK_BUTTONS_NONE, g_dgettext("gtk20", "A file named \"%s\" already exists.  Do you want to replace it?"),
        base);
    gtk_message_dialog_format_secondary_text(
        GTK_MESSAGE_DIALOG(question),
        g_dgettext("gtk20", "The file already exists in \"%s\".  Replacing it will overwrite its contents."),
        folder_name);
    g_free(base);
    g_free(folder);
    g_free(folder_name);
    gtk_dialog_add_button(GTK_DIALOG(question), GTK_STOCK_CANCEL, GTK_RESPONSE_CANCEL);
    GtkWidget* replace = gtk_button_new_with_mnemonic(g_dgettext("gtk20", "_Replace"));
    gtk_button_set_image(GTK_BUTTON(replace), gtk_image_new_from_stock(GTK_STOCK_SAVE_AS, GTK_ICON_SIZE_BUTTON));
    gtk_widget_set_can_default(replace, TRUE);
    gtk_widget_show(replace);
    gtk_dialog_add_action_widget(GTK_DIALOG(question), replace, GTK_RESPONSE_ACCEPT);
    gtk_dialog_set_alternative_button_order(GTK_DIALOG(question), GTK_RESPONSE_ACCEPT, GTK_RESPONSE_CANCEL, -1);
    gtk_dialog_set_default_response(GTK_DIALOG(question), GTK_RESPONSE_ACCEPT);
    if (gtk_window_has_group(parent)) gtk_window_group_add_window(gtk_window_get_group(parent), GTK_WINDOW(question));
    gint answer = gtk_dialog_run(GTK_DIALOG(question));
    gtk_widget_destroy(question);
    return answer == GTK_RESPONSE_ACCEPT;
}

// Runs the chooser until it is answered. In save mode with an extension the
// answer is the final name (else ""), asked about when that file exists.
gint run_chooser(GtkWidget* dialog, bool& destroyed, bool save, const std::string& extension, std::string& final) {
    while (true) {
        gint response = gtk_dialog_run(GTK_DIALOG(dialog));
        if (destroyed || response != GTK_RESPONSE_ACCEPT || !save || extension.empty()) return response;
        gchar* chosen = gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(dialog));
        if (!chosen) return response;
        std::string name = chosen;
        g_free(chosen);
        final = with_extension(name, to_file_name(extension));
        // GTK has asked about the name it saw.
        if (final == name) return response;
        const bool taken = g_file_test(final.c_str(), G_FILE_TEST_EXISTS) && !g_file_test(final.c_str(), G_FILE_TEST_IS_DIR);
        if (!taken || replace_question(dialog, final)) return response;
        final.clear();
        if (destroyed) return GTK_RESPONSE_NONE;
    }
}

std::string run_requester(bool save, const std::string& title, const std::string& default_path,
                          const std::string& patterns, int pattern_index, unsigned flags,
                          const std::string& extension = std::string()) {
    std::string title_text = display_text(title);
    std::string path = default_path.c_str();
    std::string list = display_text(patterns);
    state.pattern_index = 0;
    forget_choice();

    GtkWidget* dialog = gtk_file_chooser_dialog_new(
        title_text.c_str(), nullptr, save ? GTK_FILE_CHOOSER_ACTION_SAVE : GTK_FILE_CHOOSER_ACTION_OPEN,
        GTK_STOCK_CANCEL, GTK_RESPONSE_CANCEL, save ? GTK_STOCK_SAVE : GTK_STOCK_OPEN, GTK_RESPONSE_ACCEPT,
        static_cast<const char*>(nullptr));
    if (!dialog) return std::string();
    // Held across the run: something destroying the dialog meanwhile must not
    // leave us with a freed widget.
    g_object_ref(dialog);
    bool destroyed = false;
    g_signal_connect(dialog, "destroy", G_CALLBACK(note_destroyed), &destroyed);

    GtkFileChooser* chooser = GTK_FILE_CHOOSER(dialog);
    gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_ACCEPT);
    apply_default_path(chooser, path, save);
    if (!save && (flags & 1)) gtk_file_chooser_set_select_multiple(chooser, TRUE);
    if (save) gtk_file_chooser_set_do_overwrite_confirmation(chooser, TRUE);
    GtkFileFilter* selected = FilterBuilder(chooser, pattern_index).build(list);
    tk::process_pending();
    if (selected && !destroyed) gtk_file_chooser_set_filter(chooser, selected);

    std::string final;
    gint response = destroyed ? GTK_RESPONSE_NONE : run_chooser(dialog, destroyed, save, extension, final);
    if (!destroyed) {
        if (response == GTK_RESPONSE_ACCEPT && !final.empty()) {
            state.chosen.push_back(from_file_name(final.c_str()));
        } else if (response == GTK_RESPONSE_ACCEPT) {
            // In the chooser's order; names without a local path (remote
            // locations) are left out by GTK itself.
            GSList* names = gtk_file_chooser_get_filenames(chooser);
            for (GSList* item = names; item; item = item->next) {
                state.chosen.push_back(from_file_name(static_cast<const char*>(item->data)));
                g_free(item->data);
            }
            g_slist_free(names);
        }
        if (GtkFileFilter* shown = gtk_file_chooser_get_filter(chooser)) {
            state.pattern_index = GPOINTER_TO_INT(g_object_get_data(G_OBJECT(shown), filter_index_key));
        }
        g_signal_handlers_disconnect_by_func(dialog, reinterpret_cast<gpointer>(note_destroyed), &destroyed);
        gtk_widget_destroy(dialog);
    }
    g_object_unref(dialog);
    return state.chosen.empty() ? std::string() : state.chosen.front();
}
}  // namespace

std::string save_file_requester(const std::string& title, const std::string& default_path,
                                const std::string& patterns, int pattern_index, const std::string& extension) {
    return run_requester(true, title, default_path, patterns, pattern_index, 0, extension);
}

std::string open_file_requester(const std::string& title, const std::string& default_path,
                                const std::string& patterns, int pattern_index, unsigned flags) {
    return run_requester(false, title, default_path, patterns, pattern_index, flags);
}

std::string requester_next_file() {
    if (state.cursor + 1 < state.chosen.size()) return state.chosen[++state.cursor];
    forget_choice();
    return std::string();
}

int requester_pattern_index() { return state.pattern_index; }

std::string with_extension(const std::string& name, const std::string& extension) {
    if (extension.empty() || name.size() < extension.size()) return name + extension;
    gchar* end = g_ascii_strdown(name.c_str() + name.size() - extension.size(), -1);
    gchar* wanted = g_ascii_strdown(extension.c_str(), -1);
    const bool has = std::string(end) == wanted;
    g_free(end);
    g_free(wanted);
    return has ? name : name + extension;
}

std::string failure_message(FailureKind kind, FileAccess access) {
    const bool writing = access == FileAccess::Writing;
    switch (kind) {
        case FailureKind::None:
            return _("Причина неизвестна");
        case FailureKind::NotFound:
            return writing ? _("Папка не существует") : _("Файл не найден");
        case FailureKind::NoPermission:
            return writing ? _("Нет прав на запись") : _("Нет прав на чтение");
        case FailureKind::DiskFull:
            return _("Диск заполнен");
        case FailureKind::NotAPicture:
            return _("Файл повреждён или это не JPEG");
        case FailureKind::Damaged:
            return _("Изображение повреждено или записано не полностью");
        case FailureKind::TooLarge:
            return _("Изображение слишком велико");
        case FailureKind::NotAFile:
            return _("Это не файл, а папка или устройство");
        case FailureKind::OutOfMemory:
            return _("Не хватает памяти");
        case FailureKind::Other:
            break;
    }
    return _("Ошибка системы");
}

void message_requester(const std::string& title, const std::string& text, const std::string& detail, ObjectId over) {
    GtkWindow* parent = over >= 0 ? tk::window_gtk(over) : nullptr;
    if (parent && !gtk_widget_get_visible(GTK_WIDGET(parent))) parent = nullptr;
    GtkWidget* dialog = gtk_message_dialog_new(parent, GtkDialogFlags(GTK_DIALOG_MODAL | GTK_DIALOG_DESTROY_WITH_PARENT),
                                               GTK_MESSAGE_ERROR, GTK_BUTTONS_OK, "%s", display_text(text).c_str());
    if (!dialog) return;
    if (!detail.empty())
        gtk_message_dialog_format_secondary_text(GTK_MESSAGE_DIALOG(dialog), "%s", display_text(detail).c_str());
    gtk_window_set_title(GTK_WINDOW(dialog), display_text(title).c_str());
    gtk_window_set_position(GTK_WINDOW(dialog), parent ? GTK_WIN_POS_CENTER_ON_PARENT : GTK_WIN_POS_CENTER);
    // Held across the run, as the file requesters do.
    g_object_ref(dialog);
    bool destroyed = false;
    g_signal_connect(dialog, "destroy", G_CALLBACK(note_destroyed), &destroyed);
    gtk_dialog_run(GTK_DIALOG(dialog));
    if (!destroyed) {
        g_signal_handlers_disconnect_by_func(dialog, reinterpret_cast<gpointer>(note_destroyed), &destroyed);
        gtk_widget_destroy(dialog);
    }
    g_object_unref(dialog);
}

void failure_requester(const std::string& title, const std::string& what, FileAccess access, ObjectId over) {
    const Failure& failure = last_failure();
    // Taken before the dialog runs: nothing in it may overwrite the record.
    const FailureKind kind = failure.kind;
    std::fprintf(stderr, "%s\n", failure.text.empty() ? what.c_str() : failure.text.c_str());
    std::fflush(stderr);
    message_requester(title, what, failure_message(kind, access), over);
}

namespace tk {
void requesters_init() {
    forget_choice();
    state.pattern_index = 0;
}
}  // namespace tk
