// The README's screenshot (scripts/screenshot): a window on a real folder with the pointer over
// its largest folder. Skipped unless TESSERA_SCREENSHOT_FOLDER names the folder.
#include "app/AppHarness.h"
#include "app/AppTests.h"
#include "controller/FileController.h"
#include "model/Directory.h"

#include <QTest>

namespace tessera::testing {
namespace {

class ScreenshotTest final : public QObject {
    Q_OBJECT

private slots:
    void windowOnAFolder() {
        const QByteArray folder = qgetenv("TESSERA_SCREENSHOT_FOLDER");
        if (folder.isEmpty()) QSKIP("TESSERA_SCREENSHOT_FOLDER is not set");
        AppHarness harness;
        DocumentWindow* window = harness.open(folder.toStdString());
        QVERIFY(window != nullptr);
        window->resize(900, 640);
        QTRY_COMPARE(window->size(), QSize(900, 640));
        QVERIFY(waitUntilAtRest(window->graph()));
        File* largest = nullptr;
        for (File* child : window->fileController()->rootFile()->displayedContents())
            if (child->isDirectory()) {
                largest = child;
                break;
            }
        QVERIFY(largest != nullptr);
        hover(window->graphViewController(),
              pointOf(window->graphViewController(), largest->relativePath()));
        QTRY_VERIFY(!window->graph().activeText().empty());
        QVERIFY(waitUntilHighlighted(window->graph()));
        savePicture(windowPicture(*window), "screenshot");
    }
};

const RegisterAppTest<ScreenshotTest> registered("ScreenshotTest");

} // namespace
} // namespace tessera::testing

#include "ScreenshotTest.moc"
