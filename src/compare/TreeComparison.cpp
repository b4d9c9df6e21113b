#include "compare/TreeComparison.h"

#include "model/Directory.h"
#include "model/MergedFile.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string_view>
#include <unordered_set>

namespace tessera {
namespace {

// What a folder holds, as far as telling it again under another name goes: its size, its file
// count and its children's names.
struct ContentsSignature {
    std::int64_t size = 0;
    std::int64_t files = 0;
    std::size_t count = 0;
    std::uint64_t names = 0; // a hash of the sorted names

    friend bool operator==(const ContentsSignature&, const ContentsSignature&) = default;
};

struct SignatureHash {
    std::size_t operator()(const ContentsSignature& s) const {
        std::uint64_t h = s.names;
        for (const std::uint64_t part :
             {static_cast<std::uint64_t>(s.size), static_cast<std::uint64_t>(s.files), s.count})
            h = (h ^ part) * 0x100000001b3ull;
        return static_cast<std::size_t>(h);
    }
};

std::uint64_t hashBytes(std::string_view bytes, std::uint64_t h) {
    for (const char c : bytes)
        h = (h ^ static_cast<unsigned char>(c)) * 0x100000001b3ull;
    return (h ^ 0xffu) * 0x100000001b3ull; // the end of a name, so that "a","bc" != "ab","c"
}

ContentsSignature signatureOf(const Directory& folder, SizeMode mode) {
    std::vector<std::string_view> names;
    names.reserve(folder.count());
    for (const File* child : folder.contents())
        names.push_back(child->path());
    std::sort(names.begin(), names.end());
    std::uint64_t h = 0xcbf29ce484222325ull;
    for (const std::string_view name : names)
        h = hashBytes(name, h);
    return {folder.size(mode), folder.fileCount(), folder.count(), h};
}

// Orders the changes the way they are read: the largest first, a rename by the size it moved.
std::int64_t weightOf(const EntryChange& change) {
    if (change.kind == ChangeKind::renamed) return std::max(change.sizeBefore, change.sizeAfter);
    return std::abs(change.difference());
}

} // namespace

TreeComparison::TreeComparison(const Directory& before, const Directory& after, SizeMode mode)
    : before_(before), after_(after), mode_(mode) {
    pairs_.emplace_back(&before, &after);
    pairContents(before, after);
    findRenames();
    // Looked up by either side from here on.
    byAfter_.reserve(pairs_.size());
    for (const auto& [earlier, later] : pairs_)
        byAfter_.emplace_back(later, earlier);
    std::ranges::sort(pairs_);
    std::ranges::sort(byAfter_);
    listChanges();
}

const File* TreeComparison::lookUp(const Pairs& pairs, const File& file) {
    const auto found = std::ranges::lower_bound(pairs, &file, {}, &Pairs::value_type::first);
    return found != pairs.end() && found->first == &file ? found->second : nullptr;
}

void TreeComparison::pairContents(const Directory& beforeRoot, const Directory& afterRoot) {
    // An explicit stack: trees may be deeper than the call stack.
    std::vector<std::pair<const Directory*, const Directory*>> pending{{&beforeRoot, &afterRoot}};
    std::unordered_map<std::string_view, std::vector<std::size_t>> byName;
    std::vector<char> paired; // of the earlier folder's children, by index
    const auto pair = [&](const File* earlier, const File* later) {
        pairs_.emplace_back(earlier, later);
        if (later->isDirectory())
            pending.emplace_back(earlier->asDirectory(), later->asDirectory());
    };
    while (!pending.empty()) {
        const auto [before, after] = pending.back();
        pending.pop_back();
        const std::size_t count = before->count();
        // Most folders hold the same names in the same order in both trees.
        std::size_t same = 0;
        while (same < count && same < after->count() &&
               before->child(same)->path() == after->child(same)->path() &&
               before->child(same)->isDirectory() == after->child(same)->isDirectory()) {
            pair(before->child(same), after->child(same));
            ++same;
        }
        if (same == count && same == after->count()) continue;
        // The rest by name. A folder of a snapshot may hold two entries of one name: they
        // pair in their order.
        byName.clear();
        paired.assign(count, 0);
        for (std::size_t i = count; i-- > same;)
            byName[before->child(i)->path()].push_back(i);
        for (std::size_t j = same; j < after->count(); ++j) {
            const File* child = after->child(j);
            const auto found = byName.find(child->path());
            if (found == byName.end() || found->second.empty() ||
                before->child(found->second.back())->isDirectory() != child->isDirectory()) {
                added_.push_back(child);
                continue;
            }
            const std::size_t match = found->second.back();
            found->second.pop_back();
            paired[match] = 1;
            pair(before->child(match), child);
        }
        for (std::size_t i = same; i < count; ++i)
            if (paired[i] == 0) removed_.push_back(before->child(i));
    }
}

namespace {

// A folder that could be one renamed or moved: one that went, or one that came, at any depth
// of what went or came.
struct RenameCandidate {
    const File* folder;
    std::size_t depth;
    ContentsSignature signature;
};

std::size_t depthOf(const File& file) {
    std::size_t depth = 0;
    for (const File* up = file.parent(); up != nullptr; up = up->parent())
        ++depth;
    return depth;
}

std::vector<RenameCandidate> renameCandidates(const std::vector<const File*>& outermost,
                                              SizeMode mode) {
    std::vector<RenameCandidate> candidates;
    std::vector<std::pair<const Directory*, std::size_t>> pending;
    for (const File* file : outermost) {
        const Directory* folder = file->asDirectory();
        if (folder == nullptr) continue;
        pending.emplace_back(folder, depthOf(*folder));
        while (!pending.empty()) {
            const auto [next, depth] = pending.back();
            pending.pop_back();
            candidates.push_back({next, depth, signatureOf(*next, mode)});
            for (const File* child : next->contents())
                if (const Directory* sub = child->asDirectory())
                    pending.emplace_back(sub, depth + 1);
        }
    }
    return candidates;
}

bool insideAny(const File& file, const std::unordered_set<const File*>& folders) {
    for (const File* up = &file; up != nullptr; up = up->parent())
        if (folders.contains(up)) return true;
    return false;
}

} // namespace

void TreeComparison::findRenames() {
    // A folder that went and one that came with the same contents are one folder that was
    // renamed or moved; where several could be the one, none is taken. The outermost are
    // taken first: what a renamed folder holds is paired with it.
    const std::vector<RenameCandidate> gone = renameCandidates(removed_, mode_);
    std::vector<RenameCandidate> came = renameCandidates(added_, mode_);
    std::unordered_map<ContentsSignature, std::vector<const File*>, SignatureHash> goneBySignature;
    for (const RenameCandidate& candidate : gone)
        goneBySignature[candidate.signature].push_back(candidate.folder);
    std::unordered_map<ContentsSignature, std::size_t, SignatureHash> cameCount;
    for (const RenameCandidate& candidate : came)
        ++cameCount[candidate.signature];
    std::ranges::stable_sort(came, {}, &RenameCandidate::depth);
    std::unordered_set<const File*> renamedBefore;
    std::unordered_set<const File*> renamedAfter;
    for (const RenameCandidate& candidate : came) {
        const auto found = goneBySignature.find(candidate.signature);
        if (found == goneBySignature.end() || found->second.size() != 1 ||
            cameCount[candidate.signature] != 1)
            continue;
        const File* before = found->second.front();
        const File* after = candidate.folder;
        if (insideAny(*before, renamedBefore) || insideAny(*after, renamedAfter)) continue;
        renamedBefore.insert(before);
        renamedAfter.insert(after);
        renames_.emplace_back(before, after);
    }
    // What moved into a folder that came (or out of one that went) is not new (or gone).
    const std::unordered_set<const File*> cameWhole(added_.begin(), added_.end());
    const std::unordered_set<const File*> wentWhole(removed_.begin(), removed_.end());
    auto outermostOf = [](const File* file, const std::unordered_set<const File*>& outermost) {
        for (const File* up = file; up != nullptr; up = up->parent())
            if (outermost.contains(up)) return up;
        return static_cast<const File*>(nullptr);
    };
    for (const auto& [before, after] : renames_) {
        if (const File* into = outermostOf(after->parent(), cameWhole))
            movedIntoAdded_[into] += after->size(mode_);
        if (const File* outOf = outermostOf(before->parent(), wentWhole))
            movedOutOfRemoved_[outOf] += before->size(mode_);
    }
    std::erase_if(removed_, [&](const File* file) { return renamedBefore.contains(file); });
    std::erase_if(added_, [&](const File* file) { return renamedAfter.contains(file); });
    // In the order the tree lists them, so that the changes come out the same each time.
    std::ranges::sort(renames_, [&](const auto& a, const auto& b) {
        return a.second->relativePath() < b.second->relativePath();
    });
    for (const auto& [before, after] : renames_) {
        pairs_.emplace_back(before, after);
        pairContents(*before->asDirectory(), *after->asDirectory());
    }
}

void TreeComparison::listChanges() {
    auto change = [&](ChangeKind kind, const File* before, const File* after) {
        changes_.push_back({kind, before, after, before ? before->size(mode_) : 0,
                            after ? after->size(mode_) : 0});
    };
    // The files that grew or shrank, in the later tree's order (its folders depth first).
    std::vector<const Directory*> pending{&after_};
    while (!pending.empty()) {
        const Directory* folder = pending.back();
        pending.pop_back();
        for (const File* file : folder->contents()) {
            const File* earlier = lookUp(byAfter_, *file);
            if (earlier == nullptr) continue; // came: listed whole below
            if (const Directory* sub = file->asDirectory()) {
                pending.push_back(sub);
                continue;
            }
            const std::int64_t was = earlier->size(mode_);
            const std::int64_t is = file->size(mode_);
            if (is != was) change(is > was ? ChangeKind::grown : ChangeKind::shrunk, earlier, file);
        }
    }
    for (const File* file : added_) {
        change(ChangeKind::added, nullptr, file);
        if (const auto moved = movedIntoAdded_.find(file); moved != movedIntoAdded_.end())
            changes_.back().sizeBefore = moved->second;
    }
    for (const File* file : removed_) {
        change(ChangeKind::removed, file, nullptr);
        if (const auto moved = movedOutOfRemoved_.find(file); moved != movedOutOfRemoved_.end())
            changes_.back().sizeAfter = moved->second;
    }
    for (const auto& [before, after] : renames_)
        change(ChangeKind::renamed, before, after);
    std::ranges::stable_sort(changes_, [](const EntryChange& a, const EntryChange& b) {
        return weightOf(a) > weightOf(b);
    });
    for (const EntryChange& listed : changes_) {
        switch (listed.kind) {
        case ChangeKind::grown:
            ++counts_.grown;
            break;
        case ChangeKind::shrunk:
            ++counts_.shrunk;
            break;
        case ChangeKind::added:
            ++counts_.added;
            break;
        case ChangeKind::removed:
            ++counts_.removed;
            break;
        case ChangeKind::renamed:
            ++counts_.renamed;
            break;
        case ChangeKind::unchanged:
            break;
        }
    }
}

bool TreeComparison::inBefore(const File& file) const {
    const File* top = &file;
    while (top->parent() != nullptr)
        top = top->parent();
    return top == &before_;
}

const File* TreeComparison::counterpart(const File& file) const {
    if (const File* later = lookUp(pairs_, file)) return later;
    return lookUp(byAfter_, file);
}

File* TreeComparison::counterpartOfShape(const File& file, bool merged) const {
    // The trees are the caller's, and not changed here: the pointers are handed back as given.
    if (!merged) return const_cast<File*>(counterpart(file));
    const Directory* parent = file.parent();
    const File* found = parent != nullptr ? counterpart(*parent) : nullptr;
    Directory* directory = found != nullptr ? const_cast<File*>(found)->asDirectory() : nullptr;
    return directory != nullptr ? &directory->mergedContents() : nullptr;
}

ChangeKind TreeComparison::changeOf(const File& file) const {
    const File* other = counterpart(file);
    if (other == nullptr) return inBefore(file) ? ChangeKind::removed : ChangeKind::added;
    const bool before = lookUp(pairs_, file) != nullptr;
    const File& earlier = before ? file : *other;
    const File& later = before ? *other : file;
    if (earlier.isDirectory() && earlier.path() != later.path()) return ChangeKind::renamed;
    if (earlier.parent() != nullptr && counterpart(*earlier.parent()) != later.parent())
        return ChangeKind::renamed; // moved to another folder
    const std::int64_t was = earlier.size(mode_);
    const std::int64_t is = later.size(mode_);
    return is > was ? ChangeKind::grown : is < was ? ChangeKind::shrunk : ChangeKind::unchanged;
}

std::int64_t TreeComparison::sizeBefore(const File& file) const {
    if (lookUp(pairs_, file) != nullptr) return file.size(mode_);
    if (const File* earlier = lookUp(byAfter_, file)) return earlier->size(mode_);
    return inBefore(file) ? file.size(mode_) : 0;
}

std::int64_t TreeComparison::sizeAfter(const File& file) const {
    if (lookUp(byAfter_, file) != nullptr) return file.size(mode_);
    if (const File* later = lookUp(pairs_, file)) return later->size(mode_);
    return inBefore(file) ? 0 : file.size(mode_);
}

std::vector<std::pair<std::string, std::string>> TreeComparison::renamedPaths() const {
    std::vector<std::pair<std::string, std::string>> paths;
    paths.reserve(renames_.size());
    for (const auto& [before, after] : renames_)
        paths.emplace_back(before->relativePath(), after->relativePath());
    return paths;
}

double changeStrength(const TreeComparison& comparison, const File& file) {
    const std::int64_t before = comparison.sizeBefore(file);
    const std::int64_t after = comparison.sizeAfter(file);
    const File* other = comparison.counterpart(file);
    if (other == nullptr) return comparison.changeOf(file) == ChangeKind::added ? 1.0 : -1.0;
    if (before == after) return 0;
    constexpr double kLeast = 0.25;
    const double share = static_cast<double>(std::abs(after - before)) /
                         static_cast<double>(std::max(before, after));
    const double strength = kLeast + (1 - kLeast) * std::sqrt(share);
    return after > before ? strength : -strength;
}

const char* changeKindName(ChangeKind kind) {
    switch (kind) {
    case ChangeKind::unchanged:
        return "unchanged";
    case ChangeKind::grown:
        return "grown";
    case ChangeKind::shrunk:
        return "shrunk";
    case ChangeKind::added:
        return "new";
    case ChangeKind::removed:
        return "gone";
    case ChangeKind::renamed:
        return "renamed";
    }
    return "unchanged";
}

} // namespace tessera
