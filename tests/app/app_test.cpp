// The window's controller over a folder of generated takes, with scripted
// dialogs: scan, busy guard, removal candidates, overwrite, partial failure,
// the confirmation keys on the real message box and shutdown during a task.
#include "AppDelegate.h"
#include "MainWindow.h"
#include "TrackTableModel.h"
#include "ElidedLabel.h"
#include "WidgetDialogs.h"
#include "texts.h"
#include "wav_builder.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QScreen>
#include <QTableView>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <set>
#include <sstream>

namespace quillon::app {
namespace {

namespace fs = std::filesystem;
using namespace quillon::testing;

// Records every box. A confirmation is answered by pressing `key` on the real message box, on its focused
// control as a user would; without a key its first button is chosen and no box is shown.
struct ScriptedDialogs : WidgetDialogs {
    void showMessage(QWidget*, const AlertBox& box) override { messages.push_back(box.informativeText); }
    bool confirm(QWidget* parent, const AlertBox& box) override {
        messages.push_back(box.informativeText);
        if (!key) return true;
        QTimer::singleShot(0, [this] { QTest::keyClick(QApplication::activeModalWidget()->focusWidget(), *key); });
        return WidgetDialogs::confirm(parent, box);
    }

    QStringList messages;
    std::optional<Qt::Key> key;
};

class AppTest : public ::testing::Test {
protected:
    AppTest() : app(launch()) {}

    std::unique_ptr<AppDelegate> launch() {
        auto scripted = std::make_unique<ScriptedDialogs>();
        dialogs = scripted.get();
        auto launched = std::make_unique<AppDelegate>(std::move(scripted));
        launched->applicationDidFinishLaunching();
        launched->window()->pathField->setText(QString::fromStdString(folder.path().string()));
        // Runs on the thread that changes the text: the worker may reach the window only through the event loop.
        QObject::connect(launched->window()->statusLabel, &ElidedLabel::textChanged, [this](const QString& text) {
            EXPECT_EQ(QThread::currentThread(), qApp->thread());
            statusTexts.push_back(text);
        });
        return launched;
    }
    // "A:10 B:110": a file per word, one track per digit: 1 carries a signal, 0 is digital silence.
    void write(const std::string& takes) const {
        std::istringstream words(takes);
        for (std::string name, tracks; std::getline(words, name, ':') && words >> tracks; words.ignore()) {
            ChannelSamples channels;
            for (const char track : tracks) channels.emplace_back(480, track == '1' ? 1 << 20 : 0);
            writeFile(folder / (name + ".wav"), simpleWav({.channels = std::uint16_t(tracks.size())}, channels));
        }
    }
    // Calls the operations one after another, then runs the event loop until no task is left.
    bool run(std::initializer_list<void (AppDelegate::*)()> operations) const {
        for (const auto operation : operations) (app.get()->*operation)();
        return QTest::qWaitFor([this] { return !app->busy(); }, 30000);
    }
    // "A:4 B:2": every file in the folder by name, without ".wav", with its track count as the engine reads it.
    std::string folderState() const {
        std::string state;
        for (const fs::path& file : std::set<fs::path>(fs::directory_iterator(folder.path()), fs::directory_iterator()))
            state += ' ' + file.stem().string() + ':' +
                     std::to_string(analyzePolyWav(file, ui::kSilenceThreshold).channels);
        return state.substr(1);
    }

    TempDir folder;
    QStringList statusTexts;
    ScriptedDialogs* dialogs = nullptr;
    std::unique_ptr<AppDelegate> app;
};

// Progress reaches the window in order and nothing starts while a task runs. A file that fails to be
// written does not stop the others; the report names both, and the folder is scanned again.
TEST_F(AppTest, ScanThenRemovalWithAFailure) {
    write("A:10 B:11 C:00 D:100 m:1");
    ASSERT_TRUE(run({&AppDelegate::scan}));
    statusTexts.clear();
    ASSERT_TRUE(run({&AppDelegate::scan, &AppDelegate::scan, &AppDelegate::compressAll}));
    QStringList expected{statusTexts.front()};
    for (const char* name : {"A.wav", "B.wav", "C.wav", "D.wav"})
        expected.push_back(QString::fromStdString(ui::analyzingText(expected.size(), 4, folder / name)));
    expected.push_back(QString::fromStdString(ui::foundText(app->results())));
    EXPECT_EQ(statusTexts, expected);

    write("A:11");  // changed after the scan: no empty track left to remove
    ASSERT_TRUE(run({&AppDelegate::compressAll, &AppDelegate::scan, &AppDelegate::compressAll}));
    EXPECT_EQ(folderState(), "A:2 B:2 C:2 D:3 D_SLIM:1 m:1");
    EXPECT_EQ(statusTexts.count(expected[1]), 2);  // the scan above and the one after the removal
    EXPECT_TRUE(statusTexts.contains(QString::fromStdString(ui::removalDoneText(1, 1))));
    ASSERT_EQ(dialogs->messages.size(), 2);  // one confirmation and its report
    const PolyWavInfo written = analyzePolyWav(folder / "D.wav", ui::kSilenceThreshold);
    EXPECT_TRUE(dialogs->messages[1].contains(QString::fromStdString(ui::successLine(written, folder / "D_SLIM.wav"))));
    EXPECT_TRUE(dialogs->messages[1].contains("A.wav"));
}

// Only files with both empty and active tracks are written, once confirmed. On the real message box Return
// writes copies but chooses Cancel when the originals would be overwritten, and Escape always cancels.
TEST_F(AppTest, RemovalWritesOnlyConfirmedCandidates) {
    const struct {
        std::string takes;
        void (AppDelegate::*remove)();
        bool overwrite;
        std::optional<Qt::Key> key;
        std::string after;
    } cases[] = {
        {"A:1010 B:11 Z:00", &AppDelegate::compressAll, false, Qt::Key_Return, "A:4 A_SLIM:2 B:2 Z:2"},
        {"A:1010 C:1100", &AppDelegate::compressSelected, true, {}, "A:2 C:4"},  // only A, the first, is selected
        {"A:1010 B:11 Z:00", &AppDelegate::compressAll, true, Qt::Key_Return, "A:4 B:2 Z:2"},
        {"A:1010 B:11 Z:00", &AppDelegate::compressAll, false, Qt::Key_Escape, "A:4 B:2 Z:2"},
        {"B:11 C:1100", &AppDelegate::compressSelected, false, {}, "B:2 C:4"},
        {"B:11 Z:00", &AppDelegate::compressAll, false, {}, "B:2 Z:2"},
    };
    for (const auto& c : cases) {
        for (const auto& entry : fs::directory_iterator(folder.path())) fs::remove(entry);
        write(c.takes);
        ASSERT_TRUE(run({&AppDelegate::scan}));
        dialogs->key = c.key;
        app->window()->overwriteCheck->setChecked(c.overwrite);
        ASSERT_TRUE(run({c.remove}));
        EXPECT_EQ(folderState(), c.after) << c.takes << ' ' << c.overwrite << ' ' << c.key.value_or(Qt::Key_unknown);
    }
    EXPECT_EQ(dialogs->messages.size(), 8);  // a confirmation and a report per removal, one box per cancel or refusal
}

// Tab and Shift+Tab leave either table for the controls around it. A report of 500 lines scrolls inside a box
// that fits the screen, its button in view.
TEST_F(AppTest, KeyboardLeavesTablesAndLongReportsFitTheScreen) {
    write("A:10 B:10 C:10");
    ASSERT_TRUE(run({&AppDelegate::scan}));
    for (QTableView* table : {app->window()->fileTable, app->window()->trackTable})
        for (const auto modifier : {Qt::NoModifier, Qt::ShiftModifier}) {
            table->setFocus();
            QTest::keyClick(table, Qt::Key_Tab, modifier);
            EXPECT_NE(QApplication::focusWidget(), table) << modifier;
        }
    AlertDialog report(app->window(), {"", QString("a line of the report\n").repeated(500), AlertStyle::Default, {}});
    report.show();
    const QRect screen = report.screen()->availableGeometry(), button = report.defaultButton()->geometry();
    EXPECT_TRUE(screen.contains(report.frameGeometry()) || report.frameGeometry().height() < screen.height());
    EXPECT_TRUE(report.rect().contains(QRect(report.defaultButton()->mapTo(&report, QPoint()), button.size())));
}

// Ticks start as the detector's empty flags and what is written follows them: a changed tick marks its file
// and makes it a candidate or changes what it loses; the action keeps the ticks of takes of one layout alike.
// The selected file's level strips arrive.
TEST_F(AppTest, TicksChooseWhatIsRemoved) {
    write("A:1010 B:11 C:1100 D:1010");
    ASSERT_TRUE(run({&AppDelegate::scan}));
    EXPECT_EQ(app->choices(), (std::vector<ui::TrackChoice>{{0, 1, 0, 1}, {0, 0}, {0, 0, 1, 1}, {0, 1, 0, 1}}));
    QAbstractItemModel* tracks = app->window()->trackTable->model();
    EXPECT_TRUE(QTest::qWaitFor([&] {
        return tracks->index(0, TrackTableModel::Level).data(TrackTableModel::LevelRole).isValid();
    }));
    QTableView* files = app->window()->fileTable;
    const QVariant unmarked = files->model()->index(0, 0).data(Qt::ToolTipRole);
    tracks->setData(tracks->index(0, TrackTableModel::Remove), Qt::Checked, Qt::CheckStateRole);
    EXPECT_NE(files->model()->index(0, 0).data(Qt::ToolTipRole), unmarked);
    files->selectionModel()->setCurrentIndex(files->model()->index(1, 0), QItemSelectionModel::ClearAndSelect);
    tracks->setData(tracks->index(1, TrackTableModel::Remove), Qt::Checked, Qt::CheckStateRole);
    files->selectionModel()->select(QItemSelection(files->model()->index(2, 0), files->model()->index(3, 0)),
                                    QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    app->window()->keepAlikeAction->trigger();
    EXPECT_EQ(app->choices()[2], app->choices()[3]);
    ASSERT_TRUE(run({&AppDelegate::compressAll}));
    EXPECT_EQ(folderState(), "A:4 A_SLIM:1 B:2 B_SLIM:1 C:4 C_SLIM:3 D:4 D_SLIM:3");
}

// A take read only until every track was heard shows its peaks as lower bounds until the level strips have
// read the whole take, and then the take's peaks.
TEST_F(AppTest, PartialPeaksShowAsBoundsUntilTheWholeTakeIsRead) {
    std::vector<std::int64_t> quietThenLoud(48000, 1 << 16);
    quietThenLoud.resize(96000, 1 << 22);
    writeFile(folder / "L.wav", simpleWav({.channels = 2}, {quietThenLoud, quietThenLoud}));
    ASSERT_TRUE(run({&AppDelegate::scan}));
    const PolyWavInfo whole = analyzePolyWav(folder / "L.wav", ui::kSilenceThreshold, PeakCoverage::wholeTake);
    const QModelIndex peak = app->window()->trackTable->model()->index(1, TrackTableModel::Peak);
    EXPECT_EQ(peak.data().toString().toStdString(), ui::peakText(app->results().at(0).tracks[1].peak, false));
    EXPECT_TRUE(QTest::qWaitFor([&] { return peak.data().toString().toStdString() == ui::peakText(whole.tracks[1].peak); }));
}

// Nothing the engine cannot read, such as a cut copy or a temporary file, is left behind.
TEST_F(AppTest, ClosingDuringATaskStopsTheWorkerAndLeavesOnlyWholeFiles) {
    for (int i = 0; i < 20; ++i) write("T" + std::to_string(i) + ":110");
    for (const auto task : {&AppDelegate::scan, &AppDelegate::compressAll}) {
        ASSERT_TRUE(run({&AppDelegate::scan}));
        (app.get()->*task)();
        app = launch();
    }
    EXPECT_EQ(folderState().find(":0"), std::string::npos) << folderState();
}

}  // namespace
}  // namespace quillon::app

// One application object for every test, on the offscreen platform unless another is asked for.
int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
