// Runs a test binary again in a user namespace of its own, made by unshare(1): as its root,
// whose limits (the inotify watch budget, say) can be set without touching the machine's, or as
// an ordinary user without capabilities, whom permissions stop (the test's own files belong to
// that user there). A test starts with
//
//     if (!inOwnUserNamespace()) {
//         const auto status = rerunInUserNamespace(UserNamespace::root, {its own selection});
//         if (!status) skip, saying status.error();
//         else expect *status to be 0 (the rerun prints its failures inline);
//         return;
//     }
#pragma once

#include <expected>
#include <string>
#include <vector>

namespace tessera::testing {

enum class UserNamespace { root, ordinaryUser };

/// True in the rerun.
bool inOwnUserNamespace();

/// Runs this test binary with `arguments` in a user namespace; its exit status, or why it could
/// not run (user namespaces refused here).
[[nodiscard]] std::expected<int, std::string>
rerunInUserNamespace(UserNamespace kind, const std::vector<std::string>& arguments);

/// For Google Test: reruns the current test so, and adds a failure when the rerun fails.
/// Returns why it could not run, or an empty text.
std::string rerunCurrentTestInUserNamespace(UserNamespace kind);

/// The user's inotify watch budget inside the namespace (its root may set it).
bool setWatchBudget(int watches);

/// Another process of the same user, holding a watch on each of `folders` until it is ended.
class WatchHog {
public:
    explicit WatchHog(const std::vector<std::string>& folders);
    ~WatchHog();
    WatchHog(const WatchHog&) = delete;
    WatchHog& operator=(const WatchHog&) = delete;
    /// The watches it holds.
    int watches() const { return watches_; }
    void end();

private:
    int pid_ = 0;
    int watches_ = 0;
};

} // namespace tessera::testing
