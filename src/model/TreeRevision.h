// A count that every change of a tree's structure, sizes, order or dates moves on, so that
// whoever keeps something made from a tree (a layout's picture) can tell whether it still holds.
// One count serves every tree of the process: a change anywhere makes every kept picture
// suspect, which costs at worst one layout too many and never a stale picture.
#pragma once

#include <cstdint>

namespace tessera {

std::uint64_t treeRevision();
/// Called by the model whenever a tree changes in place (not while a new tree is built).
void treeDidChange();

} // namespace tessera
