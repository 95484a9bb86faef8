#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace device::hidraw {

// Values under the ids the platform hands out, never 0, in slots that are
// reused: once the table has grown to what a walk needs, a walk over a list
// that did not change allocates nothing.
template <typename T>
class SlotTable {
public:
    void insert(std::uintptr_t id, T value) {
        if (Slot* free = slotOf(0)) *free = Slot{id, std::move(value)};
        else m_slots.push_back(Slot{id, std::move(value)});
    }
    T* find(std::uintptr_t id) {
        Slot* slot = slotOf(id);
        return slot ? &slot->value : nullptr;
    }
    // Releases what the value holds at once; false when nothing is stored
    // under id.
    bool erase(std::uintptr_t id) {
        Slot* slot = slotOf(id);
        if (slot) *slot = Slot{};
        return slot != nullptr;
    }
    std::size_t size() const {
        const auto used = std::count_if(m_slots.begin(), m_slots.end(), [](const Slot& s) { return s.id != 0; });
        return static_cast<std::size_t>(used);
    }

private:
    struct Slot {
        std::uintptr_t id = 0;  // 0: free
        T value{};
    };
    Slot* slotOf(std::uintptr_t id) {
        for (Slot& slot : m_slots)
            if (slot.id == id) return &slot;
        return nullptr;
    }
    std::vector<Slot> m_slots;
};

}  // namespace device::hidraw
