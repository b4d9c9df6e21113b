// Messages between the processes of an MPI job, sent without waiting: every call is made by the
// one thread of each process that talks to the others.
#pragma once

#include <climits>
#include <list>
#include <mpi.h>
#include <optional>
#include <stdexcept>
#include <string>

namespace tessera::mpi {

/// What the processes of a distributed scan tell each other.
enum Tag : int {
    stealRequest = 1, // give me some of your folders
    stealReply,       // folders (possibly none)
    token,            // the round that detects the end of the walk
    terminate,        // the walk is over everywhere
    records,          // a batch of folder records, for the assembling process
    done,             // all of a process's records are sent: excluded count, batch count
};

/// An MPI call that failed: the job cannot go on.
class MpiError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct Message {
    int source = 0;
    int tag = 0;
    std::string bytes;
};

class Messenger {
public:
    Messenger();
    int rank() const { return rank_; }
    int size() const { return size_; }

    /// Sends `bytes` to `destination`; the bytes are kept until the send completes.
    void send(int destination, Tag tag, std::string bytes);
    /// The next message that has arrived, if any.
    std::optional<Message> receive();
    /// Forgets the sends that have completed; true while some are still on their way.
    bool sending();
    /// Waits for every send to complete.
    void finishSending();

private:
    struct Pending {
        MPI_Request request;
        std::string bytes;
    };
    int rank_ = 0;
    int size_ = 1;
    std::list<Pending> pending_;
};

/// Throws MpiError unless `result` is MPI_SUCCESS.
void check(int result, const char* what);

} // namespace tessera::mpi
