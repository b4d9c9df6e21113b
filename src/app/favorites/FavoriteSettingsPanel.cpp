#include "app/favorites/FavoriteSettingsPanel.h"

#include "app/QtConversions.h"
#include "app/widgets/FilePredicateEditor.h"
#include "favorites/Favorite.h"
#include "favorites/Predicate.h"
#include "model/Localization.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollArea>

namespace tessera {

FavoriteSettingsPanel::FavoriteSettingsPanel(Favorite& favorite, std::function<void()> rescan,
                                             QWidget* parent)
    : QDialog(parent), favorite_(favorite), rescan_(std::move(rescan)), linksBox_(new QCheckBox),
      filterBox_(new QCheckBox), editor_(new FilePredicateEditor) {
    setWindowTitle(toQString(localizedFormat("settings.title", favorite.name())));
    setObjectName(QStringLiteral("favoriteSettings"));
    linksBox_->setText(localizedQString("settings.countHardLinksOnce"));
    linksBox_->setChecked(favorite.countsHardLinksOnce());
    filterBox_->setText(localizedQString("settings.filter"));
    filterBox_->setChecked(favorite.isFilterPredicateEnabled());
    editor_->setAllowedProperties({"path"});
    editor_->setPredicate(favorite.filterPredicate().get());
    editor_->setEnabled(filterBox_->isChecked());
    // Switching the filter on without a predicate starts from the default one; a predicate
    // already there is kept.
    connect(filterBox_, &QCheckBox::toggled, this, [this](bool on) {
        editor_->setEnabled(on);
        const std::optional<Predicate> shown = editor_->predicate();
        const bool empty = shown && shown->isCompound() && shown->subpredicates().empty();
        if (on && empty && !favorite_.filterPredicate()) {
            const Predicate standard = Predicate::defaultExclusion();
            editor_->setPredicate(&standard);
        }
    });

    auto* scroll = new QScrollArea;
    scroll->setWidget(editor_);
    scroll->setWidgetResizable(true);
    scroll->setMinimumSize(520, 180);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(linksBox_);
    layout->addWidget(filterBox_);
    layout->addWidget(scroll, 1);
    layout->addWidget(buttons);
}

bool FavoriteSettingsPanel::apply() {
    favorite_.setCountsHardLinksOnce(linksBox_->isChecked());
    const bool wasEnabled = favorite_.isFilterPredicateEnabled();
    const std::shared_ptr<const Predicate> before = favorite_.filterPredicate();
    // Rows that cannot make a predicate leave the stored one as it was.
    const std::optional<Predicate> edited = editor_->predicate();
    const bool empty = edited && edited->isCompound() && edited->subpredicates().empty();
    if (edited && !(empty && !before) && (!before || !(*before == *edited)))
        favorite_.setFilterPredicate(std::make_shared<const Predicate>(*edited));
    favorite_.setFilterPredicateEnabled(filterBox_->isChecked());
    const auto active = [](bool on, const std::shared_ptr<const Predicate>& predicate) {
        return on ? predicate : nullptr;
    };
    const auto was = active(wasEnabled, before);
    const auto now = favorite_.activeExclusion();
    return (was == nullptr) != (now == nullptr) || (was && now && !(*was == *now));
}

void FavoriteSettingsPanel::done(int result) {
    const bool changed = apply();
    QDialog::done(result);
    if (!changed || favorite_.fileController() == nullptr) return;
    QMessageBox ask(QMessageBox::Question, windowTitle(),
                    toQString(localizedFormat("settings.filter.rescan", favorite_.name())),
                    QMessageBox::Cancel, parentWidget());
    QPushButton* scan =
        ask.addButton(localizedQString("settings.filter.scanNow"), QMessageBox::AcceptRole);
    ask.setDefaultButton(scan);
    ask.exec();
    if (ask.clickedButton() == scan) rescan_();
}

} // namespace tessera
