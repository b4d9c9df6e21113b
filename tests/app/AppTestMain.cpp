// Runs the app's tests in a real QApplication (under xvfb-run in CI): the engine's main queue
// driven by Qt's event loop, settings and user defaults in a temporary folder. Given a test
// class's name, runs that class only; the rest of the arguments go to QTest.
#include "app/AppTests.h"
#include "app/MainQueuePump.h"
#include "app/OpenGLProbe.h"
#include "platform/MainQueue.h"

#include <QApplication>
#include <QSurfaceFormat>
#include <QTemporaryDir>
#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", (home.path() + QStringLiteral("/config")).toLocal8Bit());
    qputenv("XDG_DATA_HOME", (home.path() + QStringLiteral("/data")).toLocal8Bit());
    QSurfaceFormat::setDefaultFormat(tessera::graphSurfaceFormat());
    QApplication application(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    tessera::MainQueuePump pump(tessera::MainQueue::shared());

    const char* only = argc > 1 && argv[1][0] != '-' ? argv[1] : nullptr;
    std::vector<char*> rest{argv[0]};
    for (int i = only != nullptr ? 2 : 1; i < argc; ++i)
        rest.push_back(argv[i]);
    int failures = 0;
    bool ran = false;
    for (const auto& [name, make] : tessera::testing::appTests()) {
        if (only != nullptr && std::strcmp(only, name) != 0) continue;
        ran = true;
        const auto test = make();
        failures += QTest::qExec(test.get(), static_cast<int>(rest.size()), rest.data());
    }
    if (!ran) {
        std::fprintf(stderr, "no test class named %s\n", only);
        return 2;
    }
    return failures == 0 ? 0 : 1;
}
