#include "base/Paths.h"

namespace tessera {
namespace {

bool isInside(std::string_view inner, std::string_view outer) {
    if (inner.size() <= outer.size() || !inner.starts_with(outer)) return false;
    return outer.ends_with('/') || inner[outer.size()] == '/';
}

} // namespace

std::string joinPath(std::string_view base, std::string_view component) {
    std::string joined(base);
    if (component.empty()) return joined;
    if (!base.empty() && base != "/") joined += '/';
    joined += component;
    return joined;
}

PathRelation relatePaths(std::string_view first, std::string_view second) {
    if (first == second) return PathRelation::equal;
    if (isInside(first, second)) return PathRelation::firstInsideSecond;
    if (isInside(second, first)) return PathRelation::secondInsideFirst;
    return PathRelation::unrelated;
}

std::string_view parentPath(std::string_view path) {
    const auto slash = path.rfind('/');
    if (slash == std::string_view::npos) return {};
    if (slash == 0) return path.size() > 1 ? path.substr(0, 1) : std::string_view{};
    return path.substr(0, slash);
}

std::string_view lastComponent(std::string_view path) {
    if (path == "/") return path;
    const auto slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

} // namespace tessera
