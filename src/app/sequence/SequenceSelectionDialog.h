// Chooses the trees to compare: one row per opened tree, several rows selected in the list's
// order. Open is enabled while two rows or more are selected.
#pragma once

#include <QDialog>
#include <QIcon>
#include <memory>
#include <vector>

class QListWidget;
class QPushButton;

namespace tessera {

class FileController;

struct SequenceCandidate {
    QString name;
    QIcon icon;
    std::shared_ptr<FileController> controller;
};

class SequenceSelectionDialog final : public QDialog {
public:
    SequenceSelectionDialog(std::vector<SequenceCandidate> candidates, QWidget* parent);

    /// The chosen rows' controllers in the list's order, leaving out those that lost their
    /// tree meanwhile; empty when fewer than two remain.
    std::vector<std::shared_ptr<FileController>> chosen() const;
    QListWidget& list() const { return *list_; }
    QPushButton& openButton() const { return *open_; }

private:
    std::vector<SequenceCandidate> candidates_;
    QListWidget* list_;
    QPushButton* open_;
};

} // namespace tessera
