// The window's controller over a folder of generated takes, with scripted
// dialogs: scan, busy guard, removal candidates, overwrite, partial failure,
// the confirmation keys on the real message box, hand choices across rescans,
// peaks over part of a take, the sorted file table, files passed over, a
// stopped scan and shutdown during a task.
#include "AppDelegate.h"
#include "FileTableModel.h"
#include "MainWindow.h"
#include "TrackTableModel.h"
#include "ElidedLabel.h"
#include "WidgetDialogs.h"
#include "texts.h"
#include "wav_builder.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QTextEdit>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
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
            fs::create_directories((folder / name).parent_path());
            writeFile(folder / (name + ".wav"), levelTake(tracks, 480));
        }
    }
    // Calls the operations one after another, then runs the event loop until no task is left.
    bool run(std::initializer_list<void (AppDelegate::*)()> operations) const {
        for (const auto operation : operations) (app.get()->*operation)();
        return QTest::qWaitFor([this] { return !app->busy(); }, 30000);
    }
    // Makes a row of the file table its whole selection, as a click does.
    void selectOnly(int row) const {
        QTableView* files = app->window()->fileTable;
        files->selectionModel()->setCurrentIndex(files->model()->index(row, 0),
                                                 QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
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
    expected.push_back(QString::fromStdString(ui::foundText(app->results()) + ui::passedOverText(1, 4, false)));
    EXPECT_EQ(statusTexts, expected);

    write("A:11");  // changed after the scan: refused
    ASSERT_TRUE(run({&AppDelegate::compressAll, &AppDelegate::scan, &AppDelegate::compressAll}));
    EXPECT_EQ(folderState(), "A:2 B:2 C:2 D:3 D_SLIM:1 m:1");
    EXPECT_EQ(statusTexts.count(expected[1]), 2);  // the scan above and the one after the removal
    EXPECT_TRUE(statusTexts.contains(QString::fromStdString(ui::removalDoneText(1, 1))));
    ASSERT_EQ(dialogs->messages.size(), 2);  // one confirmation and its report
    const PolyWavInfo written = analyzePolyWav(folder / "D.wav", ui::kSilenceThreshold);
    EXPECT_TRUE(dialogs->messages[1].contains(
        QString::fromStdString(ui::successLine(written, folder / "D_SLIM.wav", folder.path()))));
    EXPECT_TRUE(dialogs->messages[1].contains("A.wav"));
}

// Only files with both empty and active tracks are written, once confirmed. On the real message box Return
// writes copies but chooses Cancel when the originals would be overwritten or earlier copies replaced, which
// the box names, and Escape always cancels.
TEST_F(AppTest, RemovalWritesOnlyConfirmedCandidates) {
    const std::tuple<std::string, void (AppDelegate::*)(), bool, std::optional<Qt::Key>, std::string> cases[] = {
        {"A:1010 B:11 Z:00", &AppDelegate::compressAll, false, Qt::Key_Return, "A:4 A_SLIM:2 B:2 Z:2"},
        {"A:1010 C:1100", &AppDelegate::compressSelected, true, {}, "A:2 C:4"},  // only A, the first, is selected
        {"A:1010 B:11 Z:00", &AppDelegate::compressAll, true, Qt::Key_Return, "A:4 B:2 Z:2"},
        {"A:1010 B:11 Z:00", &AppDelegate::compressAll, false, Qt::Key_Escape, "A:4 B:2 Z:2"},
        {"B:11 C:1100", &AppDelegate::compressSelected, false, {}, "B:2 C:4"},
        {"B:11 Z:00", &AppDelegate::compressAll, false, {}, "B:2 Z:2"},
        {"A:1011 A_SLIM:11 B:110", &AppDelegate::compressAll, false, Qt::Key_Return, "A:4 A_SLIM:2 B:3"},
        {"A:1011 A_SLIM:11", &AppDelegate::compressAll, false, {}, "A:4 A_SLIM:3"},
    };
    for (const auto& [takes, remove, overwrite, key, after] : cases) {
        for (const auto& entry : fs::directory_iterator(folder.path())) fs::remove(entry);
        write(takes);
        ASSERT_TRUE(run({&AppDelegate::scan}));
        dialogs->key = key;
        app->window()->overwriteCheck->setChecked(overwrite);
        const auto confirmation = dialogs->messages.size();
        ASSERT_TRUE(run({remove}));
        EXPECT_EQ(folderState(), after) << takes << ' ' << overwrite << ' ' << key.value_or(Qt::Key_unknown);
        EXPECT_EQ(dialogs->messages.at(confirmation).count("A_SLIM.wav"), int(takes.find("_SLIM") != takes.npos));
    }
    EXPECT_EQ(dialogs->messages.size(), 11);  // a confirmation and a report per removal, one box per cancel or refusal
}

// Tab and Shift+Tab leave either table for the controls around it. A report of 500 lines scrolls inside a box
// that fits the screen, its button in view; a line too long for the box wraps, and Ctrl+C copies the report.
TEST_F(AppTest, KeyboardLeavesTablesAndLongReportsFitTheScreen) {
    write("A:10 B:10 C:10");
    ASSERT_TRUE(run({&AppDelegate::scan}));
    for (QTableView* table : {app->window()->fileTable, app->window()->trackTable})
        for (const auto modifier : {Qt::NoModifier, Qt::ShiftModifier}) {
            table->setFocus();
            QTest::keyClick(table, Qt::Key_Tab, modifier);
            EXPECT_NE(QApplication::focusWidget(), table) << modifier;
        }
    const QString longName = QString("Scene_12_take_3_").repeated(20) + ".wav";
    AlertDialog report(app->window(), {"", longName + QString("\na line of the report").repeated(500), AlertStyle::Default, {}});
    report.show();
    const QRect screen = report.screen()->availableGeometry(), button = report.defaultButton()->geometry();
    EXPECT_TRUE(screen.contains(report.frameGeometry()) || report.frameGeometry().height() < screen.height());
    EXPECT_TRUE(report.rect().contains(QRect(report.defaultButton()->mapTo(&report, QPoint()), button.size())));
    EXPECT_LE(report.informative()->document()->size().width(), report.informative()->viewport()->width());
    QTest::keyClick(report.focusWidget(), Qt::Key_C, Qt::ControlModifier);
    EXPECT_TRUE(QGuiApplication::clipboard()->text().startsWith(longName + "\n"));
}

// Ticks start as the detector's empty flags and what is written follows them: a changed tick marks its file
// and makes it a candidate or changes what it loses, and the confirmation names the tracks with signal it
// removes; the action keeps the ticks of takes of one layout alike. The rescan after the removal keeps every
// hand choice, and so does one while a tick is made during it.
TEST_F(AppTest, TicksChooseWhatIsRemovedAndSurviveRescans) {
    write("A:1010 B:11 C:1100 D:1010");
    ASSERT_TRUE(run({&AppDelegate::scan}));
    EXPECT_EQ(app->choices(), (std::vector<ui::TrackChoice>{{0, 1, 0, 1}, {0, 0}, {0, 0, 1, 1}, {0, 1, 0, 1}}));
    QAbstractItemModel* tracks = app->window()->trackTable->model();
    QTableView* files = app->window()->fileTable;
    const auto fileText = [&](int row) { return files->model()->index(row, FileTableModel::File).data().toString(); };
    const QString unmarked = fileText(0);
    tracks->setData(tracks->index(0, TrackTableModel::Remove), Qt::Checked, Qt::CheckStateRole);
    const QChar mark = fileText(0).at(0);
    EXPECT_NE(mark, unmarked.at(0));
    selectOnly(1);
    tracks->setData(tracks->index(1, TrackTableModel::Remove), Qt::Checked, Qt::CheckStateRole);
    files->selectionModel()->select(QItemSelection(files->model()->index(2, 0), files->model()->index(3, 0)),
                                    QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    app->window()->keepAlikeAction->trigger();
    EXPECT_EQ(app->choices()[2], app->choices()[3]);
    const auto chosen = app->choices();
    ASSERT_TRUE(run({&AppDelegate::compressAll}));
    EXPECT_EQ(folderState(), "A:4 A_SLIM:1 B:2 B_SLIM:1 C:4 C_SLIM:3 D:4 D_SLIM:3");
    EXPECT_TRUE(dialogs->messages[0].contains("A.wav: Track 1\nB.wav: Track 2")) << dialogs->messages[0].toStdString();
    EXPECT_FALSE(dialogs->messages[0].contains("C.wav:"));

    const auto rowOf = [&](const std::string& name) {
        return int(std::ranges::find(app->results(), folder / name, &PolyWavInfo::path) - app->results().begin());
    };
    selectOnly(rowOf("B.wav"));
    app->scan();
    tracks->setData(tracks->index(0, TrackTableModel::Remove), Qt::Checked, Qt::CheckStateRole);
    ASSERT_TRUE(run({}));
    const std::vector<ui::TrackChoice> afterRescans{chosen[0], {1, 1}, chosen[2], chosen[3]};
    for (const std::string name : {"A", "B", "C", "D"}) {
        EXPECT_EQ(app->choices().at(rowOf(name + ".wav")), afterRescans[name[0] - 'A']) << name;
        EXPECT_EQ(fileText(rowOf(name + ".wav")).at(0), mark) << name;
    }
    EXPECT_NE(fileText(rowOf("C_SLIM.wav")).at(0), mark);
}

// A take read only until every track was heard (A) shows its peaks as lower bounds until its level strips have
// read the whole take, then the take's peaks beside its strips. Every column sorts the list by its value, stably
// (ties keep the order shown before), and a row still shows its own file's tracks; until a header is clicked the
// list is in the order found. A file in a subfolder is named by its path in the folder. The status counts the .wav
// files passed over, which the menu lists with their reasons.
TEST_F(AppTest, RecursiveScanShowsPeakBoundsSortsByEveryColumnAndListsFilesPassedOver) {
    write("s1/mono:1 s2/x:1");
    writeFile(folder / "s2/x.wav", "not a WAV file");
    const auto take = [&](const std::string& name, std::uint32_t rate, std::size_t frames, const std::string& tracks,
                          std::uint64_t start) {
        WavBuilder().fmt({.channels = std::uint16_t(tracks.size()), .sampleRate = rate}).chunk("bext", bextPayload(start))
            .data(pcmFrames(24, levelTracks(tracks, frames))).write(folder / name);
    };
    take("s2/T.wav", 48000, 960, "110", 48000 * 3600), take("s1/T.wav", 44100, 480, "10", 0);
    take("A.wav", 96000, 192000, "rr", 48000 * 60), take("B.wav", 48000, 480, "10", 48000 * 3600);
    app->window()->recursiveCheck->setChecked(true);
    ASSERT_TRUE(run({&AppDelegate::scan}));
    const std::vector<PolyWavInfo>& results = app->results();
    ASSERT_EQ(results.size(), 4u);
    const PolyWavInfo whole = analyzePolyWav(folder / "A.wav", ui::kSilenceThreshold, PeakCoverage::wholeTake);
    const QModelIndex peak = app->window()->trackTable->model()->index(1, TrackTableModel::Peak);
    EXPECT_EQ(peak.data().toString().toStdString(), ui::peakText(results[0].tracks[1].peak, false));
    EXPECT_TRUE(QTest::qWaitFor([&] { return peak.data().toString() == ui::peakText(whole.tracks[1].peak).c_str(); }));
    EXPECT_TRUE(peak.siblingAtColumn(TrackTableModel::Level).data(TrackTableModel::LevelRole).isValid());
    QSortFilterProxyModel* order = app->window()->fileOrder;
    const auto shownOrder = [&] {
        std::vector<std::size_t> rows;
        for (int row = 0; row < order->rowCount(); ++row) rows.push_back(order->mapToSource(order->index(row, 0)).row());
        return rows;
    };
    EXPECT_EQ(shownOrder(), (std::vector<std::size_t>{0, 1, 2, 3}));

    using Key = std::function<std::pair<double, std::string>(const PolyWavInfo&)>;
    const Key keys[FileTableModel::ColumnCount] = {
        [](auto& info) { return std::pair{0.0, info.timecode}; },
        [&](auto& info) { return std::pair{0.0, ui::shownPath(info.path, folder.path())}; },
        [](auto& info) { return std::pair{double(info.channels), ""}; },
        [](auto& info) { return std::pair{double(info.activeCount()), ""}; },
        [](auto& info) { return std::pair{double(info.emptyCount()), ""}; },
        [](auto& info) { return std::pair{double(info.sampleRate), ""}; },
        [](auto& info) { return std::pair{info.duration, ""}; }};
    for (int column = 0; column < FileTableModel::ColumnCount; ++column)
        for (const auto direction : {Qt::AscendingOrder, Qt::DescendingOrder}) {
            const std::vector<std::size_t> shown = shownOrder();
            app->window()->fileTable->sortByColumn(column, direction);
            const std::vector<std::size_t> rows = shownOrder();
            const auto wasAt = [&](std::size_t row) { return std::ranges::find(shown, row) - shown.begin(); };
            for (std::size_t i = 1; i < rows.size(); ++i) {
                const auto before = keys[column](results[rows[i - 1]]), after = keys[column](results[rows[i]]);
                const bool inOrder = direction == Qt::AscendingOrder ? before <= after : before >= after;
                EXPECT_TRUE(inOrder && (before != after || wasAt(rows[i - 1]) < wasAt(rows[i]))) << column << ' ' << i;
            }
            selectOnly(0);
            const QString first = QString::fromStdString(ui::shownPath(results[rows[0]].path, folder.path()));
            EXPECT_EQ(order->index(0, FileTableModel::File).data().toString(), first) << column;
            EXPECT_TRUE(app->window()->trackTitle->text().endsWith(first));
        }

    EXPECT_TRUE(app->window()->passedOverLink->isVisible());
    app->window()->showPassedOverAction->trigger();
    QString reasons;
    for (const char* name : {"s1/mono.wav", "s2/x.wav"}) {
        const PolyWavInfo info = analyzePolyWav(folder / name, ui::kSilenceThreshold);
        reasons += QString::fromStdString(ui::errorLine(info, ui::refusalText(info), folder.path())) + '\n';
    }
    EXPECT_EQ(dialogs->messages.back(), reasons);
}

// Esc stops a scan between files: the files analysed so far are listed and the status line says how far it
// came. The first take is long enough to be stopped in. A hand choice on a file the stopped scan did not reach
// comes back with the next whole scan.
TEST_F(AppTest, EscapeStopsAScanAndKeepsWhatItAnalysed) {
    const std::uint32_t longTake = 1u << 29;
    WavBuilder().fmt({.channels = 2}).data("", longTake).write(folder / "A.wav");
    fs::resize_file(folder / "A.wav", fs::file_size(folder / "A.wav") + longTake);
    write("B:10 C:10 D:10");
    ASSERT_TRUE(run({&AppDelegate::scan}));
    selectOnly(3);
    QAbstractItemModel* tracks = app->window()->trackTable->model();
    tracks->setData(tracks->index(1, TrackTableModel::Remove), Qt::Unchecked, Qt::CheckStateRole);
    const auto escape = QObject::connect(app->window()->statusLabel, &ElidedLabel::textChanged, [this](auto& text) {
        if (text == QString::fromStdString(ui::analyzingText(1, 4, folder / "A.wav")))
            QTest::keyClick(app->window()->fileTable, Qt::Key_Escape);
    });
    ASSERT_TRUE(run({&AppDelegate::scan}));
    ASSERT_EQ(app->results().size(), 1u);
    EXPECT_EQ(app->results()[0].path, folder / "A.wav");
    EXPECT_EQ(statusTexts.back(), QString::fromStdString(ui::stoppedText(1, 4)));
    QObject::disconnect(escape);
    ASSERT_TRUE(run({&AppDelegate::scan}));
    EXPECT_EQ(app->choices().at(3), (ui::TrackChoice{false, false}));
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
