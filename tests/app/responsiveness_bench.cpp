// How long the GUI thread can go without handling events while the window
// scans a folder of 200 files, next to the same measurement on an idle window.
// A 10 ms timer runs on the GUI thread; the longest gap between its ticks is
// what a user would feel as a stall.
//   quillon_app_responsiveness [file count] [seconds per file]
// (run with QT_QPA_PLATFORM=offscreen; the files are 8 tracks, half of them silent)
#include "app_test_support.h"

#include "wav_builder.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLineEdit>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <string>

using namespace quillon::app::testing;

namespace {

struct Gaps {
    qint64 elapsedMs = 0;
    int ticks = 0;
    double maxGapMs = 0.0;
};

// Runs the event loop until `done` holds (or, without a condition, for
// `durationMs`) while a 10 ms timer records the gaps between its ticks.
template <typename Done>
Gaps measure(Done done, qint64 durationMs) {
    Gaps gaps;
    QElapsedTimer clock;
    clock.start();
    qint64 last = clock.nsecsElapsed();
    QTimer timer;
    timer.setTimerType(Qt::PreciseTimer);
    timer.setInterval(10);
    QEventLoop loop;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        gaps.maxGapMs = std::max(gaps.maxGapMs, (now - last) / 1e6);
        last = now;
        ++gaps.ticks;
        if (done() || (durationMs > 0 && clock.elapsed() >= durationMs)) loop.quit();
    });
    timer.start();
    loop.exec();
    gaps.elapsedMs = clock.elapsed();
    return gaps;
}

void print(const char* what, const Gaps& gaps) {
    std::printf("%-28s %8lld ms %6d ticks   longest gap %7.1f ms\n", what, static_cast<long long>(gaps.elapsedMs),
                gaps.ticks, gaps.maxGapMs);
}

}  // namespace

int main(int argc, char** argv) {
    quietOffscreenPlatform();
    QApplication application(argc, argv);
    const int fileCount = argc > 1 ? std::max(1, std::atoi(argv[1])) : 200;
    const int seconds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;

    quillon::testing::TempDir folder;
    for (int i = 0; i < fileCount; ++i)
        writePolyFile(folder / ("T" + std::to_string(1000 + i) + ".wav"),
                      {.levels = {0.5, 0.0, 0.25, 0.0, 0.5, 0.0, 0.25, 0.0},
                       .frames = 48000 * static_cast<std::size_t>(seconds)});

    Harness harness;
    harness.app().pathField()->setText(qs(folder.path()));
    harness.app().scan();
    const Gaps scanning = measure([&] { return !harness.app().busy(); }, 0);
    const Gaps idle = measure([] { return false; }, scanning.elapsedMs);

    std::printf("GUI responsiveness, %d files of 8 tracks x %d s, 24-bit, 48 kHz\n", fileCount, seconds);
    print("scan running (app)", scanning);
    print("idle window (baseline)", idle);
    std::printf("files listed: %zu, status: %s\n", harness.app().results().size(),
                harness.statusTexts().isEmpty() ? "" : harness.statusTexts().back().toUtf8().constData());
    return harness.app().results().size() == static_cast<std::size_t>(fileCount) ? 0 : 1;
}
