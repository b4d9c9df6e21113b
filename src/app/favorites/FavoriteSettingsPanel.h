// A favourite's settings: the exclusion filter its scans honour, switched on by a check box and
// edited as predicates over paths. Closing applies what the rows describe; a changed filter
// takes effect at the next scan, which the panel offers to start.
#pragma once

#include <QDialog>
#include <functional>

class QCheckBox;

namespace tessera {

class Favorite;
class FilePredicateEditor;

class FavoriteSettingsPanel final : public QDialog {
public:
    /// `rescan` starts a new scan of the favourite's location.
    FavoriteSettingsPanel(Favorite& favorite, std::function<void()> rescan,
                          QWidget* parent = nullptr);

    QCheckBox& filterBox() const { return *filterBox_; }
    QCheckBox& linksBox() const { return *linksBox_; }
    FilePredicateEditor& editor() const { return *editor_; }

    void done(int result) override;

private:
    /// Puts the panel's settings into the favourite; true when the filter changed (the counting
    /// of hard links applies at once).
    bool apply();

    Favorite& favorite_;
    std::function<void()> rescan_;
    QCheckBox* linksBox_;
    QCheckBox* filterBox_;
    FilePredicateEditor* editor_;
};

} // namespace tessera
