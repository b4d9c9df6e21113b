#include "app/widgets/FilePredicateEditor.h"

#include "app/QtConversions.h"
#include "favorites/Predicate.h"

#include <QBoxLayout>
#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpressionValidator>
#include <QTimeZone>
#include <QToolButton>
#include <stdexcept>

namespace tessera {

using Operator = Predicate::Operator;

namespace {

struct PropertyInfo {
    const char* key;
    const char* title;
    std::vector<std::pair<Operator, const char*>> operators;
};

const std::vector<PropertyInfo>& properties() {
    static const std::vector<PropertyInfo> table{
        {"path",
         "Path",
         {{Operator::equalTo, "is"},
          {Operator::notEqualTo, "is not"},
          {Operator::contains, "contains"},
          {Operator::beginsWith, "begins with"},
          {Operator::endsWith, "ends with"},
          {Operator::matches, "matches"}}},
        {"size",
         "Size (bytes)",
         {{Operator::lessThan, "is less than"}, {Operator::greaterThan, "is greater than"}}},
        {"allocatedSize",
         "Allocated size (bytes)",
         {{Operator::lessThan, "is less than"}, {Operator::greaterThan, "is greater than"}}},
        {"creationDate",
         "Created",
         {{Operator::lessThan, "is before"}, {Operator::greaterThan, "is after"}}},
        {"modificationDate",
         "Modified",
         {{Operator::lessThan, "is before"}, {Operator::greaterThan, "is after"}}},
    };
    return table;
}

const PropertyInfo& propertyNamed(std::string_view key) {
    for (const PropertyInfo& info : properties())
        if (info.key == key) return info;
    throw std::invalid_argument("no such property: " + std::string(key));
}

QToolButton* smallButton(const QString& text, const QString& tip) {
    auto* button = new QToolButton;
    button->setText(text);
    button->setToolTip(tip);
    button->setAccessibleName(tip);
    button->setAutoRaise(true);
    return button;
}

} // namespace

/// One comparison: property, operator, value.
class PredicateRowWidget final : public QWidget {
public:
    PredicateRowWidget(const std::vector<std::string>& allowed, FilePredicateEditor& editor)
        : editor_(editor), property_(new QComboBox), operator_(new QComboBox), text_(new QLineEdit),
          date_(new QDateEdit) {
        for (const std::string& key : allowed)
            property_->addItem(QString::fromUtf8(propertyNamed(key).title), toQString(key));
        date_->setCalendarPopup(true);
        date_->setDate(QDate::currentDate());
        // Named for screen readers, which would read a combo box by its current item alone.
        property_->setAccessibleName(QStringLiteral("Property"));
        operator_->setAccessibleName(QStringLiteral("Comparison"));
        text_->setAccessibleName(QStringLiteral("Value"));
        date_->setAccessibleName(QStringLiteral("Date"));
        remove_ = smallButton(QStringLiteral("\u2212"), QStringLiteral("Remove this row"));
        auto* layout = new QHBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(property_);
        layout->addWidget(operator_);
        layout->addWidget(text_, 1);
        layout->addWidget(date_, 1);
        layout->addWidget(remove_);
        connect(property_, &QComboBox::currentIndexChanged, this, [this] {
            fillOperators();
            emit editor_.predicateChanged();
        });
        connect(operator_, &QComboBox::currentIndexChanged, &editor_,
                &FilePredicateEditor::predicateChanged);
        connect(text_, &QLineEdit::textChanged, &editor_, &FilePredicateEditor::predicateChanged);
        connect(date_, &QDateEdit::dateChanged, &editor_, &FilePredicateEditor::predicateChanged);
        fillOperators();
    }

    QToolButton* removeButton() const { return remove_; }
    std::string key() const { return toPath(property_->currentData().toString()); }

    void show(const Predicate& comparison) {
        property_->setCurrentIndex(property_->findData(toQString(comparison.key())));
        operator_->setCurrentIndex(operator_->findData(static_cast<int>(comparison.op())));
        if (const auto* text = std::get_if<std::string>(&comparison.value()))
            text_->setText(toQString(*text));
        else if (const auto* number = std::get_if<std::int64_t>(&comparison.value()))
            text_->setText(QString::number(*number));
        else if (const auto* date = std::get_if<Date>(&comparison.value()))
            date_->setDate(QDateTime::fromSecsSinceEpoch(date->seconds, QTimeZone::utc()).date());
    }

    std::optional<Predicate> predicate() const {
        const std::string property = key();
        const auto op = static_cast<Operator>(operator_->currentData().toInt());
        if (Predicate::isDateKey(property)) {
            const QDateTime start(date_->date(), QTime(0, 0), QTimeZone::utc());
            auto made = Predicate::comparison(property, op,
                                              Date::fromUnixSeconds(start.toSecsSinceEpoch()));
            if (!made) return markInvalid(made.error().message);
            return markValid(std::move(*made));
        }
        bool ok = true;
        const qlonglong bytes = text_->text().toLongLong(&ok);
        if (Predicate::isIntegerKey(property) && !ok)
            return markInvalid("\u201c" + toPath(text_->text()) + "\u201d is not a whole number");
        auto made = Predicate::isIntegerKey(property)
                        ? Predicate::comparison(property, op, std::int64_t{bytes})
                        : Predicate::comparison(property, op, toPath(text_->text()),
                                                Predicate::caseInsensitive |
                                                    Predicate::diacriticInsensitive);
        if (!made) return markInvalid(made.error().message);
        return markValid(std::move(*made));
    }

private:
    void fillOperators() {
        const PropertyInfo& info = propertyNamed(key());
        const QVariant previous = operator_->currentData();
        const QSignalBlocker blocker(operator_);
        operator_->clear();
        for (const auto& [op, title] : info.operators)
            operator_->addItem(QString::fromUtf8(title), static_cast<int>(op));
        if (const int kept = operator_->findData(previous); kept >= 0)
            operator_->setCurrentIndex(kept);
        const bool isDate = Predicate::isDateKey(info.key);
        text_->setVisible(!isDate);
        date_->setVisible(isDate);
        text_->setValidator(Predicate::isIntegerKey(info.key)
                                ? new QRegularExpressionValidator(
                                      QRegularExpression(QStringLiteral("[0-9]{1,18}")), text_)
                                : nullptr);
    }
    std::optional<Predicate> markValid(Predicate predicate) const {
        text_->setStyleSheet({});
        text_->setToolTip({});
        return predicate;
    }
    // The row cannot be used as it stands: its text turns red and the editor says why.
    std::optional<Predicate> markInvalid(const std::string& reason) const {
        text_->setStyleSheet(QStringLiteral("QLineEdit { color: #c01c28; }"));
        text_->setToolTip(toQString(reason));
        editor_.noteProblem(reason);
        return std::nullopt;
    }

    FilePredicateEditor& editor_;
    QComboBox* property_;
    QComboBox* operator_;
    QLineEdit* text_;
    QDateEdit* date_;
    QToolButton* remove_ = nullptr;
};

/// A group: all, any or none of its rows and nested groups.
class PredicateGroupWidget final : public QWidget {
public:
    PredicateGroupWidget(const std::vector<std::string>& allowed, FilePredicateEditor& editor,
                         bool nested)
        : allowed_(allowed), editor_(editor), type_(new QComboBox), rows_(new QVBoxLayout) {
        type_->addItem(QStringLiteral("Any"), static_cast<int>(Predicate::CompoundType::orType));
        type_->addItem(QStringLiteral("All"), static_cast<int>(Predicate::CompoundType::andType));
        type_->addItem(QStringLiteral("None"), static_cast<int>(Predicate::CompoundType::notType));
        type_->setAccessibleName(QStringLiteral("How many of the following must be true"));
        auto* header = new QHBoxLayout;
        header->setContentsMargins(0, 0, 0, 0);
        header->addWidget(type_);
        header->addWidget(new QLabel(QStringLiteral("of the following are true")), 1);
        auto* addRow = smallButton(QStringLiteral("+"), QStringLiteral("Add a row"));
        auto* addGroup = smallButton(QStringLiteral("+ ( )"), QStringLiteral("Add a group"));
        header->addWidget(addRow);
        header->addWidget(addGroup);
        if (nested) {
            remove_ = smallButton(QStringLiteral("\u2212"), QStringLiteral("Remove this group"));
            header->addWidget(remove_);
        }
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(nested ? 18 : 0, 0, 0, 0);
        layout->addLayout(header);
        rows_->setContentsMargins(18, 0, 0, 0);
        layout->addLayout(rows_);
        connect(type_, &QComboBox::currentIndexChanged, &editor_,
                &FilePredicateEditor::predicateChanged);
        connect(addRow, &QToolButton::clicked, this, [this] {
            add(nullptr);
            emit editor_.predicateChanged();
        });
        connect(addGroup, &QToolButton::clicked, this, [this] {
            addNestedGroup(nullptr);
            emit editor_.predicateChanged();
        });
    }

    QToolButton* removeButton() const { return remove_; }

    void show(const Predicate* predicate) {
        while (QLayoutItem* item = rows_->takeAt(0)) {
            delete item->widget();
            delete item;
        }
        if (predicate == nullptr) {
            type_->setCurrentIndex(0);
            return;
        }
        // "None of" rows is not(any of rows); a lone comparison is a group of one.
        Predicate::CompoundType type = Predicate::CompoundType::orType;
        const Predicate* group = predicate;
        if (predicate->isCompound() &&
            predicate->compoundType() == Predicate::CompoundType::notType) {
            type = Predicate::CompoundType::notType;
            group = &predicate->subpredicates().front();
        } else if (predicate->isCompound()) {
            type = predicate->compoundType();
        }
        type_->setCurrentIndex(type_->findData(static_cast<int>(type)));
        if (!group->isCompound() || (type == Predicate::CompoundType::notType &&
                                     group->compoundType() == Predicate::CompoundType::notType)) {
            add(group);
            return;
        }
        for (const Predicate& part : group->subpredicates())
            add(&part);
    }

    std::optional<Predicate> predicate() const {
        std::vector<Predicate> parts;
        bool complete = true;
        for (int i = 0; i < rows_->count(); ++i) {
            QWidget* child = rows_->itemAt(i)->widget();
            std::optional<Predicate> part;
            if (auto* row = dynamic_cast<PredicateRowWidget*>(child))
                part = row->predicate();
            else if (auto* nested = dynamic_cast<PredicateGroupWidget*>(child))
                part = nested->predicate();
            if (part)
                parts.push_back(std::move(*part));
            else
                complete = false;
        }
        if (!complete) return std::nullopt;
        const auto type = static_cast<Predicate::CompoundType>(type_->currentData().toInt());
        auto group = Predicate::compound(
            type == Predicate::CompoundType::notType ? Predicate::CompoundType::orType : type,
            std::move(parts));
        if (group && type == Predicate::CompoundType::notType) {
            std::vector<Predicate> one;
            one.push_back(std::move(*group));
            group = Predicate::compound(type, std::move(one));
        }
        if (!group) return std::nullopt;
        return std::move(*group);
    }

private:
    void add(const Predicate* predicate) {
        if (predicate != nullptr && predicate->isCompound()) {
            addNestedGroup(predicate);
            return;
        }
        if (predicate != nullptr && std::ranges::find(allowed_, predicate->key()) == allowed_.end())
            return;
        auto* row = new PredicateRowWidget(allowed_, editor_);
        if (predicate != nullptr) row->show(*predicate);
        connect(row->removeButton(), &QToolButton::clicked, this, [this, row] {
            row->deleteLater();
            rows_->removeWidget(row);
            emit editor_.predicateChanged();
        });
        rows_->addWidget(row);
    }
    void addNestedGroup(const Predicate* predicate) {
        auto* group = new PredicateGroupWidget(allowed_, editor_, true);
        group->show(predicate);
        connect(group->removeButton(), &QToolButton::clicked, this, [this, group] {
            group->deleteLater();
            rows_->removeWidget(group);
            emit editor_.predicateChanged();
        });
        rows_->addWidget(group);
    }

    const std::vector<std::string>& allowed_;
    FilePredicateEditor& editor_;
    QComboBox* type_;
    QVBoxLayout* rows_;
    QToolButton* remove_ = nullptr;
};

const std::vector<std::string>& FilePredicateEditor::allProperties() {
    static const std::vector<std::string> all{"path", "size", "allocatedSize", "creationDate",
                                              "modificationDate"};
    return all;
}

FilePredicateEditor::FilePredicateEditor(QWidget* parent)
    : QWidget(parent), allowedProperties_(allProperties()) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    root_ = new PredicateGroupWidget(allowedProperties_, *this, false);
    layout->addWidget(root_);
    // Why the rows are not used while one cannot be: said, not dropped silently.
    problemLabel_ = new QLabel(this);
    problemLabel_->setObjectName(QStringLiteral("predicateProblem"));
    problemLabel_->setWordWrap(true);
    problemLabel_->setContentsMargins(4, 2, 4, 2);
    problemLabel_->setStyleSheet(QStringLiteral("QLabel { color: #c01c28; }"));
    problemLabel_->hide();
    layout->addWidget(problemLabel_);
    layout->addStretch();
    connect(this, &FilePredicateEditor::predicateChanged, this, &FilePredicateEditor::showProblem);
}

FilePredicateEditor::~FilePredicateEditor() = default;

void FilePredicateEditor::setAllowedProperties(std::vector<std::string> properties) {
    for (const std::string& property : properties)
        (void)propertyNamed(property); // an unknown property is a programming error
    const std::optional<Predicate> shown = predicate();
    allowedProperties_ = std::move(properties);
    setPredicate(shown ? &*shown : nullptr);
}

std::optional<Predicate> FilePredicateEditor::predicate() const {
    problem_.clear();
    return root_->predicate();
}

QString FilePredicateEditor::problem() const {
    return problemLabel_->isHidden() ? QString() : problemLabel_->text();
}

void FilePredicateEditor::noteProblem(const std::string& reason) const {
    if (problem_.empty()) problem_ = reason;
}

void FilePredicateEditor::showProblem() {
    const bool usable = predicate().has_value();
    problemLabel_->setVisible(!usable && !problem_.empty());
    problemLabel_->setText(
        toQString(localizedFormat("predicateEditor.notKept", problem_.empty() ? "" : problem_)));
}

void FilePredicateEditor::setPredicate(const Predicate* predicate) {
    {
        const QSignalBlocker blocker(this);
        root_->show(predicate);
    }
    emit predicateChanged();
}

} // namespace tessera
