// Settings > Cleanups: the list of cleanups as a table (title, command line, whether to ask
// first), with rows added, removed and the defaults restored. OK keeps the list; rows without a
// title or a command are left out.
#pragma once

#include "cleanups/Cleanup.h"

#include <QDialog>
#include <vector>

class QTableWidget;

namespace tessera {

class CleanupsDialog final : public QDialog {
    Q_OBJECT

public:
    CleanupsDialog(const std::vector<Cleanup>& cleanups, QWidget* parent);

    /// The list as the table holds it.
    std::vector<Cleanup> cleanups() const;
    QTableWidget& table() const { return *table_; }

private:
    void show(const std::vector<Cleanup>& cleanups);
    void addRow(const Cleanup& cleanup);

    QTableWidget* table_;
};

} // namespace tessera
