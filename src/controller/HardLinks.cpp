#include "controller/HardLinks.h"

#include "model/Directory.h"

namespace tessera {

std::vector<std::string> otherNamesOf(const Directory& root, const File& changed,
                                      const platform::EntryStatus& status,
                                      const std::function<std::string(const File&)>& pathOf) {
    const auto carriesFigures = [&](const File& file) {
        return (file.size() == changed.size() &&
                file.modificationDate() == changed.modificationDate()) ||
               (file.size() == status.size && file.modificationDate() == status.modificationDate);
    };
    std::vector<std::string> others;
    std::vector<const Directory*> pending{&root};
    while (!pending.empty()) {
        const Directory* folder = pending.back();
        pending.pop_back();
        for (const File* child : folder->contents()) {
            if (const Directory* sub = child->asDirectory()) {
                pending.push_back(sub);
                continue;
            }
            if (child == &changed || !carriesFigures(*child)) continue;
            std::string path = pathOf(*child);
            const auto other = platform::statusOfPath(path);
            if (other && other->inode == status.inode && other->device == status.device)
                others.push_back(std::move(path));
        }
    }
    return others;
}

} // namespace tessera
