// The controller of the single window: owns the results of the last scan and
// runs scans and empty-track removals on one background worker. Everything
// here runs on the GUI thread; the worker only calls the engine and hands
// its results back through queued calls.
#pragma once

#include <quillon/quillon.h>

#include <QObject>
#include <QString>
#include <QThreadPool>

#include <atomic>
#include <cstddef>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QMenuBar;

namespace quillon::app {

class Dialogs;
class FileTableModel;
class MainWindow;
class TrackTableModel;

// What a background scan hands back: the results, or the message of the
// exception that ended it (then `results` is empty).
struct ScanOutcome {
    std::filesystem::path folder;
    std::string error;
    std::vector<PolyWavInfo> results;
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
    void finishScan(ScanOutcome outcome);

    // Tables
    void refreshTracks();
    void selectAllFiles();
    std::vector<std::size_t> selectedFileIndexes() const;
    std::optional<std::size_t> currentFileRow() const;

    // Removal flow
    void compressSelected();
    void compressAll();
    void runCompress(const std::vector<std::size_t>& rows);
    void finishRemoval(const RemovalReport& report);

    const std::vector<PolyWavInfo>& results() const { return _results; }
    bool busy() const { return _busy; }
    MainWindow* window() const { return _window.get(); }

private:
    void connectWindow();
    void startScan(std::filesystem::path folder, bool recursive);
    void startRemoval(std::vector<PolyWavInfo> files, bool overwrite);
    void reportProgress(std::int32_t fileNumber, std::int32_t fileCount, const std::filesystem::path& path);
    void selectOnlyFileRow(int row);
    void setStatus(const std::string& text);
    template <typename Task>
    void postToGui(Task task);

    std::vector<PolyWavInfo> _results;
    bool _busy = false;
    // Declared before the window so that the tables never outlive their models.
    std::unique_ptr<Dialogs> _dialogs;
    std::unique_ptr<QMenuBar> _mainMenu;
    std::unique_ptr<FileTableModel> _fileModel;
    std::unique_ptr<TrackTableModel> _trackModel;
    std::unique_ptr<MainWindow> _window;

    // Set when the controller goes away, so a running task stops early.
    std::atomic<bool> _stopping{false};
    // Declared last: destroyed first, after its task has finished.
    QThreadPool _worker;
};

}  // namespace quillon::app
