#include "tests/support/dialogs.h"

#include <gtk/gtk.h>

#include <algorithm>
#include <chrono>

namespace {
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr milliseconds tick{20};
// A dialog must appear within this time of arming the answer.
constexpr milliseconds appear_limit{20000};
// The chooser loads folders and checks names asynchronously; answering waits
// for it this long before giving up and cancelling.
constexpr milliseconds settle_time{150};
constexpr milliseconds answer_limit{5000};
// Re-select files this often while the chooser has not taken the selection.
constexpr milliseconds reselect_every{250};

std::string to_utf8(const char* file_name) {
    if (!file_name) return std::string();
    gchar* utf8 = g_filename_to_utf8(file_name, -1, nullptr, nullptr, nullptr);
    std::string result = utf8 ? utf8 : file_name;
    g_free(utf8);
    return result;
}

std::string to_file_name(const std::string& utf8) {
    gchar* name = g_filename_from_utf8(utf8.c_str(), -1, nullptr, nullptr, nullptr);
    std::string result = name ? name : utf8;
    g_free(name);
    return result;
}

std::string current_folder(GtkFileChooser* chooser) {
    gchar* folder = gtk_file_chooser_get_current_folder(chooser);
    std::string result = folder ? to_utf8(folder) : std::string();
    g_free(folder);
    return result;
}

std::string parent_of(const std::string& path) {
    std::string::size_type slash = path.rfind('/');
    if (slash == std::string::npos) return std::string();
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string base_of(const std::string& path) {
    std::string::size_type slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::vector<std::string> chosen_files(GtkFileChooser* chooser) {
    std::vector<std::string> files;
    GSList* names = gtk_file_chooser_get_filenames(chooser);
    for (GSList* item = names; item; item = item->next) {
        files.push_back(to_utf8(static_cast<const char*>(item->data)));
        g_free(item->data);
    }
    g_slist_free(names);
    std::sort(files.begin(), files.end());
    return files;
}

void find_entry(GtkWidget* widget, gpointer found) {
    auto entry = static_cast<GtkWidget**>(found);
    if (*entry) return;
    if (GTK_IS_ENTRY(widget) && gtk_widget_get_mapped(widget)) {
        *entry = widget;
        return;
    }
    if (GTK_IS_CONTAINER(widget)) gtk_container_forall(GTK_CONTAINER(widget), find_entry, found);
}

// The name field of a save dialog: the one text entry on show.
std::string name_field(GtkWidget* dialog) {
    GtkWidget* entry = nullptr;
    find_entry(dialog, &entry);
    return entry ? gtk_entry_get_text(GTK_ENTRY(entry)) : std::string();
}

void find_file_list(GtkWidget* widget, gpointer found) {
    auto list = static_cast<GtkTreeView**>(found);
    if (*list) return;
    if (GTK_IS_TREE_VIEW(widget) &&
        gtk_tree_selection_get_mode(gtk_tree_view_get_selection(GTK_TREE_VIEW(widget))) == GTK_SELECTION_MULTIPLE) {
        *list = GTK_TREE_VIEW(widget);
        return;
    }
    if (GTK_IS_CONTAINER(widget)) gtk_container_forall(GTK_CONTAINER(widget), find_file_list, found);
}

// The selection of the chooser's file list when it takes several files: the
// one tree view that allows a multiple selection (the places list does not).
GtkTreeSelection* file_list_selection(GtkWidget* dialog) {
    GtkTreeView* list = nullptr;
    find_file_list(dialog, &list);
    return list ? gtk_tree_view_get_selection(list) : nullptr;
}

// A question asked over the dialog (before a file is replaced).
GtkWidget* question_over(GtkWidget* dialog) {
    GtkWidget* found = nullptr;
    GList* windows = gtk_window_list_toplevels();
    for (GList* item = windows; item && !found; item = item->next) {
        GtkWidget* window = GTK_WIDGET(item->data);
        if (GTK_IS_MESSAGE_DIALOG(window) && gtk_widget_get_mapped(window) &&
            gtk_window_get_transient_for(GTK_WINDOW(window)) == GTK_WINDOW(dialog))
            found = window;
    }
    g_list_free(windows);
    return found;
}

std::string string_property(GtkWidget* widget, const char* name) {
    gchar* value = nullptr;
    g_object_get(widget, name, &value, nullptr);
    std::string result = value ? value : "";
    g_free(value);
    return result;
}

GtkWidget* find_dialog() {
    GtkWidget* found = nullptr;
    GList* windows = gtk_window_list_toplevels();
    for (GList* item = windows; item && !found; item = item->next) {
        GtkWidget* window = GTK_WIDGET(item->data);
        if (GTK_IS_FILE_CHOOSER_DIALOG(window) && gtk_widget_get_mapped(window)) found = window;
    }
    g_list_free(windows);
    return found;
}
}  // namespace

FileDialogView::~FileDialogView() {
    for (GtkFileFilter* filter : filters_) g_object_unref(filter);
}

bool FileDialogView::filter_accepts(int index, const std::string& file_name) const {
    if (index < 0 || index >= static_cast<int>(filters_.size())) return false;
    GtkFileFilterInfo info{};
    info.contains = GtkFileFilterFlags(GTK_FILE_FILTER_FILENAME | GTK_FILE_FILTER_DISPLAY_NAME);
    info.filename = file_name.c_str();
    info.display_name = file_name.c_str();
    return gtk_file_filter_filter(filters_[index], &info);
}

struct FileDialogWatch {
    enum class Phase { Looking, Settling, Answering, Closing, Returning, Done };

    FileDialogReply reply;
    FileDialogView view;
    Phase phase = Phase::Looking;
    bool seen = false;
    bool answered = false;
    guint source = 0;
    GtkWidget* dialog = nullptr;  // cleared when the dialog is destroyed
    gulong destroy_handler = 0;
    Clock::time_point started = Clock::now();
    Clock::time_point phase_started = started;
    Clock::time_point last_select{};

    ~FileDialogWatch() { forget_dialog(); }

    void watch_dialog(GtkWidget* found) {
        dialog = found;
        destroy_handler = g_signal_connect(dialog, "destroy", G_CALLBACK(on_destroy), this);
    }

    void forget_dialog() {
        if (dialog) g_signal_handler_disconnect(dialog, destroy_handler);
        dialog = nullptr;
    }

    static void on_destroy(GtkWidget*, gpointer data) { static_cast<FileDialogWatch*>(data)->dialog = nullptr; }

    void enter(Phase next) {
        phase = next;
        phase_started = Clock::now();
    }

    bool elapsed(milliseconds limit) const { return Clock::now() - phase_started >= limit; }

    GtkFileChooser* chooser() const { return GTK_FILE_CHOOSER(dialog); }

    void record() {
        view.title = gtk_window_get_title(GTK_WINDOW(dialog)) ? gtk_window_get_title(GTK_WINDOW(dialog)) : "";
        view.save = gtk_file_chooser_get_action(chooser()) == GTK_FILE_CHOOSER_ACTION_SAVE;
        view.select_multiple = gtk_file_chooser_get_select_multiple(chooser());
        GtkFileFilter* shown = gtk_file_chooser_get_filter(chooser());
        GSList* filters = gtk_file_chooser_list_filters(chooser());
        for (GSList* item = filters; item; item = item->next) {
            auto filter = static_cast<GtkFileFilter*>(item->data);
            if (filter == shown) view.shown_filter = static_cast<int>(view.filters_.size());
            const char* name = gtk_file_filter_get_name(filter);
            view.filter_names.push_back(name ? name : "");
            view.filters_.push_back(static_cast<GtkFileFilter*>(g_object_ref(filter)));
        }
        g_slist_free(filters);
        view.folder = current_folder(chooser());
        view.name = name_field(dialog);
        // The box's own list keeps the order of adding, which is also the
        // order on screen; forall would give end-packed buttons reversed.
        GtkBox* area = GTK_BOX(gtk_dialog_get_action_area(GTK_DIALOG(dialog)));
        for (GList* item = area->children; item; item = item->next) {
            GtkWidget* button = static_cast<GtkBoxChild*>(item->data)->widget;
            if (!GTK_IS_BUTTON(button)) continue;
            const char* label = gtk_button_get_label(GTK_BUTTON(button));
            int response = gtk_dialog_get_response_for_widget(GTK_DIALOG(dialog), button);
            view.buttons.emplace_back(label ? label : "", response);
            if (gtk_widget_has_default(button)) view.default_response = response;
        }
    }

    void show_filter() {
        if (reply.filter < 0) return;
        GSList* filters = gtk_file_chooser_list_filters(chooser());
        if (auto filter = static_cast<GtkFileFilter*>(g_slist_nth_data(filters, reply.filter))) {
            gtk_file_chooser_set_filter(chooser(), filter);
        }
        g_slist_free(filters);
    }

    void select_files() {
        last_select = Clock::now();
        if (view.save) {
            const std::string& path = reply.files.front();
            gtk_file_chooser_set_current_folder(chooser(), to_file_name(parent_of(path)).c_str());
            gtk_file_chooser_set_current_name(chooser(), base_of(path).c_str());
            return;
        }
        // An open chooser selects its first row once a folder has loaded;
        // the selection must be exactly the files asked for.
        gtk_file_chooser_unselect_all(chooser());
        GtkTreeSelection* rows = file_list_selection(dialog);
        std::vector<GtkTreePath*> picked;
        for (const std::string& file : reply.files) {
            // Selecting a file in a loaded folder moves the cursor to it and
            // drops the rest of the selection: note its row, and add the rows
            // together afterwards, as ctrl-clicks would.
            gtk_file_chooser_select_filename(chooser(), to_file_name(file).c_str());
            if (!rows || reply.files.size() < 2) continue;
            GList* selected = gtk_tree_selection_get_selected_rows(rows, nullptr);
            if (selected && !selected->next) picked.push_back(gtk_tree_path_copy(static_cast<GtkTreePath*>(selected->data)));
            g_list_free_full(selected, reinterpret_cast<GDestroyNotify>(gtk_tree_path_free));
        }
        // Fewer rows than files: the folder is still loading, and the
        // chooser selects the files itself once it is there.
        if (picked.size() == reply.files.size()) {
            for (GtkTreePath* path : picked) gtk_tree_selection_select_path(rows, path);
        }
        for (GtkTreePath* path : picked) gtk_tree_path_free(path);
    }

    bool ready_to_accept() const {
        if (view.save) {
            const std::string& path = reply.files.front();
            return current_folder(chooser()) == parent_of(path) && name_field(dialog) == base_of(path);
        }
        std::vector<std::string> wanted = reply.files;
        std::sort(wanted.begin(), wanted.end());
        return chosen_files(chooser()) == wanted;
    }

    void respond(int response) { gtk_dialog_response(GTK_DIALOG(dialog), response); }

    // Answers a question over the dialog, if one is on show; true when one was.
    bool answer_question() {
        GtkWidget* question = question_over(dialog);
        if (!question) return false;
        view.questions.emplace_back(string_property(question, "text"), string_property(question, "secondary-text"));
        const std::size_t asked = view.questions.size();
        const bool replace = asked <= reply.replace.size() && reply.replace[asked - 1];
        gtk_dialog_response(GTK_DIALOG(question), replace ? GTK_RESPONSE_ACCEPT : GTK_RESPONSE_CANCEL);
        if (!replace) {
            // Back in the chooser, which must still be on show.
            answered = false;
            reply.files = reply.then.empty() ? std::vector<std::string>{} : std::vector<std::string>{reply.then};
            reply.then.clear();
            enter(Phase::Returning);
        }
        return true;
    }

    // One step of the answer; false when the watch is over.
    bool step() {
        switch (phase) {
            case Phase::Looking:
                if (GtkWidget* found = find_dialog()) {
                    watch_dialog(found);
                    seen = true;
                    enter(Phase::Settling);
                } else if (Clock::now() - started >= appear_limit) {
                    return false;
                }
                return true;
            case Phase::Settling:
                if (!dialog) return false;
                // The requester's folder is set asynchronously; until then
                // the chooser reports no current folder.
                if (!elapsed(settle_time) || (current_folder(chooser()).empty() && !elapsed(answer_limit))) {
                    return true;
                }
                record();
                show_filter();
                if (!reply.accept || reply.files.empty()) {
                    answered = true;
                    respond(GTK_RESPONSE_CANCEL);
                    enter(Phase::Closing);
                    return true;
                }
                select_files();
                enter(Phase::Answering);
                return true;
            case Phase::Answering:
                if (!dialog) return false;
                if (ready_to_accept()) {
                    answered = true;
                    respond(GTK_RESPONSE_ACCEPT);
                    enter(Phase::Closing);
                } else if (elapsed(answer_limit)) {
                    respond(GTK_RESPONSE_CANCEL);
                    enter(Phase::Closing);
                } else if (Clock::now() - last_select >= reselect_every) {
                    select_files();
                }
                return true;
            case Phase::Returning:
                // After a "no": the chooser comes back once the question is gone.
                if (!dialog) return false;
                if (!elapsed(settle_time) || question_over(dialog)) return true;
                view.back_in_dialog = gtk_widget_get_mapped(dialog);
                if (reply.files.empty()) {
                    answered = true;
                    respond(GTK_RESPONSE_CANCEL);
                    enter(Phase::Closing);
                    return true;
                }
                select_files();
                enter(Phase::Answering);
                return true;
            case Phase::Closing:
                // The chooser may still check a name before it lets the
                // answer through; one that stays open is cancelled.
                if (!dialog) {
                    enter(Phase::Done);
                    return false;
                }
                if (answer_question()) return true;
                if (elapsed(answer_limit)) {
                    answered = false;
                    respond(GTK_RESPONSE_CANCEL);
                    phase_started = Clock::now();
                }
                return true;
            case Phase::Done:
                return false;
        }
        return false;
    }

    static gboolean on_tick(gpointer data) {
        auto watch = static_cast<FileDialogWatch*>(data);
        if (watch->step()) return TRUE;
        watch->source = 0;
        watch->forget_dialog();
        return FALSE;
    }
};

FileDialogAnswer::FileDialogAnswer(FileDialogReply reply) : watch_(std::make_shared<FileDialogWatch>()) {
    watch_->reply = std::move(reply);
    watch_->source = g_timeout_add(tick.count(), &FileDialogWatch::on_tick, watch_.get());
}

FileDialogAnswer::FileDialogAnswer(FileDialogAnswer&& other) noexcept = default;

FileDialogAnswer::~FileDialogAnswer() {
    if (watch_ && watch_->source) g_source_remove(watch_->source);
}

bool FileDialogAnswer::seen() const { return watch_->seen; }
bool FileDialogAnswer::answered() const {
    using Phase = FileDialogWatch::Phase;
    return watch_->answered && (watch_->phase == Phase::Done || (watch_->phase == Phase::Closing && !watch_->dialog));
}
const FileDialogView& FileDialogAnswer::view() const { return watch_->view; }

FileDialogAnswer answer_next_file_dialog(FileDialogReply reply) { return FileDialogAnswer(std::move(reply)); }

FileDialogAnswer answer_next_file_dialog(const std::string& path) {
    FileDialogReply reply;
    reply.accept = !path.empty();
    if (reply.accept) reply.files.push_back(path);
    return FileDialogAnswer(std::move(reply));
}

FileDialogAnswer answer_next_file_dialog(const std::vector<std::string>& paths) {
    FileDialogReply reply;
    reply.accept = !paths.empty();
    reply.files = paths;
    return FileDialogAnswer(std::move(reply));
}

FileDialogAnswer cancel_next_file_dialog(int filter) {
    FileDialogReply reply;
    reply.accept = false;
    reply.filter = filter;
    return FileDialogAnswer(std::move(reply));
}

MessageAnswer::MessageAnswer() { source_ = g_timeout_add(50, reinterpret_cast<GSourceFunc>(&MessageAnswer::poll), this); }

MessageAnswer::~MessageAnswer() {
    if (source_) g_source_remove(source_);
}

int MessageAnswer::poll(void* data) {
    auto* self = static_cast<MessageAnswer*>(data);
    if (++self->ticks_ > 400) {
        self->source_ = 0;
        return FALSE;
    }
    GList* windows = gtk_window_list_toplevels();
    for (GList* item = windows; item; item = item->next) {
        GtkWidget* window = GTK_WIDGET(item->data);
        if (!GTK_IS_MESSAGE_DIALOG(window) || !gtk_widget_get_mapped(window)) continue;
        GtkMessageType type = GTK_MESSAGE_INFO;
        g_object_get(window, "message-type", &type, nullptr);
        if (type != GTK_MESSAGE_ERROR) continue;
        MessageView& view = self->view_;
        view.seen = true;
        view.text = string_property(window, "text");
        view.detail = string_property(window, "secondary-text");
        const char* title = gtk_window_get_title(GTK_WINDOW(window));
        view.title = title ? title : "";
        view.modal = gtk_window_get_modal(GTK_WINDOW(window));
        GtkWindow* parent = gtk_window_get_transient_for(GTK_WINDOW(window));
        view.has_parent = parent != nullptr;
        view.parent_title = parent && gtk_window_get_title(parent) ? gtk_window_get_title(parent) : "";
        ++self->count_;
        self->ticks_ = 0;
        gtk_dialog_response(GTK_DIALOG(window), GTK_RESPONSE_OK);
        break;
    }
    g_list_free(windows);
    return TRUE;
}
