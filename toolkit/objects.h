// Numbered objects: the shared types, the id table behind every kind of
// object, toolkit start and end, windows.
#pragma once

#include <cstdint>
#include <list>
#include <memory>
#include <string>
#include <vector>

// Names chosen by the program; -1 asks the toolkit for a free one.
using ObjectId = std::intptr_t;

// Opaque handles. An ImageHandle is the GdkPixbuf of a stored image, a
// FontHandle the PangoFontDescription of a loaded font; 0 stands for none.
struct _GdkPixbuf;
using ImageHandle = _GdkPixbuf*;
struct _PangoFontDescription;
using FontHandle = _PangoFontDescription*;
struct _GtkWindow;
struct _GtkWidget;

// 0xAABBGGRR: red + green * 256 + blue * 65536, opacity in the top byte.
using Colour = std::uint32_t;
// Picture format of image_save: the bytes of its name read little-endian.
using FormatTag = std::uint32_t;

enum WindowFlags : unsigned {
    WindowHidden = 0x1,
    WindowResizable = 0x2,
    WindowMenu = 0x4,
    WindowMaximiseButton = 0x10,
    WindowMinimiseButton = 0x20,
    WindowCentred = 0x40,
    WindowNoDecorations = 0x80,
    WindowCentredOnParent = 0x100,
    WindowMaximised = 0x200,
    WindowMinimised = 0x400,
    WindowUtility = 0x800,
    WindowKeepGadgetList = 0x1000,
};

// One numbering of objects of one kind. Ids 0 and up index an array that
// grows in steps of 16; id -1 allocates a record kept in a list whose address
// becomes the id. Record must be default-constructible to its "empty" state
// and report with exists() whether it holds an object.
template <class Record>
class ObjectTable {
public:
    using Release = void (*)(ObjectId id, Record& record);

    // Ids above this are refused: a stray pointer-sized number must not make
    // the array grow to gigabytes.
    static constexpr ObjectId largest_array_id = 1 << 20;

    explicit ObjectTable(Release release) : release_(release), array_(16) {}
    ObjectTable(const ObjectTable&) = delete;
    ObjectTable& operator=(const ObjectTable&) = delete;

    // A record ready to be filled under id (-1: a new list record, and id is
    // set to its address). An object already there is released first.
    // Returns null for an id that cannot name a record.
    Record* acquire(ObjectId& id) {
        if (id == -1) {
            list_.push_back(std::make_unique<Record>());
            Record* record = list_.back().get();
            id = reinterpret_cast<ObjectId>(record);
            return record;
        }
        Record* record = slot(id);
        if (!record) return nullptr;
        if (record->exists()) {
            release_(id, *record);
            record = slot(id);  // the release may have unlinked a list record
            if (!record) return nullptr;
        }
        *record = Record{};
        return record;
    }

    // The record of an existing object, or null.
    Record* find(ObjectId id) const {
        Record* record = lookup(id);
        return record && record->exists() ? record : nullptr;
    }

    // Forgets the object without running the release routine.
    void remove(ObjectId id) {
        if (id >= 0 && id < static_cast<ObjectId>(array_.size())) {
            if (array_[id]) *array_[id] = Record{};
            return;
        }
        for (auto it = list_.begin(); it != list_.end(); ++it) {
            if (reinterpret_cast<ObjectId>(it->get()) == id) {
                list_.erase(it);
                return;
            }
        }
    }

    // Releases every object: the array in ascending id order, then the list.
    void release_all() {
        for (std::size_t i = 0; i < array_.size(); ++i) {
            if (array_[i] && array_[i]->exists()) release_(static_cast<ObjectId>(i), *array_[i]);
        }
        std::vector<ObjectId> listed;
        for (auto& record : list_) listed.push_back(reinterpret_cast<ObjectId>(record.get()));
        for (ObjectId id : listed) {
            if (Record* record = find(id)) release_(id, *record);
        }
        list_.clear();
    }

    // Calls f(id, record) for every existing object in release order.
    template <class F>
    void for_each(F f) const {
        for (std::size_t i = 0; i < array_.size(); ++i) {
            if (array_[i] && array_[i]->exists()) f(static_cast<ObjectId>(i), *array_[i]);
        }
        for (auto& record : list_) {
            if (record->exists()) f(reinterpret_cast<ObjectId>(record.get()), *record);
        }
    }

    std::size_t array_size() const { return array_.size(); }

private:
    Record* lookup(ObjectId id) const {
        if (id >= 0 && id < static_cast<ObjectId>(array_.size())) return array_[id].get();
        for (auto& record : list_) {
            if (reinterpret_cast<ObjectId>(record.get()) == id) return record.get();
        }
        return nullptr;
    }

    // The record for id, allocated (and the array grown) on first use.
    Record* slot(ObjectId id) {
        if (Record* record = lookup(id)) return record;
        if (id < 0 || id > largest_array_id) return nullptr;
        if (id >= static_cast<ObjectId>(array_.size())) array_.resize(id + 16);
        if (!array_[id]) array_[id] = std::make_unique<Record>();
        return array_[id].get();
    }

    Release release_;
    std::vector<std::unique_ptr<Record>> array_;
    std::list<std::unique_ptr<Record>> list_;
};

// Start and end. toolkit_init initialises GTK once per process and sets up
// every table; it returns 1, or 0 when no display can be opened.
int toolkit_init(int argc = 0, char** argv = nullptr);
void toolkit_shutdown();

// Windows. Result: with id -1 the new id, otherwise the GtkWindow (non-zero)
// or 0 when GTK cannot create the window.
std::intptr_t window_open(ObjectId id, int x, int y, int width, int height, const std::string& title,
                          unsigned flags, _GtkWindow* parent = nullptr);
void window_close(ObjectId id);


// For the other areas of the toolkit.
namespace tk {
bool toolkit_ready();
_GtkWindow* window_gtk(ObjectId id);
// The gadget container (GtkFixed) of a window, or null.
_GtkWidget* window_container(ObjectId id);
// The first window, in ascending id order, that has the desktop focus; -1 if none.
ObjectId window_with_focus();
// The toolkit id of a top-level GtkWindow (a gadget's window), or -1.
ObjectId window_id_of(_GtkWidget* toplevel);
// Runs every pending GTK event without blocking.
void process_pending();
}  // namespace tk
