#include "app/sequence/SequenceSelectionDialog.h"

#include "app/QtConversions.h"
#include "controller/FileController.h"
#include "model/Localization.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace tessera {
SequenceSelectionDialog::SequenceSelectionDialog(std::vector<SequenceCandidate> candidates,
                                                 QWidget* parent)
    : QDialog(parent), candidates_(std::move(candidates)), list_(new QListWidget(this)) {
    setWindowTitle(localizedQString("fileSequence.title"));
    auto* layout = new QVBoxLayout(this);
    auto* description = new QLabel(localizedQString("fileSequence.description"), this);
    description->setWordWrap(true);
    layout->addWidget(description);
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list_->setIconSize({24, 24});
    for (const SequenceCandidate& candidate : candidates_)
        new QListWidgetItem(candidate.icon, candidate.name, list_);
    layout->addWidget(list_);
    auto* buttons = new QDialogButtonBox(this);
    open_ = buttons->addButton(localizedQString("button.open"), QDialogButtonBox::AcceptRole);
    buttons->addButton(localizedQString("button.cancel"), QDialogButtonBox::RejectRole);
    open_->setEnabled(false);
    connect(list_, &QListWidget::itemSelectionChanged, this,
            [this] { open_->setEnabled(list_->selectedItems().size() >= 2); });
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    resize(420, 360);
}

std::vector<std::shared_ptr<FileController>> SequenceSelectionDialog::chosen() const {
    std::vector<std::shared_ptr<FileController>> trees;
    for (int row = 0; row < list_->count(); ++row) {
        const auto& controller = candidates_[static_cast<std::size_t>(row)].controller;
        if (list_->item(row)->isSelected() && controller && controller->loadedRootFile() != nullptr)
            trees.push_back(controller);
    }
    if (trees.size() < 2) trees.clear();
    return trees;
}

} // namespace tessera
