// The views of one picture, keyed by node: a flat vector in creation order and an open-addressing
// table from node to position. A layout rebuilds its picture at every frame of an animation, so
// the store is cleared and refilled often: clearing costs nothing (slots carry the generation
// that filled them) and filling allocates nothing once the store has grown to the picture's size.
// Views appended as new are entered into the table only when a lookup comes: drawing a picture
// needs none, and the table's random writes cost more than the rest of laying out a view.
#pragma once

#include <cstdint>
#include <vector>

namespace tessera {

class File;

/// `View` has a `file` member, which is its key.
template <typename View> class ViewStore {
public:
    using iterator = typename std::vector<View>::iterator;
    using const_iterator = typename std::vector<View>::const_iterator;

    std::size_t size() const { return views_.size(); }
    bool empty() const { return views_.empty(); }
    iterator begin() { return views_.begin(); }
    iterator end() { return views_.end(); }
    const_iterator begin() const { return views_.begin(); }
    const_iterator end() const { return views_.end(); }
    /// The view at creation position `index` (stable until the next clear()).
    View& at(std::size_t index) { return views_[index]; }

    void clear() {
        views_.clear();
        indexed_ = 0;
        if (++generation_ == 0) { // wrapped: forget every slot for real
            for (Slot& slot : slots_)
                slot.generation = 0;
            generation_ = 1;
        }
    }
    void reserve(std::size_t count) { views_.reserve(count); }

    /// The position of `file`'s view, or -1.
    std::ptrdiff_t indexOf(const File* file) const {
        catchUp();
        if (slots_.empty()) return -1;
        for (std::size_t at = hash(file);; at = (at + 1) & mask()) {
            const Slot& slot = slots_[at];
            if (slot.generation != generation_) return -1;
            if (slot.file == file) return slot.index;
        }
    }
    View* find(const File* file) {
        const std::ptrdiff_t index = indexOf(file);
        return index < 0 ? nullptr : &views_[static_cast<std::size_t>(index)];
    }
    const View* find(const File* file) const {
        const std::ptrdiff_t index = indexOf(file);
        return index < 0 ? nullptr : &views_[static_cast<std::size_t>(index)];
    }
    bool contains(const File* file) const { return indexOf(file) >= 0; }
    /// Enters every view into the index now, so that lookups may then come from several threads
    /// at once (a lookup would otherwise fill it in).
    void index() const { catchUp(); }

    /// Stores `view` under its file, replacing a view stored before; returns its position.
    /// References to views stay valid only until the next insertion.
    std::size_t insertOrAssign(View view) {
        catchUp();
        if ((views_.size() + 1) * 2 > slots_.size()) rehash(views_.size() + 1);
        Slot& slot = slotFor(view.file);
        if (slot.generation == generation_) {
            views_[slot.index] = std::move(view);
            return slot.index;
        }
        slot = {view.file, static_cast<std::uint32_t>(views_.size()), generation_};
        views_.push_back(std::move(view));
        indexed_ = views_.size();
        return slot.index;
    }
    /// Stores the view of a file that has none in this store; returns its position.
    std::size_t append(View view) {
        views_.push_back(std::move(view));
        return views_.size() - 1;
    }
    /// append() for each of the views in [first, last), in order.
    template <typename Iterator> void append(Iterator first, Iterator last) {
        views_.insert(views_.end(), first, last);
    }

private:
    struct Slot {
        const File* file = nullptr;
        std::uint32_t index = 0;
        std::uint32_t generation = 0; // the store's generation that filled it; others are empty
    };

    std::size_t mask() const { return slots_.size() - 1; }
    std::size_t hash(const File* file) const {
        const auto bits = reinterpret_cast<std::uintptr_t>(file) >> 2;
        return static_cast<std::size_t>((bits * 0x9E3779B97F4A7C15ull) >> 32) & mask();
    }
    /// The slot that holds `file`, or the empty one where it would go.
    Slot& slotFor(const File* file) const {
        for (std::size_t at = hash(file);; at = (at + 1) & mask()) {
            Slot& slot = slots_[at];
            if (slot.generation != generation_ || slot.file == file) return slot;
        }
    }
    /// Enters the views appended since the last lookup into the table.
    void catchUp() const {
        if (indexed_ == views_.size()) return;
        if (views_.size() * 2 > slots_.size()) {
            rehash(views_.size());
            return;
        }
        for (; indexed_ < views_.size(); ++indexed_)
            slotFor(views_[indexed_].file) = {views_[indexed_].file,
                                              static_cast<std::uint32_t>(indexed_), generation_};
    }
    /// Makes room for `count` views (at most half the slots are used) and enters every view.
    void rehash(std::size_t count) const {
        std::size_t capacity = 64;
        while (capacity < count * 2)
            capacity *= 2;
        slots_.assign(capacity, Slot{});
        generation_ = 1;
        for (std::size_t i = 0; i < views_.size(); ++i)
            slotFor(views_[i].file) = {views_[i].file, static_cast<std::uint32_t>(i), generation_};
        indexed_ = views_.size();
    }

    std::vector<View> views_;
    // The index is filled in by lookups, which leave the views themselves untouched.
    mutable std::vector<Slot> slots_;
    mutable std::uint32_t generation_ = 1;
    mutable std::size_t indexed_ = 0; // views entered into slots_, from the first
};

} // namespace tessera
