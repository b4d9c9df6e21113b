// File > Save Picture: the graph as the window shows it (zoomed into a folder, the bubble left
// out), as SVG shapes that parse as XML, one for each sector drawn, or as a PNG of the view's
// size; driven through the menu and the save dialog.
#include "app/AppHarness.h"
#include "app/AppTests.h"
#include "app/defaults/UserDefaults.h"
#include "app/graphview/GraphViewController.h"

#include <QFile>
#include <QFileDialog>
#include <QImage>
#include <QMenu>
#include <QTest>
#include <QXmlStreamReader>

namespace tessera::testing {
namespace {

QByteArray contents(const std::string& path) {
    QFile file(QString::fromStdString(path));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class PictureExportTest final : public QObject {
    Q_OBJECT

private slots:
    void thePictureAsShownIsSavedAsSvgOrPng() {
        AppHarness harness;
        DocumentWindow* window = harness.openSample();
        QVERIFY(window != nullptr);
        GraphViewController& view = window->graphViewController();
        TemporaryDirectory pictures;
        userDefaults()->setValue(QStringLiteral("pictureFolder"),
                                 QString::fromStdString(pictures.path()));

        // Zoomed into "music" (c, deep and deep/d), the pointer on "c".
        QTest::mouseClick(window->windowHandle(), Qt::LeftButton, {},
                          view.view()->mapTo(window, pointOf(view, "music")));
        QTRY_COMPARE(window->graph().file()->path(), std::string_view("music"));
        QVERIFY(waitUntilAtRest(window->graph()));
        hover(view, pointOf(view, "music/c"));
        QVERIFY(waitUntilHighlighted(window->graph()));

        const auto save = [&](const std::string& name, const QString& filter) {
            bool answered = false;
            answerSaveDialog(
                pictures / name,
                [&filter](QFileDialog& dialog) {
                    dialog.selectNameFilter(filter);
                    emit dialog.filterSelected(filter);
                },
                answered);
            // File > Save Picture, from the keyboard, the window active again after a dialog.
            window->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(window));
            QTest::keyClick(window, Qt::Key_F, Qt::AltModifier);
            QMenu* file = menuTitled(*window, QStringLiteral("File"));
            QTRY_VERIFY(file->isVisible());
            QTest::keyClick(file, Qt::Key_U);
            QTRY_VERIFY(answered);
        };
        save("music", QStringLiteral("SVG image (*.svg)"));
        const QByteArray svg = contents(pictures / "music.svg");
        QVERIFY(!svg.isEmpty());
        QXmlStreamReader reader(svg);
        int sectors = 0;
        QStringList texts;
        while (!reader.atEnd()) {
            if (reader.readNext() != QXmlStreamReader::StartElement) continue;
            if (reader.name() == QStringLiteral("path") &&
                reader.attributes().value("fill-rule") == QStringLiteral("evenodd"))
                ++sectors;
            if (reader.name() == QStringLiteral("text"))
                texts << reader.readElementText(QXmlStreamReader::IncludeChildElements);
        }
        QVERIFY2(!reader.hasError(), qPrintable(reader.errorString()));
        QCOMPARE(sectors, 3);
        QVERIFY2(texts.contains(QStringLiteral("40 KB")), qPrintable(texts.join(", ")));
        QVERIFY(svg.contains(QByteArray("width=\"") + QByteArray::number(view.view()->width())));

        // Without the pointer on the picture, the same picture: no bubble was in it.
        hover(view, QPoint(2, 2));
        QTRY_VERIFY(window->graph().activeFile() == nullptr);
        save("music-again.svg", QStringLiteral("SVG image (*.svg)"));
        QCOMPARE(contents(pictures / "music-again.svg"), svg);

        // PNG, the view's size.
        save("music.png", QStringLiteral("PNG image (*.png)"));
        const QImage png(QString::fromStdString(pictures / "music.png"));
        QCOMPARE(png.size(), view.view()->size());
        savePicture(png, "saved-picture");
    }
};

const RegisterAppTest<PictureExportTest> registered("PictureExportTest");

} // namespace
} // namespace tessera::testing

#include "PictureExportTest.moc"
