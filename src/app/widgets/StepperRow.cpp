#include "app/widgets/StepperRow.h"

#include <QAction>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QToolButton>
#include <QWidgetAction>

namespace tessera {

void addStepperRow(QMenu& menu, const QString& title, QAction* decrease, QAction* increase,
                   QAction* reset) {
    auto* row = new QWidget(&menu);
    auto* layout = new QHBoxLayout(row);
    // Lined up with the menu's item texts.
    layout->setContentsMargins(28, 2, 8, 2);
    auto* label = new QLabel(title, row);
    layout->addWidget(label, 1);
    for (QAction* action : {decrease, increase, reset}) {
        auto* button = new QToolButton(row);
        button->setDefaultAction(action);
        button->setAutoRaise(true);
        button->setAccessibleName(title + QStringLiteral(": ") + action->text());
        layout->addWidget(button);
    }
    auto* item = new QWidgetAction(&menu);
    item->setDefaultWidget(row);
    item->setObjectName(increase->objectName() + QStringLiteral("Row"));
    menu.addAction(item);
    QObject::connect(increase, &QAction::visibleChanged, item,
                     [item, increase] { item->setVisible(increase->isVisible()); });
}

} // namespace tessera
