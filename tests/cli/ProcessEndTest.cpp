// How a command's process ends: output that could not be written is a failure, never a success.
#include "cli/ProcessEnd.h"

#include <cstdio>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tessera::cli {
namespace {

// The exit status of a child whose standard output is `device` and that prints a summary's worth
// of text before ending with `status`.
int statusOfChildWritingTo(const char* device, int status) {
    const pid_t child = fork();
    if (child == 0) {
        const int output = open(device, O_WRONLY | O_CLOEXEC);
        if (output < 0 || dup2(output, STDOUT_FILENO) < 0) std::_Exit(90);
        std::setvbuf(stdout, nullptr, _IOFBF, 1 << 16);
        std::printf("  size            3.11 TB\n");
        endProcess(status);
    }
    int result = 0;
    waitpid(child, &result, 0);
    return WIFEXITED(result) ? WEXITSTATUS(result) : -1;
}

TEST(ProcessEndTest, AStandardOutputThatCouldNotBeWrittenFailsTheCommand) {
    EXPECT_EQ(statusOfChildWritingTo("/dev/null", 0), 0);
    EXPECT_EQ(statusOfChildWritingTo("/dev/full", 0), 1);
    // A failure keeps its own status.
    EXPECT_EQ(statusOfChildWritingTo("/dev/full", 3), 3);
    EXPECT_EQ(statusOfChildWritingTo("/dev/null", 2), 2);
}

} // namespace
} // namespace tessera::cli
