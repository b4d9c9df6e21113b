// The one rule for joining paths and the one rule for relating them.
#pragma once

#include <string>
#include <string_view>

namespace tessera {

/// Joins `component` to `base`: the base alone when the component is empty, no separator when
/// the base is empty or exactly "/", otherwise base + "/" + component.
std::string joinPath(std::string_view base, std::string_view component);

enum class PathRelation { unrelated, equal, firstInsideSecond, secondInsideFirst };

/// "Inside" means a prefix that ends at a "/" boundary: /a/b is inside /a, /ab is not.
PathRelation relatePaths(std::string_view first, std::string_view second);

/// The path without its last component ("/a/b" gives "/a", "/a" gives "/", "a" gives "").
std::string_view parentPath(std::string_view path);

/// The last component of a path ("/a/b" gives "b", "/" gives "/").
std::string_view lastComponent(std::string_view path);

} // namespace tessera
