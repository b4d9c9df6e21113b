// Names shown on a terminal: nothing in a name can move the cursor, change colours or reorder
// what the terminal shows, and every name can still be told exactly.
#include "cli/TerminalText.h"

#include <gtest/gtest.h>

namespace tessera::cli {
namespace {

TEST(TerminalTextTest, ControlsAreEscapedAndTextIsKept) {
    const std::pair<std::string, std::string> cases[] = {
        {"plain name.txt", "plain name.txt"},
        {"caf\xc3\xa9 \xe6\x97\xa5\xe6\x9c\xac", "caf\xc3\xa9 \xe6\x97\xa5\xe6\x9c\xac"},
        {"a\\b", "a\\\\b"},
        {"\x1b[31mred", "\\x1b[31mred"},                   // C0: an escape sequence
        {"next\xc2\x85line", "next\\xc2\\x85line"},        // C1: NEXT LINE
        {"bad\xff", "bad\\xff"},                           // not UTF-8
        {"evil\xe2\x80\xaetxt.exe", "evil\\u202etxt.exe"}, // RIGHT-TO-LEFT OVERRIDE
        {"\xe2\x80\xaa\xe2\x81\xa6\xe2\x81\xa9", "\\u202a\\u2066\\u2069"},
        {"\xe2\x80\xa9 kept", "\xe2\x80\xa9 kept"}, // U+2029, no bidirectional control
    };
    for (const auto& [name, shown] : cases)
        EXPECT_EQ(escapeForTerminal(name), shown);
}

} // namespace
} // namespace tessera::cli
