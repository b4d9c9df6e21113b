// An editor of file predicates: a group ("all", "any" or "none" of its rows are true) holding
// rows that compare one property of a file with a value, and groups nested in it. The
// properties it offers are configurable: the exclusion filter of a favourite compares paths
// only.
#pragma once

#include <QWidget>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QLabel;

namespace tessera {

class Predicate;
class PredicateGroupWidget;

class FilePredicateEditor final : public QWidget {
    Q_OBJECT

public:
    /// Every property: path, size, allocatedSize, creationDate, modificationDate.
    static const std::vector<std::string>& allProperties();

    explicit FilePredicateEditor(QWidget* parent = nullptr);
    ~FilePredicateEditor() override;

    /// The properties rows may compare, in the order offered. Rebuilds the rows from the
    /// current predicate; rows of other properties are dropped.
    void setAllowedProperties(std::vector<std::string> properties);
    const std::vector<std::string>& allowedProperties() const { return allowedProperties_; }

    /// The predicate the rows describe; none while a row cannot make one (a regular
    /// expression that does not compile, a number that is not one).
    std::optional<Predicate> predicate() const;
    /// Shows `predicate`; null shows an empty "any" group.
    void setPredicate(const Predicate* predicate);
    /// Why predicate() is none, as the editor shows it under the rows; empty while it is one.
    QString problem() const;
    /// A row says why it cannot make a comparison (the first one said is shown).
    void noteProblem(const std::string& reason) const;

signals:
    void predicateChanged();

private:
    void showProblem();

    std::vector<std::string> allowedProperties_;
    PredicateGroupWidget* root_ = nullptr;
    QLabel* problemLabel_ = nullptr;
    mutable std::string problem_;
};

} // namespace tessera
