#include "app/desktop/Terminal.h"

#include "app/QtConversions.h"
#include "logs/Logger.h"

#include <QProcess>
#include <QStandardPaths>
#include <QStringList>
#include <cstdlib>

namespace tessera {

namespace {

// The command to start, with its arguments, or none when no terminal is installed.
QStringList terminalCommand() {
    if (const char* chosen = std::getenv("TERMINAL"); chosen != nullptr && *chosen != '\0') {
        QStringList command = QProcess::splitCommand(QString::fromLocal8Bit(chosen));
        if (!command.isEmpty() && !QStandardPaths::findExecutable(command.front()).isEmpty())
            return command;
    }
    // The desktop's own first, then whatever else is installed.
    QStringList candidates{QStringLiteral("x-terminal-emulator")};
    const QString desktop = QString::fromLocal8Bit(qgetenv("XDG_CURRENT_DESKTOP")).toUpper();
    if (desktop.contains(QStringLiteral("KDE"))) candidates << QStringLiteral("konsole");
    if (desktop.contains(QStringLiteral("XFCE"))) candidates << QStringLiteral("xfce4-terminal");
    if (desktop.contains(QStringLiteral("MATE"))) candidates << QStringLiteral("mate-terminal");
    candidates << QStringLiteral("gnome-terminal") << QStringLiteral("kgx")
               << QStringLiteral("konsole") << QStringLiteral("xfce4-terminal")
               << QStringLiteral("mate-terminal") << QStringLiteral("lxterminal")
               << QStringLiteral("xterm");
    for (const QString& candidate : candidates)
        if (!QStandardPaths::findExecutable(candidate).isEmpty()) return {candidate};
    return {};
}

} // namespace

std::expected<void, std::string> openTerminalIn(const std::string& folder) {
    QStringList command = terminalCommand();
    if (command.isEmpty())
        return std::unexpected(std::string("No terminal is installed (set $TERMINAL, or install "
                                           "one that provides x-terminal-emulator)."));
    const QString program = command.takeFirst();
    Logger::log(2, "Open terminal: " + program.toStdString() + " in " + folder);
    // Every terminal starts its shell in its own working folder.
    if (!QProcess::startDetached(program, command, toQString(folder)))
        return std::unexpected("Cannot start " + program.toStdString() + ".");
    return {};
}

} // namespace tessera
