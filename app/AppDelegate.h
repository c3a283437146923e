// The controller of the single window: owns the results of the last scan and
// runs scans and empty-track removals on one background worker. Everything
// here runs on the GUI thread; the worker only calls the engine and hands
// its results back through queued calls.
#pragma once

#include "texts.h"

#include <quillon/quillon.h>

#include <QObject>
#include <QString>
#include <QThreadPool>
#include <QTimer>

#include <atomic>
#include <cstddef>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <utility>
#include <vector>

class QMenuBar;

namespace quillon::app {

class Dialogs;
class FileTableModel;
class MainWindow;
class TrackTableModel;

// What a background scan hands back: the results and the .wav files passed
// over, or the message of the exception that ended it (then `results` is
// empty). A scan the user stopped has the files analysed so far, of `total`.
struct ScanOutcome {
    std::filesystem::path folder;
    bool recursive = false;
    std::string error;
    std::vector<PolyWavInfo> results;
    std::vector<PassedOverFile> passedOver;
    bool stopped = false;
    std::int32_t analysed = 0;
    std::int32_t total = 0;
};

// What a background removal hands back: one line per file in either log,
// as UTF-8 bytes.
struct RemovalReport {
    std::string successLog;
    std::string errorLog;
    int filesDone = 0;
    int filesFailed = 0;
};

class AppDelegate : public QObject {
    Q_OBJECT
public:
    explicit AppDelegate(std::unique_ptr<Dialogs> dialogs, QObject* parent = nullptr);
    ~AppDelegate() override;

    // Shell
    void setMainMenu(QMenuBar* menu);  // installed on the window at launch
    void applicationDidFinishLaunching();
    void alert(const QString& text);

    // Scan flow
    void setBusy(bool busy, const std::optional<QString>& message);
    void browse();
    void openFolder(const QString& folder);  // a folder picked or dropped: show it and scan it
    void scan();
    void stopScan();  // the files analysed so far stay listed
    void finishScan(ScanOutcome outcome);
    void showPassedOver();

    // Tables. Rows are those of results(), whatever order the table shows.
    void refreshTracks();
    void selectAllFiles();
    std::vector<std::size_t> selectedFileIndexes() const;
    std::optional<std::size_t> currentFileRow() const;

    // Choice of tracks: a tick in the track table, and the same layout across
    // the selected takes.
    void setTrackRemoved(int track, bool remove);
    void keepTracksAlike();

    // Removal flow
    void compressSelected();
    void compressAll();
    void runCompress(const std::vector<std::size_t>& rows);
    void finishRemoval(const RemovalReport& report);

    const std::vector<PolyWavInfo>& results() const { return _results; }
    const std::vector<ui::TrackChoice>& choices() const { return _choices; }
    bool busy() const { return _busy; }
    MainWindow* window() const { return _window.get(); }

private:
    void connectWindow();
    void startScan(std::filesystem::path folder, bool recursive);
    void startRemoval(std::vector<std::pair<PolyWavInfo, ui::TrackChoice>> files, bool overwrite);
    void markChoice(std::size_t row);
    void startOverview();
    void cancelOverview();
    void reportProgress(std::int32_t fileNumber, std::int32_t fileCount, const std::filesystem::path& path);
    void selectOnlyFileRow(int tableRow);
    void setStatus(const std::string& text);
    template <typename Task>
    void postToGui(Task task);

    std::vector<PolyWavInfo> _results;
    std::vector<ui::TrackChoice> _choices;  // per file of _results: the tracks to remove
    ui::HandChoices _handChoices;           // of every file chosen by hand so far, listed or not
    std::filesystem::path _folder;          // the folder _results come from
    std::vector<PassedOverFile> _passedOver;
    // The level of the files' tracks over the take, kept until the next scan.
    std::map<std::filesystem::path, LevelOverview> _overviews;
    bool _busy = false;
    bool _scanning = false;  // busy with a scan, which the user may stop
    // Declared before the window so that the tables never outlive their models.
    std::unique_ptr<Dialogs> _dialogs;
    std::unique_ptr<QMenuBar> _mainMenu;
    std::unique_ptr<FileTableModel> _fileModel;
    std::unique_ptr<TrackTableModel> _trackModel;
    std::unique_ptr<MainWindow> _window;

    // Set when the controller goes away, so a running task stops early.
    std::atomic<bool> _stopping{false};
    std::stop_source _scanStop;
    // The overview of the selected file is read once the selection settles,
    // on its own worker, and stopped when it is no longer wanted.
    QTimer _overviewTimer;
    std::stop_source _overviewStop;
    // Declared last: destroyed first, after their tasks have finished.
    QThreadPool _overviewWorker;
    QThreadPool _worker;
};

}  // namespace quillon::app
