// What filtering asks of a predicate: a yes or no for one node.
#pragma once

namespace tessera {

class File;

class FilePredicate {
public:
    virtual ~FilePredicate() = default;
    /// True when `file` satisfies the predicate.
    virtual bool evaluate(const File& file) const = 0;
};

} // namespace tessera
