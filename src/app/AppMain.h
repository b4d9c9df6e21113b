// The desktop half of the tessera executable.
#pragma once

namespace tessera {

/// Runs the app until its last window closes: `tessera [--software-rendering] [PATH...]`.
int runApp(int argc, char** argv);

} // namespace tessera
