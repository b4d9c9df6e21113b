#include "support/UserNamespace.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <spawn.h>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace tessera::testing {
namespace {

constexpr const char* kMarker = "TESSERA_TEST_IN_USER_NAMESPACE";

std::vector<std::string> unshareArguments(UserNamespace kind) {
    if (kind == UserNamespace::root) return {"unshare", "--user", "--map-root-user"};
    return {"unshare", "--user", "--map-user=1000", "--map-group=1000"};
}

// Runs `arguments` with the marker in the environment; the exit status, or -1.
int run(const std::vector<std::string>& arguments) {
    std::vector<char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    std::vector<std::string> variables{std::string(kMarker) + "=1"};
    for (char** variable = environ; *variable != nullptr; ++variable)
        if (std::strncmp(*variable, kMarker, std::strlen(kMarker)) != 0)
            variables.emplace_back(*variable);
    std::vector<char*> envp;
    for (std::string& variable : variables)
        envp.push_back(variable.data());
    envp.push_back(nullptr);
    pid_t child = 0;
    if (::posix_spawnp(&child, argv[0], nullptr, nullptr, argv.data(), envp.data()) != 0) return -1;
    int status = 0;
    while (::waitpid(child, &status, 0) < 0)
        if (errno != EINTR) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

bool inOwnUserNamespace() {
    return std::getenv(kMarker) != nullptr;
}

std::expected<int, std::string> rerunInUserNamespace(UserNamespace kind,
                                                     const std::vector<std::string>& arguments) {
    std::vector<std::string> probe = unshareArguments(kind);
    probe.emplace_back("true");
    if (run(probe) != 0)
        return std::unexpected("user namespaces are refused here (unshare --user failed)");
    char self[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0)
        return std::unexpected("the test binary cannot be found again (/proc/self/exe)");
    self[length] = '\0';
    std::vector<std::string> command = unshareArguments(kind);
    command.emplace_back(self);
    command.insert(command.end(), arguments.begin(), arguments.end());
    return run(command);
}

bool setWatchBudget(int watches) {
    std::ofstream limit("/proc/sys/user/max_inotify_watches");
    limit << watches;
    limit.close();
    return !limit.fail();
}

WatchHog::WatchHog(const std::vector<std::string>& folders) {
    int ready[2];
    if (::pipe(ready) != 0) return;
    std::vector<const char*> paths;
    for (const std::string& folder : folders)
        paths.push_back(folder.c_str());
    pid_ = ::fork();
    if (pid_ == 0) {
        const int inotify = ::inotify_init1(IN_CLOEXEC);
        int added = 0;
        for (const char* path : paths)
            added += ::inotify_add_watch(inotify, path, IN_CREATE) >= 0 ? 1 : 0;
        [[maybe_unused]] const auto written = ::write(ready[1], &added, sizeof added);
        for (;;)
            ::pause();
    }
    if (pid_ > 0 && ::read(ready[0], &watches_, sizeof watches_) != sizeof watches_) watches_ = 0;
    ::close(ready[0]);
    ::close(ready[1]);
}

WatchHog::~WatchHog() {
    end();
}

void WatchHog::end() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    pid_ = 0;
}

} // namespace tessera::testing
