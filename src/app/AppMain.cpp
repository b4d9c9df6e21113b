#include "app/AppMain.h"

#include "app/DocumentController.h"
#include "app/MainQueuePump.h"
#include "app/OpenGLProbe.h"
#include "app/QtConversions.h"
#include "cli/CommandLine.h"
#include "logs/Logger.h"
#include "platform/MainQueue.h"

#include <QApplication>
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
    std::string error;
};

Arguments parseArguments(const QStringList& list) {
    Arguments arguments;
    for (qsizetype i = 1; i < list.size(); ++i) {
        const QString& argument = list[i];
        if (argument == QStringLiteral("--software-rendering")) {
            arguments.options.softwareRendering = true;
        } else if (argument == QStringLiteral("-log") && i + 1 < list.size()) {
            ++i; // read by the logger
        } else if (argument == QStringLiteral("--")) {
            for (++i; i < list.size(); ++i)
                arguments.paths.push_back(toPath(list[i]));
        } else if (argument.startsWith(QLatin1Char('-'))) {
            arguments.error = "unknown option " + argument.toStdString();
        } else {
            arguments.paths.push_back(toPath(argument));
        }
    }
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
        if (std::string_view(argv[i]) == "--help" || std::string_view(argv[i]) == "-h") {
            cli::printUsage(stdout);
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

    MainQueuePump pump(MainQueue::shared());
    DocumentController documents(arguments.options);
    if (arguments.paths.empty()) {
        QTimer::singleShot(0, &documents, [&documents] {
            documents.chooseFolder(nullptr);
            if (documents.windows().empty() && documents.pendingOpenings() == 0 &&
                QApplication::topLevelWidgets().isEmpty())
                QApplication::quit();
        });
    } else {
        for (const std::string& path : arguments.paths)
            documents.open(path);
    }
    const int status = QApplication::exec();
    if (status != 0) return status;
    return documents.onlyFailed() ? 1 : 0;
}

} // namespace tessera
