#include "mpi/MpiChannel.h"

#include <chrono>
#include <thread>

namespace {
// Short enough not to delay a process waiting for its next batch noticeably, long enough that polling costs nothing.
constexpr auto pollInterval = std::chrono::microseconds(200);
}  // namespace

void MpiChannel::send(int to, int tag, std::string bytes) {
    forgetDelivered();
    // A list, so that the bytes of a send in progress never move.
    Outgoing& message = outgoing_.emplace_back();
    message.bytes = std::move(bytes);
    MPI_Isend(message.bytes.data(), static_cast<int>(message.bytes.size()), MPI_BYTE, to, tag, MPI_COMM_WORLD,
              &message.request);
}

int MpiChannel::receive(int tag, std::string& bytes, int waitMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    MPI_Status status;
    for (;;) {
        int arrived = 0;
        MPI_Iprobe(MPI_ANY_SOURCE, tag, MPI_COMM_WORLD, &arrived, &status);
        if (arrived) break;
        // Sends in progress move on only while this process calls into MPI.
        forgetDelivered();
        if (waitMs >= 0 && std::chrono::steady_clock::now() >= deadline) return -1;
        std::this_thread::sleep_for(pollInterval);
    }
    int count = 0;
    MPI_Get_count(&status, MPI_BYTE, &count);
    bytes.resize(static_cast<std::size_t>(count));
    MPI_Recv(bytes.data(), count, MPI_BYTE, status.MPI_SOURCE, tag, MPI_COMM_WORLD, MPI_STATUS_IGNORE);
    return status.MPI_SOURCE;
}

void MpiChannel::flush() {
    while (!outgoing_.empty()) {
        forgetDelivered();
        if (!outgoing_.empty()) std::this_thread::sleep_for(pollInterval);
    }
}

void MpiChannel::forgetDelivered() {
    for (auto it = outgoing_.begin(); it != outgoing_.end();) {
        int done = 0;
        MPI_Test(&it->request, &done, MPI_STATUS_IGNORE);
        it = done ? outgoing_.erase(it) : std::next(it);
    }
}
