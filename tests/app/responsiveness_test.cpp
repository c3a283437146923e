// The scan runs beside the GUI thread: its progress texts and its completion
// reach the window only through the event loop, in the order they were posted.
#include "app_fixture.h"

#include "ElidedLabel.h"

#include <QCoreApplication>
#include <QLineEdit>
#include <QThread>

namespace quillon::app::testing {
namespace {

using ResponsivenessTest = AppTest;

TEST_F(ResponsivenessTest, ProgressAndCompletionArriveThroughTheEventLoop) {
    constexpr int fileCount = 40;
    for (int i = 0; i < fileCount; ++i) write(QString::asprintf("T%02d.wav", i).toStdString(), {.levels = {0.5, 0.0}});
    app().pathField()->setText(qs(folder.path()));

    app().scan();
    const QString scanning = app().statusLabel()->text();
    // The worker goes on meanwhile; nothing it posts is handled yet.
    QThread::msleep(1500);
    EXPECT_TRUE(app().busy());
    EXPECT_EQ(app().statusLabel()->text(), scanning);
    EXPECT_TRUE(app().results().empty());

    ASSERT_TRUE(harness.waitUntilIdle());
    QStringList expected{scanning};
    for (int i = 0; i < fileCount; ++i)
        expected.push_back(QString::asprintf("Analyzing %d/%d: T%02d.wav", i + 1, fileCount, i));
    expected.push_back(QString::asprintf("Found %d polyphonic WAV file(s); %d have empty tracks.", fileCount, fileCount));
    EXPECT_EQ(harness.statusTexts(), expected);
}

TEST(ShutdownTest, ClosingDuringAScanStopsTheWorkerCleanly) {
    quillon::testing::TempDir folder;
    for (int i = 0; i < 200; ++i) writePolyFile(folder / ("T" + std::to_string(i) + ".wav"), {.levels = {0.5, 0.0}});
    auto harness = std::make_unique<Harness>();
    harness->app().pathField()->setText(qs(folder.path()));
    harness->app().scan();
    ASSERT_TRUE(harness->app().busy());
    harness.reset();
    QCoreApplication::processEvents();
}

}  // namespace
}  // namespace quillon::app::testing
