#include "app/AppMain.h"

#include "app/Application.h"
#include "app/MainQueuePump.h"
#include "app/OpenGLProbe.h"
#include "app/QtConversions.h"
#include "app/desktop/SingleInstance.h"
#include "app/document/DocumentWindow.h"
#include "app/favorites/FavoritesWindow.h"
#include "cli/CommandLine.h"
#include "cli/CommandParser.h"
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
#include <expected>
#include <string_view>
#include <utility>
#include <vector>

namespace tessera {
namespace {

struct Arguments {
    AppOptions options;
    std::vector<std::string> paths;
    /// --sequence: the paths are one sequence of trees to compare, opened by this process.
    bool sequence = false;
    bool newInstance = false;
    bool dbusActivated = false;
};

// Paths are handed to a running instance, whose working folder may differ.
std::string absolute(const std::string& path) {
    if (path.starts_with('/')) return path;
    const QByteArray current = QFile::encodeName(QDir::currentPath());
    return current.toStdString() + "/" + path;
}

// The app's arguments, read by the same parser as the commands' (--help included). None with
// the exit status to end with: 0 after --help or --version, 2 after a bad argument.
std::expected<Arguments, int> parseArguments(std::span<const std::string> list) {
    Arguments arguments;
    cli::CommandParser parser(
        "",
        "Shows where the space on disks goes: each PATH (a folder, scanned and kept up to date)\n"
        "or SNAPSHOT in a window of its own, or the favourites window when none is given. When\n"
        "the app already runs in this session, the paths open there instead.\n",
        cli::kUsage);
    CLI::App& app = parser.app();
    std::vector<std::string> given;
    bool home = false;
    bool version = false;
    app.add_option("PATH", given, "folders or snapshot files to open (file: URLs too)");
    app.add_flag("--software-rendering", arguments.options.softwareRendering,
                 "draw with the CPU instead of OpenGL");
    app.add_flag("--new-instance", arguments.newInstance,
                 "run on its own even when the app already runs");
    app.add_flag("--home", home, "open the home folder");
    app.add_flag("--sequence", arguments.sequence,
                 "compare the trees given in one window, morphing on a slider");
    app.add_flag("--version", version, "print the version and exit");
    // How the session's launcher starts the app (D-Bus activation); not for people.
    app.add_flag("--dbus-activated", arguments.dbusActivated)->group("");
    app.footer(cli::kCommandsSummary);
    if (const auto ended = parser.parse(list)) return std::unexpected(*ended);
    if (version) {
        std::printf("tessera %s\n", TESSERA_VERSION);
        return std::unexpected(0);
    }
    if (home) arguments.paths.push_back(toPath(QDir::homePath()));
    for (const std::string& path : given) {
        // Launchers pass URLs (Exec=tessera %U).
        if (path.starts_with("file:")) {
            if (auto local = pathOfUrl(QString::fromUtf8(path))) arguments.paths.push_back(*local);
        } else {
            arguments.paths.push_back(path);
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

// Qt's messages while the platform starts: printed once it has started, left out when it fails.
std::vector<std::string>& startupMessages() {
    static std::vector<std::string> messages;
    return messages;
}

void endWithoutDisplay(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (type != QtFatalMsg) {
        startupMessages().push_back(qFormatLogMessage(type, context, message).toStdString());
        return;
    }
    const char* display = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    std::fprintf(stderr,
                 "tessera: cannot open windows: the display cannot be reached (DISPLAY=%s, "
                 "WAYLAND_DISPLAY=%s). Without one, use the commands: tessera --help lists "
                 "them.\n",
                 display != nullptr ? display : "", wayland != nullptr ? wayland : "");
    std::_Exit(1);
}

} // namespace

int runApp(int argc, char** argv) {
    // Help and the version need no display.
    for (int i = 1; i < argc && std::string_view(argv[i]) != "--"; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "--help" || argument == "-h" || argument == "--version")
            return parseArguments(std::vector<std::string>{std::string(argument)}).error();
    }
    if (!hasDisplay(argc, argv)) {
        // Arguments that do not parse say so first, with the usage's status.
        if (const auto parsed = parseArguments(std::vector<std::string>(argv + 1, argv + argc));
            !parsed)
            return parsed.error();
        std::fputs(
            "tessera: no display to open windows on (DISPLAY and WAYLAND_DISPLAY are unset).\n"
            "Without one, use the commands: tessera scan PATH, tessera render PATH -o "
            "OUT.png; tessera --help lists them.\n",
            stderr);
        return 1;
    }
    QSurfaceFormat::setDefaultFormat(graphSurfaceFormat());
    // A display that cannot be reached ends Qt with a fatal message and an abort: one line
    // and status 1 instead.
    qInstallMessageHandler(endWithoutDisplay);
    QApplication application(argc, argv);
    qInstallMessageHandler(nullptr);
    for (const std::string& message : std::exchange(startupMessages(), {}))
        std::fprintf(stderr, "%s\n", message.c_str());
    QApplication::setApplicationName(QStringLiteral("Tessera"));
    QApplication::setApplicationVersion(QStringLiteral(TESSERA_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("org.vantorel.Tessera"));
    // Qt sets the locale from the environment; numbers in files stay in the C locale.
    std::setlocale(LC_NUMERIC, "C");

    // Qt has taken its own options (-platform, -display...) out of argv by now. The rest are
    // taken as the bytes they are: a path need not be UTF-8.
    std::vector<std::string> given(argv + 1, argv + argc);
    const auto parsed = parseArguments(given);
    if (!parsed) return parsed.error();
    const Arguments& arguments = *parsed;

    // A running instance opens each path in a window of its own; a sequence is opened here.
    SingleInstance instance;
    if (!arguments.newInstance && !arguments.sequence && !instance.claim(arguments.paths)) return 0;

    MainQueuePump pump(MainQueue::shared());
    LogController::shared().startPruning(MainQueue::shared()); // lines live an hour
    Application documents(arguments.options);
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
