#include "app/cleanups/CleanupOutputWindow.h"

#include "app/QtConversions.h"
#include "base/Paths.h"
#include "cleanups/Cleanup.h"
#include "model/Localization.h"
#include "model/Utf8.h"

#include <QCloseEvent>
#include <QDialogButtonBox>
#include <QDir>
#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QProcess>
#include <QTimer>
#include <QVBoxLayout>

namespace tessera {

CleanupOutputWindow::CleanupOutputWindow(const Cleanup& cleanup, const std::string& path,
                                         std::function<void()> finished, QWidget* parent)
    : QDialog(parent), output_(new QPlainTextEdit(this)), process_(new QProcess(this)),
      finished_(std::move(finished)) {
    setObjectName(QStringLiteral("cleanupOutput"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(toQString(localizedFormat(
        "cleanup.output.title", {cleanup.title, toDisplayString(lastComponent(path))})));
    output_->setReadOnly(true);
    output_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    output_->setMinimumSize(560, 280);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(output_, 1);
    layout->addWidget(buttons);

    const std::string command = expandedCommand(cleanup, path);
    output_->appendPlainText(QStringLiteral("$ ") + toQString(toDisplayString(command)));
    output_->appendPlainText(QString()); // the output's own paragraph
    process_->setProcessChannelMode(QProcess::MergedChannels);
    connect(process_, &QProcess::readyRead, this, [this] {
        output_->moveCursor(QTextCursor::End);
        output_->insertPlainText(QString::fromLocal8Bit(process_->readAll()));
    });
    connect(process_, &QProcess::finished, this, [this](int code, QProcess::ExitStatus status) {
        end(status == QProcess::CrashExit
                ? localizedQString("cleanup.output.crashed")
                : toQString(localizedFormat("cleanup.output.finished", std::to_string(code))));
    });
    connect(process_, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            end(toQString(localizedFormat("cleanup.output.notStarted",
                                          process_->errorString().toStdString())));
    });
    // The shell reads the command line from a script, so that its bytes reach it as they are
    // (names need not be UTF-8, which arguments as text would not keep).
    script_.setFileTemplate(QDir::tempPath() + QStringLiteral("/tessera-cleanup-XXXXXX.sh"));
    if (!script_.open() ||
        script_.write(QByteArray::fromStdString("cd " + shellQuoted(parentPath(path)) +
                                                " || exit\n" + command + "\n")) < 0 ||
        !script_.flush()) {
        QTimer::singleShot(0, this, [this] {
            end(toQString(
                localizedFormat("cleanup.output.notStarted", script_.errorString().toStdString())));
        });
        return;
    }
    process_->start(QStringLiteral("/bin/sh"), {script_.fileName()});
}

void CleanupOutputWindow::closeEvent(QCloseEvent* event) {
    if (hasFinished()) {
        QDialog::closeEvent(event);
        return;
    }
    event->ignore();
    hide();
}

void CleanupOutputWindow::end(const QString& line) {
    if (!finished_) return;
    output_->appendPlainText(line);
    auto finished = std::move(finished_);
    finished_ = nullptr;
    finished();
    if (isHidden()) deleteLater(); // closed while the command ran
}

} // namespace tessera
