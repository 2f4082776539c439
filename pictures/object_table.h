// The shared types of numbered objects, and the id table behind every kind
// of them: pictures and fonts here, windows and gadgets in the toolkit.
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

// 0xAABBGGRR: red + green * 256 + blue * 65536, opacity in the top byte.
using Colour = std::uint32_t;
// Picture format of image_save: the bytes of its name read little-endian.
using FormatTag = std::uint32_t;

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
