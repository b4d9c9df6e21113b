// The placeholder a graph draws for the tail of small children it does not draw one by one.
#pragma once

#include "model/File.h"

namespace tessera {

#pragma pack(push, 1)
class MergedFile : public File {
public:
    static constexpr std::string_view kName = "<merged>";

    /// How many children at the end of the owning directory's contents this stands for; 0 means
    /// nothing is merged.
    std::ptrdiff_t mergedContentCount() const { return mergedContentCount_; }
    /// Their combined measure in the mode the graph uses.
    std::int64_t mergedDisplaySize() const { return mergedDisplaySize_; }

    void setMerge(std::ptrdiff_t count, std::int64_t displaySize) {
        mergedContentCount_ = count;
        mergedDisplaySize_ = displaySize;
    }
    void resetMerge() { mergedContentCount_ = 0; }

private:
    friend class Directory;
    static MergedFile* createFor(Directory& owner);
    MergedFile() : File(Kind::merged) {}

    std::int64_t mergedContentCount_ = 0;
    std::int64_t mergedDisplaySize_ = 0;
};
#pragma pack(pop)

} // namespace tessera
