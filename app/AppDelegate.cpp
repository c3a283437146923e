#include "AppDelegate.h"

#include "Dialogs.h"
#include "ElidedLabel.h"
#include "FileTableModel.h"
#include "MainWindow.h"
#include "TrackTableModel.h"
#include "texts.h"

#include <QAction>
#include <QCheckBox>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QTableView>

#include <algorithm>
#include <stdexcept>

namespace quillon::app {
namespace {

// Names and messages come from files and the file system as UTF-8 bytes;
// invalid sequences show as replacement characters.
QString fromUtf8(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::filesystem::path toPath(const QString& text) {
    return std::filesystem::path(QFile::encodeName(text).toStdString());
}

// Overwriting, replacing earlier copies and removing tracks with signal are
// asked with Cancel as the default.
AlertBox removalConfirmation(std::size_t fileCount, bool overwrite, const std::string& warnings) {
    const QString title = fromUtf8(ui::kRemovalTitle);
    const QString question = fromUtf8(ui::removalQuestion(fileCount, overwrite) + warnings);
    const AlertStyle style = overwrite || !warnings.empty() ? AlertStyle::Critical : AlertStyle::Default;
    return {title, question, style, {overwrite ? fromUtf8(ui::kOverwriteButton) : title, fromUtf8(ui::kCancelButton)}};
}

// The warnings of a removal's confirmation: the copies it would replace and
// the tracks with signal it would remove.
std::string removalWarnings(const std::vector<std::pair<PolyWavInfo, ui::TrackChoice>>& files, bool overwrite,
                            const std::filesystem::path& folder) {
    std::vector<std::string> replaced, active;
    for (const auto& [info, remove] : files) {
        if (const auto copy = ui::existingCopy(info.path, overwrite)) replaced.push_back(ui::shownPath(*copy, folder));
        for (std::string& line : ui::activeTracksRemoved(info, remove, folder)) active.push_back(std::move(line));
    }
    return ui::removalWarnings(replaced, active);
}

// The time slices of a level strip, and how long the selection must rest
// before its file is read for one.
constexpr std::int32_t kOverviewSlices = 400;
constexpr int kOverviewDelayMs = 250;

// Ends a task early when the controller is going away.
struct Stopped : std::runtime_error {
    Stopped() : std::runtime_error("stopped") {}
};

}  // namespace

AppDelegate::AppDelegate(std::unique_ptr<Dialogs> dialogs, QObject* parent)
    : QObject(parent), _dialogs(std::move(dialogs)) {
    _worker.setMaxThreadCount(1);
    _overviewWorker.setMaxThreadCount(1);
    _overviewTimer.setSingleShot(true);
    _overviewTimer.setInterval(kOverviewDelayMs);
    connect(&_overviewTimer, &QTimer::timeout, this, &AppDelegate::startOverview);
}

AppDelegate::~AppDelegate() {
    _stopping = true;
    _scanStop.request_stop();
    cancelOverview();
    _overviewWorker.waitForDone();
    _worker.waitForDone();
}

template <typename Task>
void AppDelegate::postToGui(Task task) {
    QMetaObject::invokeMethod(this, std::move(task), Qt::QueuedConnection);
}

// ---- Shell ----------------------------------------------------------------

void AppDelegate::setMainMenu(QMenuBar* menu) { _mainMenu.reset(menu); }

void AppDelegate::applicationDidFinishLaunching() {
    _fileModel = std::make_unique<FileTableModel>();
    _trackModel = std::make_unique<TrackTableModel>();
    _window = std::make_unique<MainWindow>(*_fileModel, *_trackModel, ui::kSilenceThresholdDb);
    _window->installMenuBar(_mainMenu ? _mainMenu.release() : new QMenuBar);
    connectWindow();
    _window->showCentred();
}

void AppDelegate::connectWindow() {
    connect(_window->browseButton, &QPushButton::clicked, this, &AppDelegate::browse);
    connect(_window->scanButton, &QPushButton::clicked, this, &AppDelegate::scan);
    connect(_window->removeAllButton, &QPushButton::clicked, this, &AppDelegate::compressAll);
    connect(_window->removeSelectedButton, &QPushButton::clicked, this, &AppDelegate::compressSelected);
    connect(_window->selectAllButton, &QPushButton::clicked, this, &AppDelegate::selectAllFiles);
    connect(_window.get(), &MainWindow::folderDropped, this, &AppDelegate::openFolder);
    connect(_window->keepAlikeAction, &QAction::triggered, this, &AppDelegate::keepTracksAlike);
    connect(_window->stopScanAction, &QAction::triggered, this, &AppDelegate::stopScan);
    connect(_window->showPassedOverAction, &QAction::triggered, this, &AppDelegate::showPassedOver);
    connect(_trackModel.get(), &TrackTableModel::removeChanged, this, &AppDelegate::setTrackRemoved);
    const QItemSelectionModel* selection = _window->fileTable->selectionModel();
    connect(selection, &QItemSelectionModel::selectionChanged, this, &AppDelegate::refreshTracks);
    connect(selection, &QItemSelectionModel::currentChanged, this, &AppDelegate::refreshTracks);
}

void AppDelegate::alert(const QString& text) {
    _dialogs->showMessage(_window.get(), {fromUtf8(ui::kAppName), text, AlertStyle::Default, {}});
}

// ---- Scan flow -----------------------------------------------------------

void AppDelegate::setBusy(bool busy, const std::optional<QString>& message) {
    _busy = busy;
    if (busy) cancelOverview();
    if (message) _window->statusLabel->setText(*message);
    _window->progress->setVisible(busy);
}

void AppDelegate::setStatus(const std::string& text) { _window->statusLabel->setText(fromUtf8(text)); }

void AppDelegate::browse() {
    _dialogs->chooseFolder(_window.get(), fromUtf8(ui::kChooseFolderTitle),
                           [this](const QString& folder) { openFolder(folder); });
}

void AppDelegate::openFolder(const QString& folder) {
    _window->pathField->setText(folder);
    scan();
}

void AppDelegate::scan() {
    if (_busy) return;
    const QString folder = _window->pathField->text().trimmed();
    if (folder.isEmpty()) return alert(fromUtf8(ui::kChooseDirectoryFirst));
    if (!QFileInfo(folder).isDir()) return alert(fromUtf8(ui::notADirectoryText(folder.toStdString())));
    setBusy(true, fromUtf8(ui::scanningText(folder.toStdString())));
    _scanning = true;
    startScan(toPath(folder), _window->recursiveCheck->isChecked());
}

void AppDelegate::stopScan() {
    if (!_scanning) return;
    _scanStop.request_stop();
    setStatus(ui::kStopping);
}

void AppDelegate::startScan(std::filesystem::path folder, bool recursive) {
    _scanStop = std::stop_source();
    _worker.start([this, folder = std::move(folder), recursive, stop = _scanStop.get_token()] {
        ScanOutcome outcome;
        outcome.folder = folder;
        outcome.recursive = recursive;
        try {
            outcome.results = scanDirectory(
                folder, recursive, ui::kSilenceThreshold, ui::kMinChannels,
                [this, &outcome](std::int32_t number, std::int32_t count, const std::filesystem::path& path) {
                    reportProgress(number, count, path);
                    outcome.analysed = number;  // counted as done: a scan stops only between files
                    outcome.total = count;
                },
                PeakCoverage::untilDecided, stop);
            outcome.stopped = stop.stop_requested();
            if (!outcome.stopped) outcome.passedOver = passedOverFiles(folder, recursive, ui::kMinChannels);
        } catch (const std::exception& failure) {
            outcome.results.clear();
            outcome.error = failure.what();
        }
        // Posted after the last progress report, so it is also handled after it.
        postToGui([this, outcome = std::move(outcome)]() mutable { finishScan(std::move(outcome)); });
    });
}

void AppDelegate::reportProgress(std::int32_t fileNumber, std::int32_t fileCount, const std::filesystem::path& path) {
    if (_stopping) throw Stopped();
    postToGui([this, text = ui::analyzingText(fileNumber, fileCount, path)] { setStatus(text); });
}

// Hand choices of files that are still there as they were carry over to
// the new list, ticks made during the scan among them.
void AppDelegate::finishScan(ScanOutcome outcome) {
    _scanning = false;
    setBusy(false, std::nullopt);
    if (!outcome.error.empty()) {
        alert(fromUtf8(outcome.error));
        return setStatus(ui::scanFailedText(outcome.error));
    }
    _handChoices.remember(_results, _choices);
    _choices = _handChoices.choicesFor(outcome.results);
    _results = std::move(outcome.results);
    _folder = std::move(outcome.folder);
    _passedOver = std::move(outcome.passedOver);
    _overviews.clear();
    _trackModel->setFile(nullptr, {});
    _fileModel->setResults(_results, _folder);
    for (std::size_t row = 0; row < _results.size(); ++row)
        if (ui::isHandChoice(_results[row], _choices[row])) markChoice(row);
    setStatus(outcome.stopped ? ui::stoppedText(outcome.analysed, outcome.total)
                              : ui::foundText(_results) +
                                    ui::passedOverText(_passedOver.size(), _results.size(), outcome.recursive));
    _window->passedOverLink->setVisible(!_passedOver.empty());
    _window->metaLabel->setText(QString());
    if (!_results.empty()) selectOnlyFileRow(0);
    refreshTracks();
}

void AppDelegate::showPassedOver() {
    std::string lines;
    for (const PassedOverFile& file : _passedOver) lines += ui::passedOverLine(file, _folder) + '\n';
    _dialogs->showMessage(_window.get(), {fromUtf8(ui::passedOverTitle(_passedOver.size())), fromUtf8(lines),
                                          AlertStyle::Default, {}});
}

// ---- Tables ----------------------------------------------------------------

void AppDelegate::selectOnlyFileRow(int tableRow) {
    _window->fileTable->selectionModel()->setCurrentIndex(
        _window->fileOrder->index(tableRow, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

std::optional<std::size_t> AppDelegate::currentFileRow() const {
    const QItemSelectionModel* selection = _window->fileTable->selectionModel();
    const QModelIndex current = selection->currentIndex();
    if (current.isValid() && selection->isRowSelected(current.row(), QModelIndex()))
        return static_cast<std::size_t>(_window->fileOrder->mapToSource(current).row());
    // The row last clicked was deselected: fall back on another selected row.
    const std::vector<std::size_t> selected = selectedFileIndexes();
    if (selected.empty()) return std::nullopt;
    return selected.back();
}

void AppDelegate::refreshTracks() {
    const std::optional<std::size_t> row = currentFileRow();
    const PolyWavInfo* file = row && *row < _results.size() ? &_results[*row] : nullptr;
    _trackModel->setFile(file, file ? _choices[*row] : ui::TrackChoice{});
    _window->trackTitle->setText(file ? fromUtf8(ui::tracksOfText(file->path, _folder)) : QString());
    _window->metaLabel->setText(file ? fromUtf8(ui::captionText(*file)) : QString());
    cancelOverview();
    if (!file) return;
    if (const auto known = _overviews.find(file->path); known != _overviews.end())
        _trackModel->setOverview(known->second.peaks, known->second.error);
    else
        _overviewTimer.start();
}

void AppDelegate::selectAllFiles() {
    _window->fileTable->selectAll();
    refreshTracks();
}

std::vector<std::size_t> AppDelegate::selectedFileIndexes() const {
    std::vector<std::size_t> rows;
    for (const QModelIndex& index : _window->fileTable->selectionModel()->selectedRows())
        rows.push_back(static_cast<std::size_t>(_window->fileOrder->mapToSource(index).row()));
    std::sort(rows.begin(), rows.end());
    return rows;
}

// ---- Level overview ----------------------------------------------------------

// One full read of the selected file, off the GUI thread; its result is kept
// for the file and shown if the file is still the one selected.
void AppDelegate::startOverview() {
    const std::optional<std::size_t> row = currentFileRow();
    if (_busy || !row || *row >= _results.size() || !_results[*row].error.empty()) return;
    _overviewStop = std::stop_source();
    _overviewWorker.start([this, path = _results[*row].path, stop = _overviewStop.get_token()] {
        LevelOverview overview = levelOverview(path, kOverviewSlices, stop);
        if (stop.stop_requested()) return;
        postToGui([this, path, overview = std::move(overview)] {
            _overviews[path] = overview;
            const std::optional<std::size_t> current = currentFileRow();
            if (current && *current < _results.size() && _results[*current].path == path)
                _trackModel->setOverview(overview.peaks, overview.error);
        });
    });
}

void AppDelegate::cancelOverview() {
    _overviewTimer.stop();
    _overviewStop.request_stop();
}

// ---- Choice of tracks --------------------------------------------------------

void AppDelegate::setTrackRemoved(int track, bool remove) {
    const std::optional<std::size_t> row = currentFileRow();
    if (!row || *row >= _choices.size() || static_cast<std::size_t>(track) >= _choices[*row].size()) return;
    _choices[*row][static_cast<std::size_t>(track)] = remove;
    _trackModel->setChoice(_choices[*row]);
    markChoice(*row);
}

void AppDelegate::markChoice(std::size_t row) {
    _fileModel->setChoiceChanged(static_cast<int>(row), _choices[row] != ui::emptyTracksOf(_results[row]));
}

void AppDelegate::keepTracksAlike() {
    const std::vector<std::size_t> rows = selectedFileIndexes();
    std::vector<PolyWavInfo> files;
    std::vector<ui::TrackChoice> choices;
    for (const std::size_t row : rows) {
        files.push_back(_results[row]);
        choices.push_back(_choices[row]);
    }
    choices = ui::keepTracksAlike(files, std::move(choices));
    for (std::size_t i = 0; i < rows.size(); ++i) {
        _choices[rows[i]] = choices[i];
        markChoice(rows[i]);
    }
    refreshTracks();
}

// ---- Removal flow ----------------------------------------------------------

void AppDelegate::compressSelected() {
    const std::vector<std::size_t> rows = selectedFileIndexes();
    if (rows.empty()) return alert(fromUtf8(ui::kSelectFiles));
    runCompress(rows);
}

void AppDelegate::compressAll() {
    std::vector<std::size_t> rows;
    for (std::size_t row = 0; row < _results.size(); ++row)
        if (ui::hasEmptyTracks(ui::withChoice(_results[row], _choices[row]))) rows.push_back(row);
    if (rows.empty()) return alert(fromUtf8(ui::kNoFilesWithEmptyTracks));
    runCompress(rows);
}

void AppDelegate::runCompress(const std::vector<std::size_t>& rows) {
    if (_busy) return;
    // The task gets copies of the records and choices and never reads _results itself.
    std::vector<std::pair<PolyWavInfo, ui::TrackChoice>> files;
    for (const std::size_t row : rows)
        if (row < _results.size() && ui::isRemovalCandidate(ui::withChoice(_results[row], _choices[row])))
            files.emplace_back(_results[row], _choices[row]);
    if (files.empty()) return alert(fromUtf8(ui::kNoCandidates));
    const bool overwrite = _window->overwriteCheck->isChecked();
    const std::string warnings = removalWarnings(files, overwrite, _folder);
    if (!_dialogs->confirm(_window.get(), removalConfirmation(files.size(), overwrite, warnings))) return;
    setBusy(true, fromUtf8(ui::removingText(files.size())));
    startRemoval(std::move(files), overwrite);
}

// Each file loses exactly its ticked tracks. The writer gets the scan's
// analysis, so it reads the file once and refuses it if it has changed.
void AppDelegate::startRemoval(std::vector<std::pair<PolyWavInfo, ui::TrackChoice>> files, bool overwrite) {
    _worker.start([this, files = std::move(files), overwrite, folder = _folder] {
        RemovalReport report;
        for (const auto& [info, remove] : files) {
            if (_stopping) return;
            try {
                const std::filesystem::path written = removeTracks(info.path, info, remove, overwrite);
                report.successLog += ui::successLine(ui::withChoice(info, remove), written, folder) + '\n';
                ++report.filesDone;
            } catch (const std::exception& failure) {
                report.errorLog += ui::errorLine(info, failure.what(), folder) + '\n';
                ++report.filesFailed;
            }
        }
        postToGui([this, report = std::move(report)] { finishRemoval(report); });
    });
}

void AppDelegate::finishRemoval(const RemovalReport& report) {
    setBusy(false, fromUtf8(ui::removalDoneText(report.filesDone, report.filesFailed)));
    _dialogs->showMessage(_window.get(), {fromUtf8(ui::kRemovalCompleteTitle),
                                          fromUtf8(ui::removalReport(report.successLog, report.errorLog)),
                                          AlertStyle::Default,
                                          {}});
    scan();
}

}  // namespace quillon::app
