#include "MainWindow.h"

#include "AppIcon.h"
#include "ColumnTableModel.h"
#include "ElidedLabel.h"
#include "LevelDelegate.h"
#include "MainLayout.h"
#include "TrackTableModel.h"
#include "texts.h"

#include <QCheckBox>
#include <QDropEvent>
#include <QFileInfo>
#include <QHeaderView>
#include <QLineEdit>
#include <QAction>
#include <QMenu>
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
constexpr int trackRowHeight = 28;  // room for the level strips

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
QTableView* makeTable(ColumnTableModel& model, int rowPixels = rowHeight) {
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
    table->verticalHeader()->setDefaultSectionSize(rowPixels);
    table->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    table->horizontalHeader()->setHighlightSections(false);
    table->setModel(&model);
    for (int column = 0; column < model.columnCount(); ++column) {
        const ColumnSpec& shape = model.columns()[static_cast<std::size_t>(column)];
        table->setColumnWidth(column, shape.width);
        if (shape.fills) table->horizontalHeader()->setSectionResizeMode(column, QHeaderView::Stretch);
    }
    return table;
}

}  // namespace

MainWindow::MainWindow(ColumnTableModel& fileModel, ColumnTableModel& trackModel, double thresholdDb)
    : pathField(new QLineEdit),
      browseButton(new PushButton(QStringLiteral("Browse\u2026"))),
      scanButton(new PushButton(QStringLiteral("Scan"))),
      recursiveCheck(new QCheckBox(QStringLiteral("Include subfolders"))),
      overwriteCheck(new QCheckBox(QStringLiteral("Overwrite originals when removing empty tracks"))),
      fileTable(makeTable(fileModel)),
      trackTable(makeTable(trackModel, trackRowHeight)),
      metaLabel(new ElidedLabel),
      removeAllButton(new PushButton(QStringLiteral("Remove Empty Tracks From All"))),
      removeSelectedButton(new PushButton(QStringLiteral("Remove Empty Tracks From Selected"))),
      selectAllButton(new PushButton(QStringLiteral("Select All"))),
      statusLabel(new ElidedLabel(QString::fromUtf8(ui::kStartStatus))),
      progress(new QProgressBar),
      keepAlikeAction(new QAction(QStringLiteral("Keep Tracks Alike Across Selected Files"), this)) {
    setWindowTitle(QString::fromUtf8(ui::kAppName));
    setWindowIcon(appIcon());
    setAcceptDrops(true);
    pathField->setPlaceholderText(QString::fromUtf8(ui::kPathPlaceholder));
    pathField->setAcceptDrops(false);  // a dropped folder goes to the window, which scans it
    progress->setRange(0, 0);
    progress->setTextVisible(false);
    progress->setVisible(false);
    trackTable->setItemDelegateForColumn(TrackTableModel::Level, new LevelDelegate(thresholdDb, trackTable));
    keepAlikeAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
    addAction(keepAlikeAction);  // its shortcut works wherever the focus is

    auto* content = new QWidget;
    content->setMinimumSize(MainLayout::minimumContentSize);
    auto* layout = new MainLayout(content);
    layout->setWidget(MainLayout::PathField, pathField);
    layout->setWidget(MainLayout::BrowseButton, browseButton);
    layout->setWidget(MainLayout::ScanButton, scanButton);
    layout->setWidget(MainLayout::RecursiveCheck, recursiveCheck);
    layout->setWidget(MainLayout::OverwriteCheck, overwriteCheck);
    layout->setWidget(MainLayout::FileList, fileTable);
    layout->setWidget(MainLayout::TrackList, trackTable);
    layout->setWidget(MainLayout::MetaLabel, metaLabel);
    layout->setWidget(MainLayout::RemoveAllButton, removeAllButton);
    layout->setWidget(MainLayout::RemoveSelectedButton, removeSelectedButton);
    layout->setWidget(MainLayout::SelectAllButton, selectAllButton);
    layout->setWidget(MainLayout::StatusLabel, statusLabel);
    layout->setWidget(MainLayout::Progress, progress);
    setCentralWidget(content);
}

void MainWindow::installMenuBar(QMenuBar* menuBar) {
    setMenuBar(menuBar);
    menuBar->addMenu(QStringLiteral("Tracks"))->addAction(keepAlikeAction);
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
