// Renders the main window and its message boxes into PNG files so that the
// layout can be looked at without a display: quillon_app_screenshot <folder>.
// A demo folder of takes (same-named takes in two subfolders among them) is
// generated next to the pictures and scanned with the real engine, at the
// normal and the minimum size, through a removal and a stopped scan.
#include "AppDelegate.h"
#include "ElidedLabel.h"
#include "FileTableModel.h"
#include "MainLayout.h"
#include "MainMenu.h"
#include "TrackTableModel.h"
#include "MainWindow.h"
#include "WidgetDialogs.h"
#include "bench_wav.h"
#include "texts.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QThread>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QMainWindow>
#include <QTableView>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace quillon::app;

namespace {

// Keeps every box the controller asks for, to be drawn afterwards by the
// real dialog class; confirmations get the answer set beforehand.
class RecordingDialogs : public Dialogs {
public:
    void showMessage(QWidget*, const AlertBox& box) override { boxes.push_back(box); }
    bool confirm(QWidget*, const AlertBox& box) override {
        boxes.push_back(box);
        return accept;
    }
    void chooseFolder(QWidget*, const QString&, std::function<void(const QString&)>) override {}

    std::vector<AlertBox> boxes;
    bool accept = false;
};

// iXML as a field recorder writes it: 25 fps timecode and named tracks.
std::string recorderIxml(const std::vector<std::string>& names) {
    std::string xml = "<BWFXML><SPEED><TIMECODE_RATE>25/1</TIMECODE_RATE></SPEED><TRACK_LIST>";
    for (std::size_t i = 0; i < names.size(); ++i)
        xml += "<TRACK><CHANNEL_INDEX>" + std::to_string(i + 1) + "</CHANNEL_INDEX><NAME>" + names[i] +
               "</NAME></TRACK>";
    return xml + "</TRACK_LIST></BWFXML>";
}

std::uint64_t at(int hours, int minutes, int seconds) {
    return static_cast<std::uint64_t>(hours * 3600 + minutes * 60 + seconds) * bench::kSampleRate;
}

std::uint64_t seconds(int count) { return static_cast<std::uint64_t>(count) * bench::kSampleRate; }

void writeDemoFolder(const fs::path& folder) {
    fs::remove_all(folder);
    fs::create_directories(folder);
    // Lengths are kept short so that the demo folder stays small.
    bench::writeTake(folder / "T001.wav",
                     {.frames = seconds(30),
                      .silentChannels = {2, 4},
                      .timeReference = at(10, 4, 33),
                      .ixml = recorderIxml({"Boom", "Lav Anna", "Lav Ben", "Lav Cleo", "Plant", "Wild", "Mix L",
                                            "Mix R"}),
                      .noisePeakDbfs = -3.0,
                      .varyingLevel = true});
    bench::writeTake(folder / "T002.wav", {.channels = 4,
                                           .frames = seconds(25),
                                           .timeReference = at(10, 9, 2),
                                           .ixml = recorderIxml({"Boom", "Lav Anna", "Mix L", "Mix R"}),
                                           .noisePeakDbfs = -9.0});
    bench::writeTake(folder / "T003.wav", {.channels = 6, .frames = seconds(8), .silentChannels = {1, 2, 3}});
    bench::writeTake(folder / "T004.wav", {.channels = 2, .frames = seconds(40), .silentChannels = {0, 1}});
    bench::writeTake(folder / "Scene 12 Take 3 - exterior street, second unit, wide and close, alternate.wav",
                     {.channels = 3, .frames = seconds(31), .silentChannels = {1}, .noisePeakDbfs = -20.0});
    // The same take names on two days, in subfolders.
    for (const char* day : {"Day 1", "Day 2"}) {
        fs::create_directories(folder / day);
        bench::writeTake(folder / day / "T010.wav",
                         {.channels = 4, .frames = seconds(12), .silentChannels = {day[4] == '1' ? 3 : 2},
                          .timeReference = at(day[4] == '1' ? 9 : 14, 30, 0),
                          .ixml = recorderIxml({"Boom", "Lav Anna", "Lav Ben", "Plant"}), .noisePeakDbfs = -12.0});
    }
    bench::writeTake(folder / "T000_mono.wav", {.channels = 1, .frames = seconds(1)});
    std::ofstream(folder / "T005_broken.wav", std::ios::binary) << std::string("RIFF\x04\x00\x00\x00WAVE", 12);
    // A copy that an earlier removal left, which the next one would replace.
    bench::writeTake(folder / "T003_SLIM.wav", {.channels = 3, .frames = seconds(8)});
}

// A silent take of `bytes` of samples that takes no room on the disk but a
// while to read: long enough to stop a scan in.
void writeLongSilentTake(const fs::path& path, std::uint32_t bytes) {
    std::string header = "RIFF";
    bench::wav::appendU32(header, 4 + 52 + bytes);
    header += "WAVE" + bench::wav::chunksBeforeSamples({.channels = 2}, bytes);
    std::ofstream(path, std::ios::binary) << header;
    fs::resize_file(path, header.size() + bytes);
}

bool save(QWidget* widget, const QString& file) {
    QCoreApplication::processEvents();
    if (widget->grab().save(file)) {
        std::cout << file.toStdString() << '\n';
        return true;
    }
    std::cerr << "cannot write " << file.toStdString() << '\n';
    return false;
}

// Shows the box that the controller asked for, as the application would.
bool saveBox(QWidget* parent, const AlertBox& request, const QString& file) {
    AlertDialog box(parent, request);
    box.show();
    const bool saved = save(&box, file);
    box.hide();
    return saved;
}

void waitUntilIdle(const AppDelegate& app) {
    while (app.busy()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

// Until the selected file's level strips are drawn (or a few seconds pass).
void waitForLevels(const AppDelegate& app) {
    const QAbstractItemModel* tracks = app.window()->trackTable->model();
    for (int waited = 0; waited < 5000; waited += 20) {
        if (tracks->data(tracks->index(0, TrackTableModel::Level), TrackTableModel::LevelRole).isValid()) break;
        QThread::msleep(20);
        QCoreApplication::processEvents();
    }
    QCoreApplication::processEvents();
}

void resizeContent(QMainWindow* window, QSize size) {
    window->resize(window->size() + (size - window->centralWidget()->size()));
    QCoreApplication::processEvents();
}

// Scans `folder` and stops the scan once `stopAt` is being analysed.
void scanAndStop(AppDelegate& app, const fs::path& folder, const fs::path& stopAt) {
    const QMetaObject::Connection stopper =
        QObject::connect(app.window()->statusLabel, &ElidedLabel::textChanged, [&](const QString& text) {
            if (text.endsWith(QString::fromStdString(stopAt.filename().string()))) app.stopScan();
        });
    app.window()->pathField->setText(QString::fromStdString(folder.string()));
    app.scan();
    waitUntilIdle(app);
    QObject::disconnect(stopper);
}

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    if (argc != 2) {
        std::cerr << "usage: quillon_app_screenshot <output folder>\n";
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(out);
    const fs::path demo = fs::path(argv[1]) / "demo";
    writeDemoFolder(demo);

    auto recording = std::make_unique<RecordingDialogs>();
    RecordingDialogs& dialogs = *recording;
    AppDelegate app(std::move(recording));
    app.setMainMenu(makeMainMenu());
    app.applicationDidFinishLaunching();
    bool ok = save(app.window(), out + "/01-launch.png");
    app.window()->pathField->setText(QString::fromStdString(demo.string()));
    app.window()->recursiveCheck->setChecked(true);
    app.scan();
    waitUntilIdle(app);
    ok = save(app.window(), out + "/02-recursive-scan.png") && ok;

    // The list of files passed over, as the status line's link shows it.
    app.showPassedOver();
    if (dialogs.boxes.size() != 1) return 1;
    ok = saveBox(app.window(), dialogs.boxes[0], out + "/03-passed-over.png") && ok;
    dialogs.boxes.clear();

    app.window()->fileTable->selectRow(1);
    ok = save(app.window(), out + "/04-levels-loading.png") && ok;
    waitForLevels(app);
    app.window()->activateWindow();
    app.window()->fileTable->setFocus();  // the table with the keyboard shows it
    ok = save(app.window(), out + "/05-file-selected.png") && ok;
    app.setTrackRemoved(4, false);  // the user keeps a quiet plant microphone
    app.setTrackRemoved(0, true);   // and drops the boom, which has signal
    ok = save(app.window(), out + "/06-choice-changed.png") && ok;

    // The confirmations as the controller asks for them; both are declined.
    app.selectAllFiles();
    app.compressSelected();
    app.window()->overwriteCheck->setChecked(true);
    app.compressSelected();
    app.window()->overwriteCheck->setChecked(false);
    if (dialogs.boxes.size() != 2) return 1;
    ok = saveBox(app.window(), dialogs.boxes[0], out + "/07-confirmation.png") && ok;
    ok = saveBox(app.window(), dialogs.boxes[1], out + "/08-confirmation-overwrite.png") && ok;

    // A file that breaks between discovery and analysis is listed with its error.
    ScanOutcome withBroken;
    withBroken.folder = demo;
    withBroken.results = app.results();
    withBroken.results.push_back(quillon::analyzePolyWav(demo / "T005_broken.wav", quillon::ui::kSilenceThreshold));
    app.finishScan(withBroken);
    app.window()->fileTable->selectRow(static_cast<int>(withBroken.results.size()) - 1);
    ok = save(app.window(), out + "/09-error-row.png") && ok;

    // Sorted by the number of empty tracks, at the minimum size.
    app.window()->fileTable->sortByColumn(FileTableModel::Empty, Qt::DescendingOrder);
    resizeContent(app.window(), {760, 480});
    app.window()->fileTable->selectRow(0);
    waitForLevels(app);
    ok = save(app.window(), out + "/10-minimum-size-sorted.png") && ok;
    resizeContent(app.window(), MainLayout::contentSize);

    // Removing from every file: the report names each file by its place in the folder.
    dialogs.boxes.clear();
    dialogs.accept = true;
    app.compressAll();
    waitUntilIdle(app);
    if (dialogs.boxes.size() < 2) return 1;
    ok = saveBox(app.window(), dialogs.boxes[1], out + "/11-report.png") && ok;
    ok = save(app.window(), out + "/12-after-removal.png") && ok;

    // A scan stopped while a long take is read, at both sizes.
    const fs::path stopDemo = fs::path(argv[1]) / "demo-stopped";
    writeDemoFolder(stopDemo);
    writeLongSilentTake(stopDemo / "T002_long.wav", 1u << 30);
    app.window()->fileTable->sortByColumn(-1, Qt::AscendingOrder);
    scanAndStop(app, stopDemo, stopDemo / "T002_long.wav");
    ok = save(app.window(), out + "/13-stopped-scan.png") && ok;
    resizeContent(app.window(), {760, 480});
    ok = save(app.window(), out + "/14-stopped-scan-minimum-size.png") && ok;
    return ok ? 0 : 1;
}
