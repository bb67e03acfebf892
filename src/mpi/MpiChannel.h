#pragma once
#include <list>
#include <string>

#include <mpi.h>

/// The tags of the messages between the processes of a run.
enum MpiTag : int {
    batchTag = 1,  ///< process 0 to another: a PyramidBatch to trace (none: nothing more of this source)
    logsTag = 2,   ///< another process to process 0: the packed logs of a batch, in pyramid order
};

/// Byte messages between the processes of a run, from one thread of each: sends that do not wait for the receiver,
/// and receives that wait by sleeping, so that a waiting process leaves its core to the tracing threads (a blocking
/// MPI call spins on it).
class MpiChannel {
public:
    /// Sends bytes with tag to process to; returns at once, the bytes kept until they are delivered.
    void send(int to, int tag, std::string bytes);
    /// Receives the next message with tag from any process into bytes (resized to it), waiting up to waitMs
    /// milliseconds for one (−1: for ever); answers the sender, or −1 when none came.
    int receive(int tag, std::string& bytes, int waitMs);
    /// Waits until every message sent has been delivered.
    void flush();

private:
    struct Outgoing {
        MPI_Request request;
        std::string bytes;
    };
    void forgetDelivered();

    std::list<Outgoing> outgoing_;
};
