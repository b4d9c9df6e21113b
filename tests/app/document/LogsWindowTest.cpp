// The log window: opened from a document window's menu shortcut, listing the log's errors or
// every line, filtered by text, with the selected line's full text below; Qt's model checker
// watches lines arriving and an hour's pruning.
#include "app/AppHarness.h"
#include "app/AppTests.h"
// Not for moc, which cannot read the standard library's concepts these headers pull in.
#ifndef Q_MOC_RUN
#include "app/document/LogsWindow.h"
#include "logs/LogController.h"
#endif

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QTest>
#include <cerrno>

namespace tessera::testing {
namespace {

LogsWindow* logsWindow() {
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* window = dynamic_cast<LogsWindow*>(widget); window && window->isVisible())
            return window;
    return nullptr;
}

class LogsWindowTest final : public QObject {
    Q_OBJECT

private slots:
    void theLogShowsErrorsOrEveryLineFilteredByText() {
        AppHarness harness;
        DocumentWindow* document = harness.openSample();
        QVERIFY(document != nullptr);
        LogController& log = LogController::shared();
        log.prune(LogLine::Clock::now() + std::chrono::hours(2)); // what earlier tests left
        log.add(LogLine::scanError("/srv/private", LogLine::Error::posix(EACCES)));
        log.add(LogLine::scanStart("/srv"));
        log.add(LogLine::scanError("/srv/gone", LogLine::Error::posix(ENOENT)));

        QTest::keyClick(document, Qt::Key_L, Qt::ControlModifier | Qt::AltModifier);
        LogsWindow* window = logsWindow();
        QVERIFY(window != nullptr);
        QAbstractItemModelTester checker(window->list().model(),
                                         QAbstractItemModelTester::FailureReportingMode::QtTest);
        QAbstractItemModel& rows = *window->list().model();
        QCOMPARE(rows.rowCount(), 2); // the errors
        QVERIFY(rows.data(rows.index(0, 0)).toString().contains(QStringLiteral("/srv/private")));

        // New errors arrive while it is open; the text filter narrows the list.
        log.add(LogLine::scanError("/srv/later", LogLine::Error::posix(EIO)));
        QCOMPARE(rows.rowCount(), 3);
        QTest::keyClicks(&window->filterField(), QStringLiteral("gone"));
        QCOMPARE(rows.rowCount(), 1);
        QTest::mouseClick(window->list().viewport(), Qt::LeftButton, {},
                          window->list().visualRect(rows.index(0, 0)).center());
        QVERIFY2(window->detail().text().contains(QStringLiteral("/srv/gone")),
                 qPrintable(window->detail().text()));

        // Every line: the scan's start too, and scans describe each entry meanwhile.
        window->filterField().clear();
        window->kindChoice().setFocus();
        QTest::keyClick(&window->kindChoice(), Qt::Key_Down);
        QCOMPARE(rows.rowCount(), 4);
        QVERIFY(LogController::detailedLogging);
        savePicture(window->grab().toImage(), "logs");

        // An hour later the lines are gone.
        log.prune(LogLine::Clock::now() + std::chrono::hours(2));
        QCOMPARE(rows.rowCount(), 0);
        window->close();
        QTRY_VERIFY(logsWindow() == nullptr);
        QVERIFY(!LogController::detailedLogging);

        // With Shift held the same command shows every line at once.
        document->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(document));
        QTest::keyClick(document, Qt::Key_L,
                        Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier);
        QTRY_VERIFY(logsWindow() != nullptr);
        QCOMPARE(logsWindow()->kindChoice().currentIndex(), 1);
        QVERIFY(LogController::detailedLogging);
        logsWindow()->close();
    }
};

const RegisterAppTest<LogsWindowTest> registered("LogsWindowTest");

} // namespace
} // namespace tessera::testing

#include "LogsWindowTest.moc"
