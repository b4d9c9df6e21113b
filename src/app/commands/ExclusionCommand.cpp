#include "app/commands/ExclusionCommand.h"

#include "app/QtConversions.h"
#include "base/Paths.h"
#include "favorites/Favorite.h"
#include "model/Localization.h"
#include "model/Utf8.h"

namespace tessera {

ExclusionCommand::ExclusionCommand(std::shared_ptr<Favorite> favorite, std::string path,
                                   Applied applied)
    : favorite_(std::move(favorite)), path_(std::move(path)), applied_(std::move(applied)),
      before_(favorite_->filterPredicate()), wasEnabled_(favorite_->isFilterPredicateEnabled()) {
    setText(toQString(
        localizedFormat("menu.edit.undo.exclude", toDisplayString(lastComponent(path_)))));
}

void ExclusionCommand::redo() {
    // The filter as it was is kept whole (the predicate is shared, never changed in place).
    wokeOthers_ = favorite_->addExcludedPath(path_);
    applied_(path_, wokeOthers_);
}

void ExclusionCommand::undo() {
    favorite_->setFilterPredicate(before_);
    favorite_->setFilterPredicateEnabled(wasEnabled_);
    applied_(path_, wokeOthers_);
}

} // namespace tessera
