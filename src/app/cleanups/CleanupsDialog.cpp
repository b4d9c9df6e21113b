#include "app/cleanups/CleanupsDialog.h"

#include "app/QtConversions.h"
#include "model/Localization.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace tessera {

CleanupsDialog::CleanupsDialog(const std::vector<Cleanup>& cleanups, QWidget* parent)
    : QDialog(parent), table_(new QTableWidget(0, 3, this)) {
    setObjectName(QStringLiteral("cleanupsDialog"));
    setWindowTitle(localizedQString("cleanups.title"));
    table_->setHorizontalHeaderLabels({localizedQString("cleanups.column.title"),
                                       localizedQString("cleanups.column.command"),
                                       localizedQString("cleanups.column.dangerous")});
    table_->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);
    table_->verticalHeader()->hide();
    table_->setMinimumSize(720, 240);
    show(cleanups);

    auto* add = new QPushButton(localizedQString("cleanups.add"), this);
    auto* remove = new QPushButton(localizedQString("cleanups.remove"), this);
    auto* defaults = new QPushButton(localizedQString("cleanups.defaults"), this);
    connect(add, &QPushButton::clicked, this, [this] {
        addRow({});
        table_->setCurrentCell(table_->rowCount() - 1, 0);
        table_->editItem(table_->currentItem());
    });
    connect(remove, &QPushButton::clicked, this, [this] {
        if (table_->currentRow() >= 0) table_->removeRow(table_->currentRow());
    });
    connect(defaults, &QPushButton::clicked, this, [this] { show(defaultCleanups()); });
    auto* rowButtons = new QHBoxLayout;
    rowButtons->addWidget(add);
    rowButtons->addWidget(remove);
    rowButtons->addStretch(1);
    rowButtons->addWidget(defaults);

    auto* help = new QLabel(localizedQString("cleanups.help"), this);
    help->setWordWrap(true);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(help);
    layout->addWidget(table_, 1);
    layout->addLayout(rowButtons);
    layout->addWidget(buttons);
}

void CleanupsDialog::show(const std::vector<Cleanup>& cleanups) {
    table_->setRowCount(0);
    for (const Cleanup& cleanup : cleanups)
        addRow(cleanup);
    table_->resizeColumnToContents(0);
}

void CleanupsDialog::addRow(const Cleanup& cleanup) {
    const int row = table_->rowCount();
    table_->insertRow(row);
    table_->setItem(row, 0, new QTableWidgetItem(toQString(cleanup.title)));
    table_->setItem(row, 1, new QTableWidgetItem(toQString(cleanup.command)));
    auto* dangerous = new QTableWidgetItem;
    dangerous->setFlags(Qt::ItemIsUserCheckable | Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    dangerous->setCheckState(cleanup.dangerous ? Qt::Checked : Qt::Unchecked);
    table_->setItem(row, 2, dangerous);
}

std::vector<Cleanup> CleanupsDialog::cleanups() const {
    std::vector<Cleanup> list;
    for (int row = 0; row < table_->rowCount(); ++row) {
        const auto text = [&](int column) {
            const QTableWidgetItem* item = table_->item(row, column);
            return item != nullptr ? item->text().trimmed().toStdString() : std::string();
        };
        Cleanup cleanup{text(0), text(1),
                        table_->item(row, 2) != nullptr &&
                            table_->item(row, 2)->checkState() == Qt::Checked};
        if (!cleanup.title.empty() && !cleanup.command.empty()) list.push_back(std::move(cleanup));
    }
    return list;
}

} // namespace tessera
