#pragma once
#include <memory>

#include "acoustics/Microphone.h"
#include "foundation/TArray.h"
#include "geometry/Line.h"

/// The microphones of the model, one per receiver in slots 1 to n in model order.
///
/// Slot 0 is kept free for job mode, which may put an average microphone there.
class MicrophoneList : public TArray<Microphone> {
public:
    MicrophoneList() = default;
    /// Destroys every microphone.
    virtual ~MicrophoneList() = default;

    /// Puts microphone into slot index (−1: the first empty slot), growing or replacing as TArray::put; answers the slot.
    int add(std::unique_ptr<Microphone> microphone, int index = -1);
    /// The number of microphones, not counting one in slot 0.
    unsigned receiverCount() const;
    /// Destroys every microphone, last slot first; the count becomes 0.
    void destroyAll();
    /// Clears the response and zeroes the lateral block of the microphones in slots receiverCount() down to 1.
    void clearAll();
    /// Creates the microphone of a receiver with the given axis at slot count() + 1 and answers that slot.
    int addReceiver(const Line& axis);

    /// The fewest receivers whose preparation (direct delays, late-decay spheres) is spread over the run's threads.
    /// Fewer are prepared by one thread: a parallel loop waits for the other threads to wake, up to milliseconds on a
    /// virtual machine, while 50 receivers' spheres take 0.3 ms on one thread.
    static constexpr unsigned threadsFrom = 256;
};

/// The process-wide list of microphones.
MicrophoneList& microphones();
