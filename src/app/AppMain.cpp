#include "app/AppMain.h"

#include "app/DocumentController.h"
#include "app/DocumentWindow.h"
#include "app/FavoritesWindow.h"
#include "app/MainQueuePump.h"
#include "app/OpenGLProbe.h"
#include "app/QtConversions.h"
#include "app/SingleInstance.h"
#include "cli/CommandLine.h"
#include "logs/LogController.h"
#include "logs/Logger.h"
#include "platform/MainQueue.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QSurfaceFormat>
#include <QTimer>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace tessera {
namespace {

struct Arguments {
    AppOptions options;
    std::vector<std::string> paths;
    /// --sequence: the paths are one sequence of trees to compare, opened by this process.
    bool sequence = false;
    bool newInstance = false;
    bool dbusActivated = false;
    std::string error;
};

// Paths are handed to a running instance, whose working folder may differ.
std::string absolute(const std::string& path) {
    if (path.starts_with('/')) return path;
    const QByteArray current = QFile::encodeName(QDir::currentPath());
    return current.toStdString() + "/" + path;
}

Arguments parseArguments(const QStringList& list) {
    Arguments arguments;
    for (qsizetype i = 1; i < list.size(); ++i) {
        const QString& argument = list[i];
        if (argument == QStringLiteral("--software-rendering")) {
            arguments.options.softwareRendering = true;
        } else if (argument == QStringLiteral("--sequence")) {
            arguments.sequence = true;
        } else if (argument == QStringLiteral("--new-instance")) {
            arguments.newInstance = true;
        } else if (argument == QStringLiteral("--dbus-activated")) {
            arguments.dbusActivated = true;
        } else if (argument == QStringLiteral("--home")) {
            arguments.paths.push_back(toPath(QDir::homePath()));
        } else if (argument == QStringLiteral("-log") && i + 1 < list.size()) {
            ++i; // read by the logger
        } else if (argument == QStringLiteral("--")) {
            for (++i; i < list.size(); ++i)
                arguments.paths.push_back(toPath(list[i]));
        } else if (argument.startsWith(QLatin1Char('-'))) {
            arguments.error = "unknown option " + argument.toStdString();
        } else if (argument.startsWith(QStringLiteral("file:"))) {
            // Launchers pass URLs (Exec=tessera %U).
            if (auto path = pathOfUrl(argument)) arguments.paths.push_back(std::move(*path));
        } else {
            arguments.paths.push_back(toPath(argument));
        }
    }
    for (std::string& path : arguments.paths)
        path = absolute(path);
    return arguments;
}

// Qt stops the process when it cannot reach a display: say so first, and how to go without.
bool hasDisplay(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (std::string_view(argv[i]) == "-platform") return true;
    for (const char* variable : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        const char* value = std::getenv(variable);
        if (value != nullptr && *value != '\0') return true;
    }
    return false;
}

} // namespace

int runApp(int argc, char** argv) {
    for (int i = 1; i < argc && std::string_view(argv[i]) != "--"; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "--help" || argument == "-h") {
            cli::printUsage(stdout);
            return 0;
        }
        if (argument == "--version") {
            std::printf("tessera %s\n", TESSERA_VERSION);
            return 0;
        }
    }
    if (!hasDisplay(argc, argv)) {
        std::fputs(
            "tessera: no display to open windows on (DISPLAY and WAYLAND_DISPLAY are unset).\n"
            "Without one, use the commands: tessera scan PATH, tessera render PATH -o "
            "OUT.png; tessera --help lists them.\n",
            stderr);
        return 1;
    }
    QSurfaceFormat::setDefaultFormat(graphSurfaceFormat());
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tessera"));
    QApplication::setApplicationVersion(QStringLiteral(TESSERA_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("org.vantorel.Tessera"));
    // Qt sets the locale from the environment; numbers in files stay in the C locale.
    std::setlocale(LC_NUMERIC, "C");

    const Arguments arguments = parseArguments(QApplication::arguments());
    if (!arguments.error.empty()) {
        std::fprintf(stderr, "tessera: %s\n", arguments.error.c_str());
        cli::printUsage(stderr);
        return 2;
    }

    // A running instance opens each path in a window of its own; a sequence is opened here.
    SingleInstance instance;
    if (!arguments.newInstance && !arguments.sequence && !instance.claim(arguments.paths)) return 0;

    MainQueuePump pump(MainQueue::shared());
    LogController::shared().startPruning(MainQueue::shared()); // lines live an hour
    DocumentController documents(arguments.options);
    instance.onOpen = [&documents](const std::vector<std::string>& paths) {
        for (const std::string& path : paths)
            documents.open(path);
        if (!paths.empty()) return;
        const auto windows = documents.windows();
        if (windows.empty()) {
            documents.showFavorites();
            return;
        }
        windows.back()->raise();
        windows.back()->activateWindow();
    };
    if (arguments.dbusActivated) {
        // The launcher that started this process asks for what to open next.
    } else if (arguments.paths.empty()) {
        documents.showFavorites();
    } else if (arguments.sequence) {
        documents.openSequence(arguments.paths);
    } else {
        for (const std::string& path : arguments.paths)
            documents.open(path);
    }
    const int status = QApplication::exec();
    if (status != 0) return status;
    return documents.onlyFailed() ? 1 : 0;
}

} // namespace tessera
