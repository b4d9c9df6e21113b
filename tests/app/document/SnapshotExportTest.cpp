// File > Export Snapshot: the save dialog with its form and properties, driven by keys and
// clicks; what it writes reads back, what it is told is remembered, and a key set that could
// not be read back is refused with the reason.
#include "app/AppHarness.h"
#include "app/AppTests.h"
#include "app/defaults/UserDefaults.h"
#include "snapshot/Snapshot.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>

namespace tessera::testing {
namespace {

QFileDialog* exportDialog() {
    return qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
}

QMessageBox* errorDialog() {
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* box = qobject_cast<QMessageBox*>(widget); box != nullptr && box->isVisible())
            return box;
    return nullptr;
}

// Ctrl+E in `window`, the form set by `choose`, written to `path`: the file's bytes.
QByteArray exported(DocumentWindow& window, const std::string& path,
                    std::function<void(QFileDialog&)> choose) {
    bool answered = false;
    answerSaveDialog(path, std::move(choose), answered);
    QTest::keyClick(&window, Qt::Key_E, Qt::ControlModifier);
    QFile written(QString::fromStdString(path));
    return answered && written.open(QIODevice::ReadOnly) ? written.readAll() : QByteArray();
}

class SnapshotExportTest final : public QObject {
    Q_OBJECT

private slots:
    void theChosenFormAndPropertiesAreWrittenAndRemembered() {
        TemporaryDirectory out;
        AppHarness harness(false,
                           {{QStringLiteral("exportFolder"), QString::fromStdString(out.path())}});
        DocumentWindow* window = harness.openSample();
        QVERIFY(window != nullptr);
        const QByteArray data = exported(*window, out / "home.fssnapshot", [](QFileDialog& dialog) {
            auto* format = dialog.findChild<QComboBox*>(QStringLiteral("exportFormat"));
            QVERIFY(format != nullptr);
            format->setFocus();
            QTest::keyClick(format, Qt::Key_Down); // TSV to JSON
            auto* allocated = dialog.findChild<QCheckBox*>(QStringLiteral("allocatedSize"));
            QVERIFY(allocated != nullptr && allocated->isChecked());
            QTest::mouseClick(allocated, Qt::LeftButton, {}, QPoint(6, allocated->height() / 2));
            QVERIFY(!allocated->isChecked());
        });
        QVERIFY(data.startsWith('{'));
        QVERIFY(!data.contains("allocatedSize"));
        auto root = Snapshot::loadRoot(std::string_view(data.constData(), data.size()));
        QVERIFY(root.has_value());
        QCOMPARE((*root)->size(), 105'000);

        const auto remembered = userDefaults();
        QCOMPARE(remembered->value(QStringLiteral("exportFormat")).toString(),
                 QStringLiteral("json"));
        QCOMPARE(remembered->value(QStringLiteral("exportedKeys")).toStringList(),
                 (QStringList{"name", "creationDate", "modificationDate", "size"}));
    }

    // ncdu's form, for ncdu and gdu: the folder's path names the root, and it reads back.
    void ncdusFormIsOffered() {
        TemporaryDirectory out;
        AppHarness harness(false,
                           {{QStringLiteral("exportFolder"), QString::fromStdString(out.path())}});
        DocumentWindow* window = harness.openSample();
        QVERIFY(window != nullptr);
        const QByteArray ncdu = exported(*window, out / "home.json", [](QFileDialog& dialog) {
            auto* format = dialog.findChild<QComboBox*>(QStringLiteral("exportFormat"));
            QVERIFY(format != nullptr);
            format->setFocus();
            QTest::keyClick(format, Qt::Key_End); // TSV, JSON, ncdu
            QCOMPARE(format->currentData().toString(), QStringLiteral("ncdu"));
        });
        QVERIFY(ncdu.startsWith('['));
        QVERIFY(ncdu.contains("\"name\":\"" +
                              QByteArray::fromStdString(harness.sampleFolder().path()) + "\""));
        auto ncduRoot = Snapshot::loadRoot(std::string_view(ncdu.constData(), ncdu.size()));
        QVERIFY(ncduRoot.has_value());
        QCOMPARE((*ncduRoot)->size(), 105'000);
    }

    // The first export starts in the home folder; the next one where the snapshot went. Ctrl+E
    // reaches the command from the search field too.
    void theDialogStartsAtHomeAndRemembersWhereTheSnapshotWent() {
        TemporaryDirectory out;
        const std::string folder = out.makeDirectory("chosen");
        AppHarness harness;
        DocumentWindow* window = harness.openSample();
        QVERIFY(window != nullptr);
        QLineEdit& field = window->searchField();
        field.setFocus();
        QTRY_VERIFY(field.hasFocus());
        bool answered = false;
        QString startedIn;
        QTimer::singleShot(0, [&] {
            QFileDialog* dialog = exportDialog();
            QVERIFY(dialog != nullptr);
            startedIn = dialog->directory().absolutePath();
            dialog->setDirectory(QString::fromStdString(folder)); // the user goes there
            auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            QVERIFY(name != nullptr);
            name->setFocus();
            name->selectAll();
            QTest::keyClicks(name, QStringLiteral("typed.fssnapshot"));
            answered = true;
            auto* buttons = dialog->findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
            QPushButton* save = buttons->button(QDialogButtonBox::Save);
            QTRY_VERIFY(save->isEnabled());
            QTest::mouseClick(save, Qt::LeftButton);
            if (dialog->isVisible()) {
                savePicture(dialog->grab().toImage(), "export-dialog-typed-path");
                dialog->reject();
            }
        });
        QTest::keyClick(&field, Qt::Key_E, Qt::ControlModifier);
        QVERIFY(answered);
        QCOMPARE(startedIn, QDir::homePath());
        QVERIFY(QFile::exists(QString::fromStdString(folder + "/typed.fssnapshot")));
        QCOMPARE(userDefaults()->value(QStringLiteral("exportFolder")).toString(),
                 QString::fromStdString(folder));
    }

    void aKeySetThatCouldNotBeReadBackIsRefused() {
        TemporaryDirectory out;
        AppHarness harness(false,
                           {{QStringLiteral("exportFolder"), QString::fromStdString(out.path())}});
        DocumentWindow* window = harness.openSample();
        QVERIFY(window != nullptr);
        const std::string path = out / "sizeless.fssnapshot";
        bool answered = false;
        answerSaveDialog(
            path,
            [](QFileDialog& dialog) {
                // TSV without any size: folders and files could not be told apart.
                for (const char* key : {"size", "allocatedSize"}) {
                    auto* box = dialog.findChild<QCheckBox*>(QString::fromLatin1(key));
                    QVERIFY(box != nullptr);
                    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
                }
            },
            answered);
        QTest::keyClick(window, Qt::Key_E, Qt::ControlModifier);
        QVERIFY(answered);
        QTRY_VERIFY(errorDialog() != nullptr);
        QVERIFY2(errorDialog()->text().contains(QStringLiteral("JSON")),
                 qPrintable(errorDialog()->text()));
        QVERIFY(!QFile::exists(QString::fromStdString(path)));
        errorDialog()->close();
    }
};

const RegisterAppTest<SnapshotExportTest> registered("SnapshotExportTest");

} // namespace
} // namespace tessera::testing

#include "SnapshotExportTest.moc"
