// Gadgets: buttons, image gadgets, text fields and scroll areas over GTK.
// One file, past 600 lines: every kind shares the numbered record table,
// the event posting of its signal handlers and the generic operations that
// dispatch on the kind.
#include "toolkit/gadgets.h"

#include <gtk/gtk.h>

#include <cctype>
#include <string>
#include <vector>

#include "toolkit/internal.h"

namespace {

constexpr const char* gadget_id_key = "toolkit-gadget-id";  // id + 1, so that 0 marks no gadget
constexpr const char* font_key = "toolkit-font";
constexpr std::size_t gadget_list_depth = 100;

enum GadgetKind { ButtonKind = 1, StringKind = 2, ImageKind = 9, ScrollKind = 16 };

struct GadgetRecord;

// The operations one kind of gadget supports; a missing one makes the
// generic call a silent no-op.
struct GadgetClass {
    GadgetKind kind;
    std::intptr_t (*get_state)(GadgetRecord&);
    void (*set_state)(GadgetRecord&, std::intptr_t);
    std::string (*get_text)(GadgetRecord&);
    void (*set_text)(GadgetRecord&, const std::string&);
    void (*set_font)(GadgetRecord&, FontHandle);
};

struct GadgetRecord {
    GtkWidget* main = nullptr;
    GtkWidget* outer = nullptr;
    const GadgetClass* kind = nullptr;
    std::intptr_t state = 0;
    unsigned flags = 0;
    bool exists() const { return main != nullptr; }
};

void release_gadget(ObjectId, GadgetRecord& record) {
    // The destroy handler of the main widget empties the record.
    gtk_widget_destroy(record.outer ? record.outer : record.main);
}

ObjectTable<GadgetRecord> gadgets(release_gadget);

// The current gadget list.
GtkWidget* current_container = nullptr;
std::vector<GtkWidget*> saved_containers;
FontHandle default_gadget_font = nullptr;

ObjectId gadget_id_of(GtkWidget* widget) {
    if (!widget) return -1;
    return reinterpret_cast<std::intptr_t>(g_object_get_data(G_OBJECT(widget), gadget_id_key)) - 1;
}

ObjectId window_of(GtkWidget* widget) { return tk::window_id_of(gtk_widget_get_toplevel(widget)); }

void post_gadget(GtkWidget* main, int type) {
    event_post(Gadget, gadget_id_of(main), window_of(main), type);
}

// ---- push buttons ----

GtkWidget* button_label(GadgetRecord& record) { return gtk_bin_get_child(GTK_BIN(record.main)); }

std::intptr_t button_get_state(GadgetRecord& record) {
    if (!GTK_IS_TOGGLE_BUTTON(record.main)) return 0;
    return gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(record.main)) ? 1 : 0;
}

void button_set_state(GadgetRecord& record, std::intptr_t value) {
    if (!GTK_IS_TOGGLE_BUTTON(record.main)) return;
    event_posting_off();  // a program's own change is not a user's click
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(record.main), value != 0);
    event_posting_on();
}

std::string button_get_text(GadgetRecord& record) {
    GtkWidget* label = button_label(record);
    const char* text = label && GTK_IS_LABEL(label) ? gtk_label_get_text(GTK_LABEL(label))
                                                    : gtk_button_get_label(GTK_BUTTON(record.main));
    return text ? text : "";
}

// A push button keeps the size it was given, so a label wider than the room
// the button leaves it would run over the button's edge. Such a label is set
// in smaller sizes of its own font until it fits, down to a size that stays
// legible; a new text or font starts again from the font chosen.
constexpr const char* fitted_key = "toolkit-label-fitted";
constexpr int smallest_label_size = 6 * PANGO_SCALE;
constexpr int label_size_step = PANGO_SCALE / 4;

void unfit_label(GtkWidget* label) {
    if (!g_object_get_data(G_OBJECT(label), fitted_key)) return;
    g_object_set_data(G_OBJECT(label), fitted_key, nullptr);
    gtk_widget_modify_font(label, static_cast<PangoFontDescription*>(g_object_get_data(G_OBJECT(label), font_key)));
}

void fit_button_label(GtkWidget* button, GtkAllocation*, gpointer) {
    GtkWidget* label = gtk_bin_get_child(GTK_BIN(button));
    if (!label || !GTK_IS_LABEL(label)) return;
    GtkAllocation room;
    gtk_widget_get_allocation(label, &room);
    GtkRequisition wanted;
    gtk_widget_size_request(label, &wanted);
    if (wanted.width <= room.width) return;
    PangoFontDescription* font = pango_font_description_copy(gtk_widget_get_style(label)->font_desc);
    const bool absolute = pango_font_description_get_size_is_absolute(font);
    int size = pango_font_description_get_size(font);
    while (wanted.width > room.width && size - label_size_step >= smallest_label_size) {
        size -= label_size_step;
        if (absolute)
            pango_font_description_set_absolute_size(font, size);
        else
            pango_font_description_set_size(font, size);
        gtk_widget_modify_font(label, font);
        gtk_widget_size_request(label, &wanted);
    }
    pango_font_description_free(font);
    g_object_set_data(G_OBJECT(label), fitted_key, GINT_TO_POINTER(1));
}

void button_set_text(GadgetRecord& record, const std::string& text) {
    GtkWidget* label = button_label(record);
    if (label && GTK_IS_LABEL(label)) {
        unfit_label(label);
        gtk_label_set_text(GTK_LABEL(label), text.c_str());
    } else {
        gtk_button_set_label(GTK_BUTTON(record.main), text.c_str());
    }
}

void apply_font(GtkWidget* widget, FontHandle font) {
    g_object_set_data(G_OBJECT(widget), fitted_key, nullptr);
    g_object_set_data(G_OBJECT(widget), font_key, font);
    gtk_widget_modify_font(widget, font);
}

void button_set_font(GadgetRecord& record, FontHandle font) {
    if (GtkWidget* label = button_label(record)) apply_font(label, font);
}

const GadgetClass button_class{ButtonKind, button_get_state, button_set_state, button_get_text, button_set_text,
                               button_set_font};

void on_button_clicked(GtkWidget* button, gpointer) {
    // A click while a close request waits would act on a window that is going.
    if (event_peek().kind == CloseWindow) return;
    post_gadget(button, Click);
}

void on_button_allocate(GtkWidget* button, GtkAllocation* allocation, gpointer) {
    if (GtkWidget* label = gtk_bin_get_child(GTK_BIN(button))) {
        GtkRequisition now;
        gtk_widget_get_child_requisition(label, &now);
        if (now.width != allocation->width || now.height != allocation->height)
            gtk_widget_set_size_request(label, allocation->width, allocation->height);
    }
}

// ---- image gadgets ----

struct ClickState {
    int pending = 0;  // 1 click, 2 right click, 3 double click, 4 right double click
    bool pressed = false;
    bool drag_posted = false;
    int press_x = 0, press_y = 0;
};
constexpr const char* click_key = "toolkit-click";

std::intptr_t image_get_state(GadgetRecord& record) { return record.state; }

void image_set_state(GadgetRecord& record, std::intptr_t value) {
    auto* picture = reinterpret_cast<GdkPixbuf*>(value);
    if (picture) {
        gtk_image_set_from_pixbuf(GTK_IMAGE(record.main), picture);
        gtk_widget_set_size_request(record.outer, -1, -1);
    } else {
        gtk_image_clear(GTK_IMAGE(record.main));
    }
    record.state = value;
    gtk_widget_queue_draw(record.outer);
}

const GadgetClass image_class{ImageKind, image_get_state, image_set_state, nullptr, nullptr, nullptr};

GtkWidget* image_of_box(GtkWidget* box) {
    GtkWidget* child = gtk_bin_get_child(GTK_BIN(box));
    if (child && GTK_IS_FRAME(child)) child = gtk_bin_get_child(GTK_BIN(child));
    return child;
}

gboolean on_image_press(GtkWidget* box, GdkEventButton* event, gpointer) {
    auto* click = static_cast<ClickState*>(g_object_get_data(G_OBJECT(box), click_key));
    if (event->type == GDK_BUTTON_PRESS) {
        if (event->button == 1) {
            click->pending = 1;
            click->pressed = true;
            click->drag_posted = false;
            click->press_x = static_cast<int>(event->x);
            click->press_y = static_cast<int>(event->y);
        } else if (event->button == 3) {
            click->pending = 2;
        }
    } else if (event->type == GDK_2BUTTON_PRESS) {
        if (event->button == 1) click->pending = 3;
        if (event->button == 3) click->pending = 4;
    }
    return FALSE;
}

gboolean on_image_release(GtkWidget* box, GdkEventButton* event, gpointer) {
    auto* click = static_cast<ClickState*>(g_object_get_data(G_OBJECT(box), click_key));
    int pending = click->pending;
    click->pending = 0;
    if (event->button == 1) click->pressed = false;
    bool left = event->button == 1 && (pending == 1 || pending == 3);
    bool right = event->button == 3 && (pending == 2 || pending == 4);
    if (left || right) {
        if (GtkWidget* image = image_of_box(box)) post_gadget(image, pending - 1);
    }
    return FALSE;
}

gboolean on_image_motion(GtkWidget* box, GdkEventMotion* event, gpointer) {
    auto* click = static_cast<ClickState*>(g_object_get_data(G_OBJECT(box), click_key));
    const unsigned buttons = GDK_BUTTON1_MASK | GDK_BUTTON2_MASK | GDK_BUTTON3_MASK | GDK_BUTTON4_MASK | GDK_BUTTON5_MASK;
    if (click->pressed && !click->drag_posted && (event->state & buttons) == GDK_BUTTON1_MASK &&
        gtk_drag_check_threshold(box, click->press_x, click->press_y, static_cast<int>(event->x),
                                 static_cast<int>(event->y))) {
        click->drag_posted = true;
        if (GtkWidget* image = image_of_box(box)) post_gadget(image, DragStarted);
    }
    return FALSE;  // the window sees the motion too
}

// ---- string gadgets ----

constexpr const char* changed_handler_key = "toolkit-changed-handler";

std::string string_get_text(GadgetRecord& record) { return gtk_entry_get_text(GTK_ENTRY(record.main)); }

void string_set_text(GadgetRecord& record, const std::string& text) {
    auto handler = reinterpret_cast<gulong>(g_object_get_data(G_OBJECT(record.main), changed_handler_key));
    if (handler) g_signal_handler_block(record.main, handler);
    gtk_entry_set_text(GTK_ENTRY(record.main), text.c_str());
    if (handler) g_signal_handler_unblock(record.main, handler);
}

void string_set_font(GadgetRecord& record, FontHandle font) { apply_font(record.main, font); }

const GadgetClass string_class{StringKind, nullptr, nullptr, string_get_text, string_set_text, string_set_font};

void on_entry_changed(GtkWidget* entry, gpointer) { post_gadget(entry, TextChanged); }
gboolean on_entry_focus_in(GtkWidget* entry, GdkEventFocus*, gpointer) {
    post_gadget(entry, FocusGained);
    return FALSE;
}
gboolean on_entry_focus_out(GtkWidget* entry, GdkEventFocus*, gpointer) {
    post_gadget(entry, FocusLost);
    return FALSE;
}
void on_entry_activate(GtkWidget*, gpointer) {}  // Enter posts nothing

// The case and digit filters rewrite what is inserted and insert it themselves.
void on_entry_insert(GtkEditable* editable, const gchar* text, gint length, gint* position, gpointer data) {
    const unsigned flags = GPOINTER_TO_UINT(data);
    std::string in(text, length < 0 ? std::char_traits<char>::length(text) : static_cast<std::size_t>(length));
    std::string out;
    for (char c : in) {
        auto u = static_cast<unsigned char>(c);
        if (flags & StringUpperCase)
            out += u < 128 ? static_cast<char>(std::toupper(u)) : c;
        else if (flags & StringLowerCase)
            out += u < 128 ? static_cast<char>(std::tolower(u)) : c;
        else if (u >= '0' && u <= '9')
            out += c;
    }
    g_signal_handlers_block_by_func(editable, reinterpret_cast<gpointer>(on_entry_insert), data);
    gtk_editable_insert_text(editable, out.c_str(), static_cast<gint>(out.size()), position);
    g_signal_handlers_unblock_by_func(editable, reinterpret_cast<gpointer>(on_entry_insert), data);
    g_signal_stop_emission_by_name(editable, "insert-text");
}

// ---- scroll areas ----

const GadgetClass scroll_class{ScrollKind, nullptr, nullptr, nullptr, nullptr, nullptr};

void on_scrolled(GtkAdjustment*, gpointer data) {
    auto* scrolled = static_cast<GtkWidget*>(data);
    ObjectId id = gadget_id_of(scrolled);
    QueuedEvent oldest = event_peek();
    if (oldest.kind == Gadget && oldest.gadget == id) return;  // one scroll report at a time
    post_gadget(scrolled, Click);
}

// ---- common ----

void on_main_destroy(GtkWidget* main, gpointer) {
    ObjectId id = gadget_id_of(main);
    GadgetRecord* record = gadgets.find(id);
    if (!record || record->main != main) return;
    if (current_container && (current_container == main || gtk_widget_is_ancestor(current_container, main)))
        current_container = nullptr;
    gadgets.remove(id);
}

// Puts a new widget into the current gadget list; false when there is none.
bool place(GtkWidget* widget, int x, int y) {
    if (!current_container) return false;
    gtk_fixed_put(GTK_FIXED(current_container), widget, x, y);
    return true;
}

// The last step of every creation. Returns the creation's result.
std::intptr_t register_gadget(ObjectId id, bool generated, GadgetRecord* record) {
    gtk_widget_realize(record->main);
    g_signal_connect(record->main, "destroy", G_CALLBACK(on_main_destroy), nullptr);
    g_object_set_data(G_OBJECT(record->main), gadget_id_key, reinterpret_cast<gpointer>(id + 1));
    if (default_gadget_font) gadget_set_font(id, default_gadget_font);
    GtkWidget* main = record->main;
    tk::process_pending();
    if (generated) return id;
    return reinterpret_cast<std::intptr_t>(main);
}

GadgetRecord* new_record(ObjectId& id) { return gadgets.acquire(id); }

}  // namespace

std::intptr_t button_gadget(ObjectId id, int x, int y, int width, int height, const std::string& text,
                            unsigned flags) {
    if (!current_container) return 0;
    const bool generated = id == -1;
    GadgetRecord* record = new_record(id);
    if (!record || !current_container) return 0;
    GtkWidget* button = (flags & ButtonToggle) ? gtk_toggle_button_new_with_label("") : gtk_button_new_with_label("");
    if (!button) {
        gadgets.remove(id);
        return 0;
    }
    gtk_widget_show(button);
    gtk_widget_set_size_request(button, width, height);
    place(button, x, y);
    if (flags & ButtonAlignRight)
        gtk_button_set_alignment(GTK_BUTTON(button), 1.0f, 0.5f);
    else if (flags & ButtonAlignLeft)
        gtk_button_set_alignment(GTK_BUTTON(button), 0.0f, 0.5f);
    if (flags & ButtonWrap) {
        if (GtkWidget* label = gtk_bin_get_child(GTK_BIN(button))) {
            gtk_label_set_line_wrap(GTK_LABEL(label), TRUE);
            gtk_widget_set_size_request(label, width, height);
        }
        g_signal_connect(button, "size-allocate", G_CALLBACK(on_button_allocate), nullptr);
    } else {
        g_signal_connect_after(button, "size-allocate", G_CALLBACK(fit_button_label), nullptr);
    }
    g_signal_connect(button, "clicked", G_CALLBACK(on_button_clicked), nullptr);
    record->main = button;
    record->kind = &button_class;
    record->flags = flags;
    if (!text.empty()) button_set_text(*record, text);
    return register_gadget(id, generated, record);
}

std::intptr_t image_gadget(ObjectId id, int x, int y, int width, int height, ImageHandle image, unsigned flags) {
    if (!current_container) return 0;
    GtkWidget* box = gtk_event_box_new();
    GtkWidget* picture = image ? gtk_image_new_from_pixbuf(image) : gtk_image_new();
    if (!box || !picture) return 0;
    const bool generated = id == -1;
    GadgetRecord* record = new_record(id);
    if (!record || !current_container) {
        gtk_widget_destroy(box);
        gtk_widget_destroy(picture);
        return 0;
    }
    if (flags & ImageFramed) {
        GtkWidget* frame = gtk_frame_new(nullptr);
        gtk_frame_set_shadow_type(GTK_FRAME(frame), GTK_SHADOW_IN);
        gtk_container_add(GTK_CONTAINER(frame), picture);
        gtk_container_add(GTK_CONTAINER(box), frame);
    } else {
        gtk_container_add(GTK_CONTAINER(box), picture);
    }
    // With a picture the gadget takes the picture's own size.
    if (!image) gtk_widget_set_size_request(box, width, height);
    g_object_set_data_full(G_OBJECT(box), click_key, new ClickState, [](gpointer p) { delete static_cast<ClickState*>(p); });
    gtk_widget_add_events(box, GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK | GDK_BUTTON_MOTION_MASK);
    g_signal_connect(box, "button-press-event", G_CALLBACK(on_image_press), nullptr);
    g_signal_connect(box, "button-release-event", G_CALLBACK(on_image_release), nullptr);
    g_signal_connect(box, "motion-notify-event", G_CALLBACK(on_image_motion), nullptr);
    place(box, x, y);
    gtk_widget_show_all(box);
    record->main = picture;
    record->outer = box;
    record->kind = &image_class;
    record->state = reinterpret_cast<std::intptr_t>(image);
    record->flags = flags;
    return register_gadget(id, generated, record);
}

std::intptr_t string_gadget(ObjectId id, int x, int y, int width, int height, const std::string& text,
                            unsigned flags) {
    if (!current_container) return 0;
    const bool generated = id == -1;
    GadgetRecord* record = new_record(id);
    if (!record || !current_container) return 0;
    GtkWidget* entry = gtk_entry_new();
    if (!entry) {
        gadgets.remove(id);
        return 0;
    }
    if (flags & StringHidden) gtk_entry_set_visibility(GTK_ENTRY(entry), FALSE);
    if (flags & StringReadOnly) gtk_editable_set_editable(GTK_EDITABLE(entry), FALSE);
    if (flags & StringNoFrame) gtk_entry_set_has_frame(GTK_ENTRY(entry), FALSE);
    unsigned filter = 0;
    if (flags & StringUpperCase)
        filter = StringUpperCase;
    else if (flags & StringLowerCase)
        filter = StringLowerCase;
    else if (flags & StringDigits)
        filter = StringDigits;
    if (filter) g_signal_connect(entry, "insert-text", G_CALLBACK(on_entry_insert), GUINT_TO_POINTER(filter));
    if (flags & (StringPopupCompletion | StringInlineCompletion)) {
        GtkEntryCompletion* completion = gtk_entry_completion_new();
        GtkListStore* list = gtk_list_store_new(1, G_TYPE_STRING);
        gtk_entry_completion_set_model(completion, GTK_TREE_MODEL(list));
        gtk_entry_completion_set_text_column(completion, 0);
        if (!(flags & StringPopupCompletion)) {
            gtk_entry_completion_set_inline_completion(completion, TRUE);
            gtk_entry_completion_set_popup_completion(completion, FALSE);
        }
        gtk_entry_set_completion(GTK_ENTRY(entry), completion);
        g_object_unref(list);
        g_object_unref(completion);
    }
    gtk_widget_set_size_request(entry, width, height);
    place(entry, x, y);
    gulong changed = g_signal_connect(entry, "changed", G_CALLBACK(on_entry_changed), nullptr);
    g_object_set_data(G_OBJECT(entry), changed_handler_key, reinterpret_cast<gpointer>(changed));
    g_signal_connect(entry, "focus-in-event", G_CALLBACK(on_entry_focus_in), nullptr);
    g_signal_connect(entry, "focus-out-event", G_CALLBACK(on_entry_focus_out), nullptr);
    g_signal_connect(entry, "activate", G_CALLBACK(on_entry_activate), nullptr);
    gtk_widget_show(entry);
    record->main = entry;
    record->kind = &string_class;
    record->flags = flags;
    std::intptr_t result = register_gadget(id, generated, record);
    if (GadgetRecord* alive = gadgets.find(id)) string_set_text(*alive, text);
    return result;
}

std::intptr_t scroll_area_gadget(ObjectId id, int x, int y, int width, int height, int inner_width,
                                 int inner_height, int, unsigned flags) {
    if (!current_container || saved_containers.size() >= gadget_list_depth) return 0;
    const bool generated = id == -1;
    GadgetRecord* record = new_record(id);
    if (!record || !current_container) return 0;
    GtkWidget* scrolled = gtk_scrolled_window_new(nullptr, nullptr);
    if (!scrolled) {
        gadgets.remove(id);
        return 0;
    }
    gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(scrolled), GTK_POLICY_AUTOMATIC, GTK_POLICY_AUTOMATIC);
    GtkAdjustment* horizontal = gtk_scrolled_window_get_hadjustment(GTK_SCROLLED_WINDOW(scrolled));
    GtkAdjustment* vertical = gtk_scrolled_window_get_vadjustment(GTK_SCROLLED_WINDOW(scrolled));
    g_signal_connect(horizontal, "value-changed", G_CALLBACK(on_scrolled), scrolled);
    g_signal_connect(vertical, "value-changed", G_CALLBACK(on_scrolled), scrolled);
    gtk_widget_set_size_request(scrolled, width, height);
    place(scrolled, x, y);

    GtkWidget* inner = gtk_fixed_new();
    gtk_fixed_set_has_window(GTK_FIXED(inner), TRUE);
    gtk_widget_set_size_request(inner, inner_width, inner_height);
    GtkWidget* viewport = gtk_viewport_new(horizontal, vertical);
    gtk_viewport_set_shadow_type(GTK_VIEWPORT(viewport), GTK_SHADOW_NONE);
    if (flags & ScrollCentred) {
        // The viewport gives its child at least the visible size; an
        // alignment that does not stretch keeps the container in the middle
        // while it is smaller than the view.
        GtkWidget* centring = gtk_alignment_new(0.5f, 0.5f, 0.0f, 0.0f);
        gtk_container_add(GTK_CONTAINER(centring), inner);
        gtk_container_add(GTK_CONTAINER(viewport), centring);
    } else {
        gtk_container_add(GTK_CONTAINER(viewport), inner);
    }
    gtk_container_add(GTK_CONTAINER(scrolled), viewport);
    GtkShadowType shadow = (flags & ScrollEtchedIn)   ? GTK_SHADOW_ETCHED_IN
                           : (flags & ScrollShadowOut) ? GTK_SHADOW_OUT
                           : (flags & ScrollShadowIn)  ? GTK_SHADOW_IN
                                                       : GTK_SHADOW_NONE;
    gtk_scrolled_window_set_shadow_type(GTK_SCROLLED_WINDOW(scrolled), shadow);
    GtkWidget* list = inner;
    gtk_widget_show_all(scrolled);
    saved_containers.push_back(current_container);
    current_container = list;
    record->main = scrolled;
    record->kind = &scroll_class;
    record->flags = flags;
    return register_gadget(id, generated, record);
}

void gadget_disable(ObjectId id, int state) {
    if (GadgetRecord* record = gadgets.find(id)) gtk_widget_set_sensitive(record->main, state == 0);
}

int gadget_activate(ObjectId id) {
    if (GadgetRecord* record = gadgets.find(id)) gtk_widget_grab_focus(record->main);
    return 1;
}

ObjectId active_gadget() {
    ObjectId window = tk::window_with_focus();
    if (window == -1) return -1;
    GtkWidget* focus = gtk_window_get_focus(tk::window_gtk(window));
    if (!focus) return -1;
    ObjectId id = gadget_id_of(focus);
    if (id == -1) id = gadget_id_of(gtk_widget_get_parent(focus));
    return id;
}

void gadget_set_font(ObjectId id, FontHandle font) {
    if (font == reinterpret_cast<FontHandle>(std::intptr_t{-1})) font = nullptr;
    if (id == -1) {
        default_gadget_font = font;
        return;
    }
    GadgetRecord* record = gadgets.find(id);
    if (record && record->kind->set_font) record->kind->set_font(*record, font);
}

void gadget_set_tooltip(ObjectId id, const std::string& text) {
    GadgetRecord* record = gadgets.find(id);
    if (!record) return;
    // On the outer widget: an image gadget's picture has no window of its
    // own to track the pointer, its event box has.
    GtkWidget* widget = record->outer ? record->outer : record->main;
    gtk_widget_set_tooltip_text(widget, text.empty() ? nullptr : text.c_str());
}

std::intptr_t gadget_state(ObjectId id) {
    GadgetRecord* record = gadgets.find(id);
    return record && record->kind->get_state ? record->kind->get_state(*record) : 0;
}

void gadget_set_state(ObjectId id, std::intptr_t value) {
    GadgetRecord* record = gadgets.find(id);
    if (record && record->kind->set_state) record->kind->set_state(*record, value);
}

void gadget_set_state(ObjectId id, ImageHandle image) { gadget_set_state(id, reinterpret_cast<std::intptr_t>(image)); }
void gadget_set_state(ObjectId id, int value) { gadget_set_state(id, static_cast<std::intptr_t>(value)); }

std::string gadget_text(ObjectId id) {
    GadgetRecord* record = gadgets.find(id);
    return record && record->kind->get_text ? record->kind->get_text(*record) : std::string();
}

void gadget_set_text(ObjectId id, const std::string& text) {
    GadgetRecord* record = gadgets.find(id);
    if (record && record->kind->set_text) record->kind->set_text(*record, text);
}

namespace tk {

void gadgets_init() {
    current_container = nullptr;
    saved_containers.clear();
    default_gadget_font = nullptr;
}

void gadgets_shutdown() {
    gadgets.release_all();
    gadgets_init();
}

void gadget_list_start(GtkWidget* container) {
    current_container = container;
    saved_containers.clear();
}

void gadget_list_forget(GtkWidget* container) {
    if (!container) return;
    if (current_container && (current_container == container || gtk_widget_is_ancestor(current_container, container))) {
        current_container = nullptr;
        saved_containers.clear();
    }
}

GtkWidget* gadget_widget(ObjectId id) {
    GadgetRecord* record = gadgets.find(id);
    return record ? record->main : nullptr;
}

GtkWidget* gadget_outer_widget(ObjectId id) {
    GadgetRecord* record = gadgets.find(id);
    return record ? (record->outer ? record->outer : record->main) : nullptr;
}

}  // namespace tk
