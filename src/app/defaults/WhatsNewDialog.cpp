#include "app/defaults/WhatsNewDialog.h"

#include "app/QtConversions.h"
#include "model/Localization.h"

#include <QBoxLayout>
#include <QDialogButtonBox>
#include <QLabel>

namespace tessera {

WhatsNewDialog::WhatsNewDialog(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("whatsNew"));
    setWindowTitle(localizedQString("whatsNew.title"));
    setAttribute(Qt::WA_DeleteOnClose);
    auto* layout = new QVBoxLayout(this);
    for (const char* item : {"whatsNew.graphType", "whatsNew.colorMode", "whatsNew.fileSequence"}) {
        const std::string key(item);
        auto* title = new QLabel(localizedQString(key + ".title"));
        QFont bold = title->font();
        bold.setBold(true);
        title->setFont(bold);
        auto* description = new QLabel(localizedQString(key + ".description"));
        description->setWordWrap(true);
        layout->addWidget(title);
        layout->addWidget(description);
        layout->addSpacing(8);
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    layout->addWidget(buttons);
    setMinimumWidth(380);
}

} // namespace tessera
