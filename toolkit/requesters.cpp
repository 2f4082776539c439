#include "toolkit/requesters.h"

#include <gtk/gtk.h>

#include <cstddef>
#include <vector>

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

std::string run_requester(bool save, const std::string& title, const std::string& default_path,
                          const std::string& patterns, int pattern_index, unsigned flags) {
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
    GtkFileFilter* selected = FilterBuilder(chooser, pattern_index).build(list);
    tk::process_pending();
    if (selected && !destroyed) gtk_file_chooser_set_filter(chooser, selected);

    gint response = destroyed ? GTK_RESPONSE_NONE : gtk_dialog_run(GTK_DIALOG(dialog));
    if (!destroyed) {
        if (response == GTK_RESPONSE_ACCEPT) {
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
                                const std::string& patterns, int pattern_index) {
    return run_requester(true, title, default_path, patterns, pattern_index, 0);
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

namespace tk {
void requesters_init() {
    forget_choice();
    state.pattern_index = 0;
}
}  // namespace tk
