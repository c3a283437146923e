#include "MainWindow.h"

#include "AppIcon.h"
#include "ColumnTableModel.h"
#include "ElidedLabel.h"
#include "MainLayout.h"
#include "texts.h"

#include <QCheckBox>
#include <QDropEvent>
#include <QFileInfo>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenuBar>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTableView>

namespace quillon::app {
namespace {

constexpr int rowHeight = 22;

// A push button with room around its title: the styles' own hint leaves the
// text nearly touching the frame.
class PushButton : public QPushButton {
public:
    explicit PushButton(const QString& title) : QPushButton(title) {}
    QSize sizeHint() const override { return QPushButton::sizeHint() + QSize(2 * horizontalPadding, 0); }

private:
    static constexpr int horizontalPadding = 8;
};

// A read-only table of whole rows. Tab and Shift+Tab move on to the next
// control, as in native tables, instead of walking the cells.
QTableView* makeTable(ColumnTableModel& model) {
    auto* table = new QTableView;
    table->setTabKeyNavigation(false);
    table->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    table->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    table->setFrameShape(QFrame::StyledPanel);
    table->setAlternatingRowColors(true);
    table->setShowGrid(false);
    table->setWordWrap(false);
    table->setTextElideMode(Qt::ElideMiddle);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::ExtendedSelection);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->verticalHeader()->setVisible(false);
    table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table->verticalHeader()->setDefaultSectionSize(rowHeight);
    table->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    table->horizontalHeader()->setHighlightSections(false);
    table->setModel(&model);
    for (int column = 0; column < model.columnCount(); ++column) {
        const ColumnSpec& spec = model.columns()[static_cast<std::size_t>(column)];
        table->setColumnWidth(column, spec.width);
        if (spec.fills) table->horizontalHeader()->setSectionResizeMode(column, QHeaderView::Stretch);
    }
    return table;
}

}  // namespace

MainWindow::MainWindow(ColumnTableModel& fileModel, ColumnTableModel& trackModel)
    : _pathField(new QLineEdit),
      _browseButton(new PushButton(QStringLiteral("Browse\u2026"))),
      _scanButton(new PushButton(QStringLiteral("Scan"))),
      _recursiveCheck(new QCheckBox(QStringLiteral("Include subfolders"))),
      _overwriteCheck(new QCheckBox(QStringLiteral("Overwrite originals when removing empty tracks"))),
      _fileTable(makeTable(fileModel)),
      _trackTable(makeTable(trackModel)),
      _metaLabel(new ElidedLabel),
      _removeAllButton(new PushButton(QStringLiteral("Remove Empty Tracks From All"))),
      _removeSelectedButton(new PushButton(QStringLiteral("Remove Empty Tracks From Selected"))),
      _selectAllButton(new PushButton(QStringLiteral("Select All"))),
      _statusLabel(new ElidedLabel(QString::fromUtf8(ui::kStartStatus))),
      _progress(new QProgressBar) {
    setWindowTitle(QString::fromUtf8(ui::kAppName));
    setWindowIcon(appIcon());
    setAcceptDrops(true);
    _pathField->setPlaceholderText(QString::fromUtf8(ui::kPathPlaceholder));
    _pathField->setAcceptDrops(false);  // a dropped folder goes to the window, which scans it
    _progress->setRange(0, 0);
    _progress->setTextVisible(false);
    _progress->setVisible(false);

    auto* content = new QWidget;
    content->setMinimumSize(MainLayout::minimumContentSize);
    auto* layout = new MainLayout(content);
    layout->setWidget(MainLayout::PathField, _pathField);
    layout->setWidget(MainLayout::BrowseButton, _browseButton);
    layout->setWidget(MainLayout::ScanButton, _scanButton);
    layout->setWidget(MainLayout::RecursiveCheck, _recursiveCheck);
    layout->setWidget(MainLayout::OverwriteCheck, _overwriteCheck);
    layout->setWidget(MainLayout::FileList, _fileTable);
    layout->setWidget(MainLayout::TrackList, _trackTable);
    layout->setWidget(MainLayout::MetaLabel, _metaLabel);
    layout->setWidget(MainLayout::RemoveAllButton, _removeAllButton);
    layout->setWidget(MainLayout::RemoveSelectedButton, _removeSelectedButton);
    layout->setWidget(MainLayout::SelectAllButton, _selectAllButton);
    layout->setWidget(MainLayout::StatusLabel, _statusLabel);
    layout->setWidget(MainLayout::Progress, _progress);
    setCentralWidget(content);
}

void MainWindow::showCentred() {
    const int menuHeight = menuBar() ? menuBar()->sizeHint().height() : 0;
    const QSize windowSize = MainLayout::contentSize + QSize(0, menuHeight);
    setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, windowSize, screen()->availableGeometry()));
    show();
    raise();
    activateWindow();
}

std::optional<QString> MainWindow::droppedFolder(const QMimeData& mime) {
    const QList<QUrl> urls = mime.urls();
    if (urls.size() != 1 || !urls.front().isLocalFile()) return std::nullopt;
    const QString folder = urls.front().toLocalFile();
    if (!QFileInfo(folder).isDir()) return std::nullopt;
    return folder;
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) { dragMoveEvent(event); }

void MainWindow::dragMoveEvent(QDragMoveEvent* event) {
    if (event->mimeData() && droppedFolder(*event->mimeData()))
        event->acceptProposedAction();
    else
        event->ignore();
}

void MainWindow::dropEvent(QDropEvent* event) {
    const std::optional<QString> folder = event->mimeData() ? droppedFolder(*event->mimeData()) : std::nullopt;
    if (!folder) return event->ignore();
    event->acceptProposedAction();
    emit folderDropped(*folder);
}

}  // namespace quillon::app
