// The window a cleanup runs in: the command line it runs, then its output (standard output and
// errors as they come), then how it ended. Closing the window does not stop the command.
#pragma once

#include <QDialog>
#include <QTemporaryFile>
#include <functional>
#include <string>

class QPlainTextEdit;
class QProcess;

namespace tessera {

struct Cleanup;

class CleanupOutputWindow final : public QDialog {
    Q_OBJECT

public:
    /// Runs `cleanup` on the entry at the absolute `path` through the shell, in the folder
    /// that holds it; `finished` runs once it ended (or could not start).
    CleanupOutputWindow(const Cleanup& cleanup, const std::string& path,
                        std::function<void()> finished, QWidget* parent);

    QPlainTextEdit& output() const { return *output_; }
    /// True once the command ended.
    bool hasFinished() const { return finished_ == nullptr; }

protected:
    /// Closed while the command runs, the window only hides: the command goes on, the folder is
    /// measured again when it ends, and the window goes then.
    void closeEvent(QCloseEvent* event) override;

private:
    void end(const QString& line);

    QPlainTextEdit* output_;
    QProcess* process_;
    QTemporaryFile script_;
    std::function<void()> finished_;
};

} // namespace tessera
