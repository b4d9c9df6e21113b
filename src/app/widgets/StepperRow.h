// A menu row of three small buttons (decrease, increase, reset) after a title, each button the
// face of a command: the buttons follow their commands' enabling, and the row is shown while
// the increase command is.
#pragma once

#include <QString>

class QAction;
class QMenu;

namespace tessera {

void addStepperRow(QMenu& menu, const QString& title, QAction* decrease, QAction* increase,
                   QAction* reset);

} // namespace tessera
