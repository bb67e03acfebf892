#include "acoustics/MicrophoneList.h"

#include <utility>

int MicrophoneList::add(std::unique_ptr<Microphone> microphone, int index) { return put(std::move(microphone), index); }

unsigned MicrophoneList::receiverCount() const {
    return static_cast<unsigned>(count()) - (at(0) ? 1u : 0u);
}

void MicrophoneList::destroyAll() { clear(); }

void MicrophoneList::clearAll() {
    for (int i = static_cast<int>(receiverCount()); i >= 1; --i) {
        Microphone* microphone = at(i);
        if (!microphone) continue;
        microphone->response.clear();
        microphone->lateral.fill(0.0f);
    }
}

int MicrophoneList::addReceiver(const Line& axis) {
    auto microphone = std::make_unique<Microphone>();
    microphone->axis = axis;
    return add(std::move(microphone), count() + 1);
}

MicrophoneList& microphones() {
    static MicrophoneList list;
    return list;
}
