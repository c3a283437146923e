#include "AppDelegate.h"

#include "AppIcon.h"
#include "Dialogs.h"
#include "ElidedLabel.h"
#include "FileTableModel.h"
#include "MainLayout.h"
#include "TrackTableModel.h"
#include "texts.h"

#include <QCheckBox>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenuBar>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTableView>

#include <algorithm>
#include <stdexcept>

namespace quillon::app {
namespace {

constexpr int rowHeight = 22;

const std::vector<TableColumn>& fileColumns() {
    static const std::vector<TableColumn> columns{{"file", "Polyphonic WAV files", 520, true}};
    return columns;
}

const std::vector<TableColumn>& trackColumns() {
    static const std::vector<TableColumn> columns{
        {"num", "#", 40}, {"name", "Name", 140, true}, {"peak", "Peak", 80}, {"status", "Status", 70}};
    return columns;
}

// Names and messages come from files and the file system as UTF-8 bytes;
// invalid sequences show as replacement characters.
QString fromUtf8(const std::string& text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

std::filesystem::path toPath(const QString& text) { return std::filesystem::path(QFile::encodeName(text).toStdString()); }

bool hasEmptyTracks(const PolyWavInfo& info) { return info.error.empty() && info.emptyCount() > 0; }

AlertBox removalConfirmation(std::size_t fileCount, bool overwrite) {
    const QString count = QString::number(fileCount);
    if (overwrite)
        return {QStringLiteral("Remove Empty Tracks"),
                QStringLiteral("Remove empty tracks from %1 file(s) and OVERWRITE the originals?\n\n"
                               "Timecode (bext), iXML, and other metadata are preserved, but you will not keep a "
                               "backup of the original file. Prefer leaving overwrite OFF so *_SLIM.wav copies are "
                               "written instead.")
                    .arg(count),
                AlertStyle::Critical,
                {QStringLiteral("Overwrite"), QStringLiteral("Cancel")}};
    return {QStringLiteral("Remove Empty Tracks"),
            QStringLiteral("Remove empty tracks from %1 file(s) and write *_SLIM.wav beside each original?\n\n"
                           "bext timecode, iXML (scene/take/track names), and other metadata chunks are copied into "
                           "the new files. Originals are left untouched.")
                .arg(count),
            AlertStyle::Default,
            {QStringLiteral("Remove Empty Tracks"), QStringLiteral("Cancel")}};
}

QString reportText(const RemovalReport& report) {
    std::string text;
    if (!report.successLog.empty()) text += "Success:\n" + report.successLog;
    if (!report.errorLog.empty()) {
        if (!text.empty()) text += '\n';
        text += "Errors:\n" + report.errorLog;
    }
    return fromUtf8(text);
}

// A push button with room around its title: the styles' own hint leaves the
// text nearly touching the frame.
class PushButton : public QPushButton {
public:
    using QPushButton::QPushButton;
    QSize sizeHint() const override { return QPushButton::sizeHint() + QSize(2 * horizontalPadding, 0); }

private:
    static constexpr int horizontalPadding = 8;
};

// Ends a task early when the controller is going away.
struct Stopped : std::runtime_error {
    Stopped() : std::runtime_error("stopped") {}
};

}  // namespace

AppDelegate::AppDelegate(std::unique_ptr<Dialogs> dialogs, QObject* parent)
    : QObject(parent), dialogs_(std::move(dialogs)) {
    worker_.setMaxThreadCount(1);
}

AppDelegate::~AppDelegate() {
    stopping_ = true;
    worker_.waitForDone();
}

template <typename Task>
void AppDelegate::postToGui(Task task) {
    QMetaObject::invokeMethod(this, std::move(task), Qt::QueuedConnection);
}

// ---- Shell ----------------------------------------------------------------

void AppDelegate::setMainMenu(QMenuBar* menu) { mainMenu_.reset(menu); }

void AppDelegate::applicationDidFinishLaunching() {
    _window = std::make_unique<QMainWindow>();
    _window->setWindowTitle(QStringLiteral("Quillon"));
    _window->setWindowIcon(appIcon());
    if (mainMenu_) _window->setMenuBar(mainMenu_.release());
    auto* content = new QWidget;
    content->setMinimumSize(MainLayout::minimumContentSize);
    _window->setCentralWidget(content);
    _window->setAcceptDrops(true);
    _window->installEventFilter(this);

    _pathField = new QLineEdit;
    _pathField->setPlaceholderText(QStringLiteral("Choose a directory with polyphonic WAV files\u2026"));
    _pathField->setAcceptDrops(false);  // a dropped folder goes to the window, which scans it
    auto* browseButton = new PushButton(QStringLiteral("Browse\u2026"));
    connect(browseButton, &QPushButton::clicked, this, &AppDelegate::browse);
    auto* scanButton = new PushButton(QStringLiteral("Scan"));
    connect(scanButton, &QPushButton::clicked, this, &AppDelegate::scan);
    _recursiveCheck = new QCheckBox(QStringLiteral("Include subfolders"));
    _overwriteCheck = new QCheckBox(QStringLiteral("Overwrite originals when removing empty tracks"));
    _overwriteCheck->setChecked(false);

    fileModel_ = std::make_unique<FileTableModel>(_results);
    QWidget* fileList = makeScrollTable(_fileTable, *fileModel_, fileColumns());
    _fileTable->setSelectionMode(QAbstractItemView::ExtendedSelection);
    connect(_fileTable->selectionModel(), &QItemSelectionModel::selectionChanged, this, &AppDelegate::refreshTracks);
    connect(_fileTable->selectionModel(), &QItemSelectionModel::currentChanged, this, &AppDelegate::refreshTracks);

    trackModel_ = std::make_unique<TrackTableModel>(_results, [this] { return currentFileRow(); });
    QWidget* trackList = makeScrollTable(_trackTable, *trackModel_, trackColumns());
    _trackTable->setSelectionMode(QAbstractItemView::ExtendedSelection);

    _metaLabel = makeLabel(QString());
    _statusLabel = makeLabel(QStringLiteral("Choose a directory to scan for polyphonic WAV files."));
    _progress = new QProgressBar;
    _progress->setRange(0, 0);
    _progress->setTextVisible(false);
    _progress->setVisible(false);

    auto* removeAllButton = new PushButton(QStringLiteral("Remove Empty Tracks From All"));
    connect(removeAllButton, &QPushButton::clicked, this, &AppDelegate::compressAll);
    auto* removeSelectedButton = new PushButton(QStringLiteral("Remove Empty Tracks From Selected"));
    connect(removeSelectedButton, &QPushButton::clicked, this, &AppDelegate::compressSelected);
    auto* selectAllButton = new PushButton(QStringLiteral("Select All"));
    connect(selectAllButton, &QPushButton::clicked, this, &AppDelegate::selectAllFiles);

    // Added in the order in which the layout expects them.
    QWidget* const controls[] = {_pathField,       browseButton,         scanButton,      _recursiveCheck,
                                 _overwriteCheck,  fileList,             trackList,       _metaLabel,
                                 removeAllButton,  removeSelectedButton, selectAllButton, _statusLabel,
                                 _progress};
    auto* layout = new MainLayout(content);
    for (QWidget* control : controls) layout->addWidget(control);

    const int menuHeight = _window->menuBar() ? _window->menuBar()->sizeHint().height() : 0;
    const QSize windowSize = MainLayout::contentSize + QSize(0, menuHeight);
    const QRect screen = _window->screen()->availableGeometry();
    _window->setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, windowSize, screen));
    _window->show();
    _window->raise();
    _window->activateWindow();
}

ElidedLabel* AppDelegate::makeLabel(const QString& text) { return new ElidedLabel(text); }

QWidget* AppDelegate::makeScrollTable(QTableView*& table, ColumnTableModel& model, std::vector<TableColumn> columns) {
    table = new QTableView;
    table->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    table->setFrameShape(QFrame::StyledPanel);
    table->setAlternatingRowColors(true);
    table->setShowGrid(false);
    table->setWordWrap(false);
    table->setTextElideMode(Qt::ElideMiddle);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->verticalHeader()->setVisible(false);
    table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table->verticalHeader()->setDefaultSectionSize(rowHeight);
    table->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    table->horizontalHeader()->setHighlightSections(false);
    table->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

    model.setColumns(std::move(columns));
    table->setModel(&model);
    for (std::size_t i = 0; i < model.columns().size(); ++i) {
        const auto column = static_cast<int>(i);
        table->setColumnWidth(column, static_cast<int>(model.columns()[i].width));
        if (model.columns()[i].fills) table->horizontalHeader()->setSectionResizeMode(column, QHeaderView::Stretch);
    }
    return table;
}

void AppDelegate::alert(const QString& text) {
    dialogs_->showMessage(_window.get(), {QStringLiteral("Quillon"), text, AlertStyle::Default, {}});
}

// ---- Scan flow -----------------------------------------------------------

void AppDelegate::setBusy(bool busy, const std::optional<QString>& message) {
    _busy = busy;
    if (message) _statusLabel->setText(*message);
    _progress->setVisible(busy);
}

void AppDelegate::browse() {
    dialogs_->chooseFolder(_window.get(), QStringLiteral("Select folder with polyphonic WAV files"),
                           [this](const QString& folder) { openFolder(folder); });
}

void AppDelegate::openFolder(const QString& folder) {
    _pathField->setText(folder);
    scan();
}

void AppDelegate::scan() {
    if (_busy) return;
    const QString folder = _pathField->text().trimmed();
    if (folder.isEmpty()) {
        alert(QStringLiteral("Choose a directory first."));
        return;
    }
    if (!QFileInfo(folder).isDir()) {
        alert(QStringLiteral("Not a directory:\n%1").arg(folder));
        return;
    }
    const bool recursive = _recursiveCheck->isChecked();
    setBusy(true, QStringLiteral("Scanning %1\u2026").arg(folder));
    startScan(toPath(folder), recursive);
}

void AppDelegate::startScan(std::filesystem::path folder, bool recursive) {
    worker_.start([this, folder = std::move(folder), recursive] {
        ScanOutcome outcome;
        try {
            outcome.results = scanDirectory(folder, recursive, ui::kSilenceThreshold, ui::kMinChannels,
                                            [this](std::int32_t number, std::int32_t count,
                                                   const std::filesystem::path& path) {
                                                reportProgress(number, count, path);
                                            });
        } catch (const std::exception& failure) {
            outcome.results.clear();
            outcome.error = failure.what();
        }
        // Posted after the last progress report, so it is also handled after it.
        postToGui([this, outcome = std::move(outcome)]() mutable { finishScan(std::move(outcome)); });
    });
}

void AppDelegate::reportProgress(std::int32_t fileNumber, std::int32_t fileCount, const std::filesystem::path& path) {
    if (stopping_) throw Stopped();
    QString text = fromUtf8(ui::analyzingText(fileNumber, fileCount, path));
    postToGui([this, text = std::move(text)] { _statusLabel->setText(text); });
}

void AppDelegate::finishScan(ScanOutcome outcome) {
    setBusy(false, std::nullopt);
    if (!outcome.error.empty()) {
        alert(fromUtf8(outcome.error));
        _statusLabel->setText(fromUtf8(ui::scanFailedText(outcome.error)));
        return;
    }
    trackModel_->reload([&] { fileModel_->reload([&] { _results = std::move(outcome.results); }); });
    _statusLabel->setText(fromUtf8(ui::foundText(_results)));
    _metaLabel->setText(QString());
    if (!_results.empty()) {
        selectOnlyFileRow(0);
        refreshTracks();
    }
}

// ---- Tables ----------------------------------------------------------------

void AppDelegate::selectOnlyFileRow(int row) {
    _fileTable->selectionModel()->setCurrentIndex(fileModel_->index(row, 0),
                                                  QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

std::optional<std::size_t> AppDelegate::currentFileRow() const {
    const QItemSelectionModel* selection = _fileTable->selectionModel();
    const QModelIndex current = selection->currentIndex();
    if (current.isValid() && selection->isRowSelected(current.row(), QModelIndex()))
        return static_cast<std::size_t>(current.row());
    // The row last clicked was deselected: fall back on another selected row.
    const std::vector<std::size_t> selected = selectedFileIndexes();
    if (selected.empty()) return std::nullopt;
    return selected.back();
}

void AppDelegate::refreshTracks() {
    trackModel_->reload();
    const std::optional<std::size_t> row = currentFileRow();
    _metaLabel->setText(row && *row < _results.size() ? fromUtf8(ui::captionText(_results[*row])) : QString());
}

void AppDelegate::selectAllFiles() {
    _fileTable->selectAll();
    refreshTracks();
}

std::vector<std::size_t> AppDelegate::selectedFileIndexes() const {
    std::vector<std::size_t> rows;
    for (const QModelIndex& index : _fileTable->selectionModel()->selectedRows())
        rows.push_back(static_cast<std::size_t>(index.row()));
    std::sort(rows.begin(), rows.end());
    return rows;
}

// ---- Removal flow ----------------------------------------------------------

void AppDelegate::compressSelected() {
    const std::vector<std::size_t> rows = selectedFileIndexes();
    if (rows.empty()) {
        alert(QStringLiteral("Select one or more files."));
        return;
    }
    runCompress(rows);
}

void AppDelegate::compressAll() {
    std::vector<std::size_t> rows;
    for (std::size_t row = 0; row < _results.size(); ++row)
        if (hasEmptyTracks(_results[row])) rows.push_back(row);
    if (rows.empty()) {
        alert(QStringLiteral("No files with empty tracks."));
        return;
    }
    runCompress(rows);
}

void AppDelegate::runCompress(const std::vector<std::size_t>& rows) {
    if (_busy) return;
    // The task gets copies of the records and never reads _results itself.
    std::vector<PolyWavInfo> files;
    for (const std::size_t row : rows)
        if (row < _results.size() && ui::isRemovalCandidate(_results[row])) files.push_back(_results[row]);
    if (files.empty()) {
        alert(QStringLiteral("None of the selected files have empty tracks to remove (or all tracks are empty)."));
        return;
    }
    const bool overwrite = _overwriteCheck->isChecked();
    if (!dialogs_->confirm(_window.get(), removalConfirmation(files.size(), overwrite))) return;
    setBusy(true, QStringLiteral("Removing empty tracks from %1 file(s)\u2026").arg(QString::number(files.size())));
    startRemoval(std::move(files), overwrite);
}

void AppDelegate::startRemoval(std::vector<PolyWavInfo> files, bool overwrite) {
    worker_.start([this, files = std::move(files), overwrite] {
        RemovalReport report;
        for (const PolyWavInfo& info : files) {
            if (stopping_) return;
            try {
                const std::filesystem::path written = compressPolyWav(info.path, overwrite, ui::kSilenceThreshold, {});
                report.successLog += ui::successLine(info, written) + '\n';
                ++report.filesDone;
            } catch (const std::exception& failure) {
                report.errorLog += ui::errorLine(info, failure.what()) + '\n';
                ++report.filesFailed;
            }
        }
        postToGui([this, report = std::move(report)] { finishRemoval(report); });
    });
}

void AppDelegate::finishRemoval(const RemovalReport& report) {
    setBusy(false, fromUtf8(ui::removalDoneText(report.filesDone, report.filesFailed)));
    dialogs_->showMessage(_window.get(),
                          {QStringLiteral("Remove Empty Tracks complete"), reportText(report), AlertStyle::Default, {}});
    scan();
}

// ---- Dropping a folder -----------------------------------------------------

std::optional<QString> AppDelegate::droppedFolder(const QMimeData& mime) {
    const QList<QUrl> urls = mime.urls();
    if (urls.size() != 1 || !urls.front().isLocalFile()) return std::nullopt;
    const QString folder = urls.front().toLocalFile();
    if (!QFileInfo(folder).isDir()) return std::nullopt;
    return folder;
}

bool AppDelegate::eventFilter(QObject* watched, QEvent* event) {
    if (watched != _window.get()) return QObject::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto* drag = static_cast<QDragMoveEvent*>(event);
        if (drag->mimeData() && droppedFolder(*drag->mimeData()))
            drag->acceptProposedAction();
        else
            drag->ignore();
        return true;
    }
    case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(event);
        const std::optional<QString> folder = drop->mimeData() ? droppedFolder(*drop->mimeData()) : std::nullopt;
        if (!folder) {
            drop->ignore();
            return true;
        }
        drop->acceptProposedAction();
        openFolder(*folder);
        return true;
    }
    default:
        return QObject::eventFilter(watched, event);
    }
}

}  // namespace quillon::app
