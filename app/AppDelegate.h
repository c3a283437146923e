// The controller of the single window: builds it, owns the results of the
// last scan, and runs scans and empty-track removals on one background worker.
// Everything here runs on the GUI thread; the worker only calls the engine and
// hands its results back through queued calls.
#pragma once

#include "ColumnTableModel.h"

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

class QCheckBox;
class QLineEdit;
class QMainWindow;
class QMenuBar;
class QMimeData;
class QProgressBar;
class QTableView;
class QWidget;

namespace quillon::app {

class Dialogs;
class ElidedLabel;
class FileTableModel;
class TrackTableModel;

// What a background scan hands back: the results, or the message of the
// exception that ended it (then `results` is empty).
struct ScanOutcome {
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
    ElidedLabel* makeLabel(const QString& text);
    QWidget* makeScrollTable(QTableView*& table, ColumnTableModel& model, std::vector<TableColumn> columns);
    void alert(const QString& text);

    // Scan flow
    void setBusy(bool busy, const std::optional<QString>& message);
    void browse();
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

    // A folder dropped on the window, or picked with Browse…: show it and scan it.
    void openFolder(const QString& folder);
    static std::optional<QString> droppedFolder(const QMimeData& mime);

    const std::vector<PolyWavInfo>& results() const { return _results; }
    bool busy() const { return _busy; }
    QMainWindow* window() const { return _window.get(); }
    QLineEdit* pathField() const { return _pathField; }
    QCheckBox* recursiveCheck() const { return _recursiveCheck; }
    QCheckBox* overwriteCheck() const { return _overwriteCheck; }
    QTableView* fileTable() const { return _fileTable; }
    QTableView* trackTable() const { return _trackTable; }
    ElidedLabel* metaLabel() const { return _metaLabel; }
    ElidedLabel* statusLabel() const { return _statusLabel; }
    QProgressBar* progress() const { return _progress; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void startScan(std::filesystem::path folder, bool recursive);
    void startRemoval(std::vector<PolyWavInfo> files, bool overwrite);
    void reportProgress(std::int32_t fileNumber, std::int32_t fileCount, const std::filesystem::path& path);
    void selectOnlyFileRow(int row);
    template <typename Task>
    void postToGui(Task task);

    std::vector<PolyWavInfo> _results;
    bool _busy = false;
    // Declared before the window so that the tables never outlive their models.
    std::unique_ptr<Dialogs> dialogs_;
    std::unique_ptr<QMenuBar> mainMenu_;
    std::unique_ptr<FileTableModel> fileModel_;
    std::unique_ptr<TrackTableModel> trackModel_;
    std::unique_ptr<QMainWindow> _window;
    QLineEdit* _pathField = nullptr;
    QCheckBox* _recursiveCheck = nullptr;
    QCheckBox* _overwriteCheck = nullptr;
    QTableView* _fileTable = nullptr;
    QTableView* _trackTable = nullptr;
    ElidedLabel* _metaLabel = nullptr;
    ElidedLabel* _statusLabel = nullptr;
    QProgressBar* _progress = nullptr;

    // Set when the controller goes away, so a running task stops early.
    std::atomic<bool> stopping_{false};
    // Declared last: destroyed first, after its task has finished.
    QThreadPool worker_;
};

}  // namespace quillon::app
