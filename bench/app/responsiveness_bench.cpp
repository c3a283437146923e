// How long the GUI thread can go without handling events while the window
// scans a folder of 200 files, and while it reads the level overviews of
// large takes one after another, next to the same measurement on an idle
// window.
// A 10 ms timer runs on the GUI thread; the longest gap between its ticks is
// what a user would feel as a stall.
//   quillon_app_responsiveness [file count] [seconds per file] [folder]
// (run with QT_QPA_PLATFORM=offscreen; the files are 8 tracks, half of them silent)
#include "AppDelegate.h"
#include "ElidedLabel.h"
#include "MainWindow.h"
#include "TrackTableModel.h"
#include "WidgetDialogs.h"
#include "bench_support.h"
#include "bench_wav.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLineEdit>
#include <QTableView>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <string>

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
    QApplication application(argc, argv);
    const int fileCount = argc > 1 ? std::max(1, std::atoi(argv[1])) : 200;
    const int seconds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    const bench::ScratchFolder folder(argc > 3 ? argv[3] : std::filesystem::temp_directory_path().string(),
                                      "quillon-responsiveness");
    for (int i = 0; i < fileCount; ++i)
        bench::writeTake(folder.path() / ("T" + std::to_string(1000 + i) + ".wav"),
                         {.frames = static_cast<std::uint64_t>(seconds) * bench::kSampleRate,
                          .silentChannels = {1, 3, 5, 7},
                          .noisePeakDbfs = -6.0});

    // No box comes up during a scan of readable files.
    quillon::app::AppDelegate app(std::make_unique<quillon::app::WidgetDialogs>());
    app.applicationDidFinishLaunching();
    app.window()->pathField->setText(QString::fromStdString(folder.path().string()));
    app.scan();
    const Gaps scanning = measure([&] { return !app.busy(); }, 0);
    const Gaps idle = measure([] { return false; }, scanning.elapsedMs);
    const std::size_t listed = app.results().size();

    // Three takes of 200 MB, each selected until its level strips are drawn.
    const bench::ScratchFolder large(folder.path().string(), "large");
    for (int i = 0; i < 3; ++i)
        bench::writeTake(large.path() / ("L" + std::to_string(i) + ".wav"),
                         {.frames = bench::framesForBytes(200'000'000, 8), .silentChannels = {2}, .varyingLevel = true});
    app.window()->pathField->setText(QString::fromStdString(large.path().string()));
    app.scan();
    measure([&] { return !app.busy(); }, 0);
    const QAbstractItemModel* tracks = app.window()->trackTable->model();
    Gaps overviews;
    for (int row = 0; row < 3; ++row) {
        app.window()->fileTable->selectRow(row);
        const Gaps one = measure([&] {
            return tracks->data(tracks->index(0, quillon::app::TrackTableModel::Level),
                                quillon::app::TrackTableModel::LevelRole).isValid();
        }, 0);
        overviews = {overviews.elapsedMs + one.elapsedMs, overviews.ticks + one.ticks,
                     std::max(overviews.maxGapMs, one.maxGapMs)};
    }

    std::printf("GUI responsiveness, %d files of 8 tracks x %d s, 24-bit, 48 kHz\n", fileCount, seconds);
    print("scan running (app)", scanning);
    print("idle window (baseline)", idle);
    print("3 overviews of 200 MB", overviews);
    std::printf("files listed: %zu\n", listed);
    return listed == static_cast<std::size_t>(fileCount) ? 0 : 1;
}
