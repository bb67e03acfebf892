#pragma once
#include <memory>
#include <utility>
#include <vector>

#include "foundation/TObject.h"

/// An owning array of object pointers with empty slots and the growth rules of the foundation.
///
/// Lists numbered from 1 leave slot 0 empty. Elements are destroyed through
/// their virtual destructor when replaced, cleared or when the array dies.
template <class T = TObject>
class TArray {
public:
    TArray() : slots_(4) {}

    /// The element in slot i, or null when the slot is empty or i is not below the capacity.
    T* at(int i) const {
        return (i >= 0 && static_cast<std::size_t>(i) < slots_.size()) ? slots_[i].get() : nullptr;
    }

    /// Stores element in slot i (-1: the first empty slot) and answers the slot used.
    ///
    /// A slot past the capacity grows the array to i * 3 / 2 + 1 slots; an
    /// element already in the slot is destroyed and replaced.
    int put(std::unique_ptr<T> element, int i = -1) {
        if (i < 0) i = firstEmptySlot();
        if (static_cast<std::size_t>(i) >= slots_.size()) slots_.resize(static_cast<std::size_t>(i) * 3 / 2 + 1);
        if (!slots_[i]) ++count_;
        slots_[i] = std::move(element);
        return i;
    }

    /// Destroys every element, last slot first; the capacity stays.
    void clear() {
        for (auto slot = slots_.rbegin(); slot != slots_.rend(); ++slot) slot->reset();
        count_ = 0;
    }

    ~TArray() { clear(); }
    TArray(const TArray&) = delete;
    TArray& operator=(const TArray&) = delete;

    int capacity() const { return static_cast<int>(slots_.size()); }
    int count() const { return count_; }

private:
    int firstEmptySlot() const {
        for (std::size_t i = 0; i < slots_.size(); ++i)
            if (!slots_[i]) return static_cast<int>(i);
        return static_cast<int>(slots_.size());
    }

    std::vector<std::unique_ptr<T>> slots_;
    int count_ = 0;
};
