#include "model/ObstructionList.h"

void ObstructionList::insert(Face* face, double distance) {
    std::uint32_t place = 0;
    while (place < count && entries[place].distance < distance) ++place;
    if (place >= capacity) return;
    const std::uint32_t last = count < capacity ? count : capacity - 1;
    for (std::uint32_t i = last; i > place; --i) entries[i] = entries[i - 1];
    entries[place] = {face, distance};
    if (count < capacity) ++count;
}
