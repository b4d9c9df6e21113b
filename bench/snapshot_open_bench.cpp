// A snapshot opened in the app as a user opens it (Application::open, the reading on the thread
// pool with its progress dialog, then the window), timed from the call to the window's finished
// picture, with the main thread watched all along: a timer that should fire every 5 ms records
// every gap between two of its ticks. The longest gaps are where the window did not answer.
// Then the peak resident memory of the whole process, per entry.
//
//   xvfb-run -a -s '-screen 0 1920x1200x24' bench_snapshot_open SNAPSHOT
#include "app/Application.h"
#include "app/MainQueuePump.h"
#include "app/OpenGLProbe.h"
#include "app/document/DocumentWindow.h"
#include "controller/FileController.h"
#include "model/Directory.h"
#include "platform/MainQueue.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QSurfaceFormat>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <sys/resource.h>
#include <vector>

using namespace tessera;

namespace {

// Every node below the window's root.
long long countEntries(const DocumentWindow& window) {
    long long entries = 0;
    const Directory* root = window.fileController()->rootFile();
    std::vector<const Directory*> pending;
    if (root != nullptr) pending.push_back(root);
    while (!pending.empty()) {
        const Directory* folder = pending.back();
        pending.pop_back();
        for (const File* child : folder->contents()) {
            ++entries;
            if (const Directory* sub = child->asDirectory()) pending.push_back(sub);
        }
    }
    return entries;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fputs("usage: bench_snapshot_open SNAPSHOT\n", stderr);
        return 2;
    }
    QSurfaceFormat::setDefaultFormat(graphSurfaceFormat());
    QApplication qtApplication(argc, argv);
    MainQueuePump pump(MainQueue::shared());
    QTemporaryDir settings;
    Application application({false, settings.filePath("settings.json").toStdString()});

    struct Gap {
        double at;
        double ms;
    };
    std::vector<Gap> gaps;
    QElapsedTimer clock;
    clock.start();
    double lastTick = 0;
    double windowAt = -1;
    double doneAt = -1;
    long long entries = 1;
    QTimer ticks;
    ticks.setInterval(5);
    QObject::connect(&ticks, &QTimer::timeout, [&] {
        const double now = static_cast<double>(clock.nsecsElapsed()) / 1e6;
        gaps.push_back({lastTick, now - lastTick});
        lastTick = now;
        const std::vector<DocumentWindow*> windows = application.windows();
        if (windows.empty()) return;
        if (windowAt < 0) windowAt = now;
        // Half a second after the window came, its first pictures are drawn.
        if (now - windowAt > 500 && doneAt < 0) {
            doneAt = now;
            entries = countEntries(*windows.front());
            QApplication::quit();
        }
    });
    ticks.start();
    application.open(argv[1]);
    QApplication::exec();

    std::sort(gaps.begin(), gaps.end(), [](const Gap& a, const Gap& b) { return a.ms > b.ms; });
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("window after %.0f ms; %zu ticks; longest gaps of the main thread (ms, at ms):\n",
                windowAt, gaps.size());
    for (std::size_t i = 0; i < std::min<std::size_t>(gaps.size(), 8); ++i)
        std::printf("  %7.1f at %7.0f\n", gaps[i].ms, gaps[i].at);
    std::printf(
        "peak resident %ld MB: %.1f bytes per entry (%lld entries)\n", usage.ru_maxrss / 1024,
        static_cast<double>(usage.ru_maxrss) * 1024.0 / static_cast<double>(entries), entries);
    std::fflush(stdout);
    // Ends without freeing the tree, which takes seconds; the settings folder goes first.
    settings.remove();
    std::_Exit(0);
}
