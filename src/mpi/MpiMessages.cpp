#include "mpi/MpiMessages.h"

namespace tessera::mpi {

void check(int result, const char* what) {
    if (result == MPI_SUCCESS) return;
    char text[MPI_MAX_ERROR_STRING];
    int length = 0;
    MPI_Error_string(result, text, &length);
    throw MpiError(std::string(what) + ": " + std::string(text, static_cast<std::size_t>(length)));
}

Messenger::Messenger() {
    check(MPI_Comm_rank(MPI_COMM_WORLD, &rank_), "MPI_Comm_rank");
    check(MPI_Comm_size(MPI_COMM_WORLD, &size_), "MPI_Comm_size");
}

void Messenger::send(int destination, Tag tag, std::string bytes) {
    if (bytes.size() > static_cast<std::size_t>(INT_MAX)) throw MpiError("a message is too large");
    Pending& pending = pending_.emplace_back(Pending{MPI_REQUEST_NULL, std::move(bytes)});
    check(MPI_Isend(pending.bytes.data(), static_cast<int>(pending.bytes.size()), MPI_BYTE,
                    destination, tag, MPI_COMM_WORLD, &pending.request),
          "MPI_Isend");
}

std::optional<Message> Messenger::receive() {
    int arrived = 0;
    MPI_Status status;
    check(MPI_Iprobe(MPI_ANY_SOURCE, MPI_ANY_TAG, MPI_COMM_WORLD, &arrived, &status), "MPI_Iprobe");
    if (!arrived) return std::nullopt;
    int count = 0;
    check(MPI_Get_count(&status, MPI_BYTE, &count), "MPI_Get_count");
    Message message{status.MPI_SOURCE, status.MPI_TAG,
                    std::string(static_cast<std::size_t>(count), '\0')};
    check(MPI_Recv(message.bytes.data(), count, MPI_BYTE, status.MPI_SOURCE, status.MPI_TAG,
                   MPI_COMM_WORLD, MPI_STATUS_IGNORE),
          "MPI_Recv");
    return message;
}

bool Messenger::sending() {
    for (auto it = pending_.begin(); it != pending_.end();) {
        int completed = 0;
        check(MPI_Test(&it->request, &completed, MPI_STATUS_IGNORE), "MPI_Test");
        it = completed ? pending_.erase(it) : std::next(it);
    }
    return !pending_.empty();
}

void Messenger::finishSending() {
    for (Pending& pending : pending_)
        check(MPI_Wait(&pending.request, MPI_STATUS_IGNORE), "MPI_Wait");
    pending_.clear();
}

} // namespace tessera::mpi
