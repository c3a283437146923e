// Renders the main window and its message boxes into PNG files so that the
// layout can be looked at without a display: quillon_app_screenshot <folder>.
// A demo folder of takes is generated next to the pictures and scanned with
// the real engine.
#include "app_test_support.h"

#include "ElidedLabel.h"
#include "WidgetDialogs.h"
#include "wav_builder.h"

#include <QApplication>
#include <QDir>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMessageBox>
#include <QCheckBox>
#include <QTableView>

#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace quillon::app;
using namespace quillon::app::testing;

namespace {

// iXML as a field recorder writes it: 25 fps timecode and named tracks.
std::string recorderIxml(std::uint64_t samplesSinceMidnight, const std::vector<std::string>& names) {
    std::string xml = ixmlTrackNames(names);
    const std::string speed = "<SPEED><TIMECODE_RATE>25/1</TIMECODE_RATE><TIMESTAMP_SAMPLES_SINCE_MIDNIGHT_LO>" +
                              std::to_string(samplesSinceMidnight) +
                              "</TIMESTAMP_SAMPLES_SINCE_MIDNIGHT_LO></SPEED>";
    xml.insert(xml.find("<TRACK_LIST>"), speed);
    return xml;
}

std::uint64_t at(int hours, int minutes, int seconds) {
    return static_cast<std::uint64_t>((hours * 3600 + minutes * 60 + seconds)) * 48000u;
}

void writeDemoFolder(const fs::path& folder) {
    fs::remove_all(folder);
    fs::create_directories(folder);
    // Lengths are kept short so that the demo folder stays small.
    writePolyFile(folder / "T001.wav",
                  {.levels = {0.8, 0.4, 0.0, 0.3, 0.0, 0.2, 0.5, 0.6},
                   .frames = 48000 * 12,
                   .ixml = recorderIxml(at(10, 4, 33), {"Boom", "Lav Anna", "Lav Ben", "Lav Cleo", "Plant", "Wild",
                                                        "Mix L", "Mix R"})});
    writePolyFile(folder / "T002.wav",
                  {.levels = {0.7, 0.5, 0.6, 0.4},
                   .frames = 48000 * 25,
                   .ixml = recorderIxml(at(10, 9, 2), {"Boom", "Lav Anna", "Mix L", "Mix R"})});
    writePolyFile(folder / "T003.wav",
                  {.levels = {0.9, 0.0, 0.0, 0.0, 0.25, 1.4}, .isFloat = true, .sampleRate = 96000, .frames = 96000 * 8});
    writePolyFile(folder / "T004.wav", {.levels = {0.0, 0.0}, .frames = 48000 * 40});
    writePolyFile(folder / "Scene 12 Take 3 - exterior street, second unit, wide and close, alternate.wav",
                  {.levels = {0.5, 0.0, 0.5}, .frames = 48000 * 31});
    writePolyFile(folder / "T000_mono.wav", {.levels = {0.5}});
    quillon::testing::writeFile(folder / "T005_broken.wav", "RIFF\x04\x00\x00\x00WAVE");
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
    const std::unique_ptr<QMessageBox> box = WidgetDialogs::buildMessageBox(parent, request);
    box->show();
    const bool saved = save(box.get(), file);
    box->hide();
    return saved;
}

}  // namespace

int main(int argc, char** argv) {
    quietOffscreenPlatform();
    QApplication application(argc, argv);
    if (argc != 2) {
        std::cerr << "usage: quillon_app_screenshot <output folder>\n";
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(out);
    const fs::path demo = fs::path(argv[1]) / "demo";
    writeDemoFolder(demo);

    Harness harness;
    AppDelegate& app = harness.app();
    bool ok = save(app.window(), out + "/1-launch.png");
    if (!harness.scanFolder(demo)) return 1;
    ok = save(app.window(), out + "/2-after-scan.png") && ok;

    QItemSelectionModel* selection = app.fileTable()->selectionModel();
    selection->setCurrentIndex(app.fileTable()->model()->index(2, 0),
                               QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    ok = save(app.window(), out + "/3-file-selected.png") && ok;

    // The confirmations as the controller asks for them; both are declined.
    harness.dialogs().confirmAnswers = {false, false};
    app.selectAllFiles();
    app.compressSelected();
    app.overwriteCheck()->setChecked(true);
    app.compressSelected();
    app.overwriteCheck()->setChecked(false);
    const auto& shown = harness.dialogs().shown;
    if (shown.size() != 2) return 1;
    ok = saveBox(app.window(), shown[0].box, out + "/4-confirmation.png") && ok;
    ok = saveBox(app.window(), shown[1].box, out + "/5-confirmation-overwrite.png") && ok;

    // A file that breaks between discovery and analysis is listed with its error.
    std::vector<quillon::PolyWavInfo> results = app.results();
    results.push_back(quillon::analyzePolyWav(demo / "T005_broken.wav", 0.001));
    app.finishScan({"", results});
    app.fileTable()->selectRow(static_cast<int>(results.size()) - 1);
    ok = save(app.window(), out + "/6-error-row.png") && ok;

    harness.resizeContent({760, 480});
    app.fileTable()->selectRow(0);
    ok = save(app.window(), out + "/7-minimum-size.png") && ok;

    harness.dialogs().shown.clear();
    app.fileTable()->selectRow(0);
    app.compressSelected();
    if (!harness.waitUntilIdle() || harness.dialogs().shown.size() < 2) return 1;
    ok = saveBox(app.window(), harness.dialogs().shown[1].box, out + "/8-report.png") && ok;
    ok = save(app.window(), out + "/9-after-removal.png") && ok;
    return ok ? 0 : 1;
}
