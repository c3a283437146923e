#include "MainWindow.h"

#include "AppIcon.h"
#include "ColumnTableModel.h"
#include "ElidedLabel.h"
#include "FileTableModel.h"
#include "LevelDelegate.h"
#include "MainLayout.h"
#include "TrackTableModel.h"
#include "texts.h"

#include <QCheckBox>
#include <QDropEvent>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSortFilterProxyModel>
#include <QStyle>
#include <QStyleOptionHeader>
#include <QTableView>

#include <algorithm>

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

// Keeps a table's filling column as wide as the other columns leave, and at
// least its minimum, below which the table scrolls sideways.
class FillingColumn : public QObject {
public:
    FillingColumn(QTableView* table, int column, int minimum)
        : QObject(table), _table(table), _column(column), _minimum(minimum) {
        table->viewport()->installEventFilter(this);
        connect(table->horizontalHeader(), &QHeaderView::sectionResized, this, [this](int section) {
            if (section != _column) fit();
        });
    }

    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Resize) fit();
        return false;
    }

private:
    void fit() {
        QHeaderView* header = _table->horizontalHeader();
        int others = 0;
        for (int column = 0; column < header->count(); ++column)
            if (column != _column) others += header->sectionSize(column);
        header->resizeSection(_column, std::max(_minimum, _table->viewport()->width() - others));
    }

    QTableView* _table;
    int _column;
    int _minimum;
};

// A header whose sections measure their titles without room for the sort
// arrow, but for the section the table is sorted by: a table of short
// figures stays narrow.
class CompactHeader : public QHeaderView {
public:
    CompactHeader() : QHeaderView(Qt::Horizontal) {}

protected:
    QSize sectionSizeFromContents(int section) const override {
        if (section == sortIndicatorSection()) return QHeaderView::sectionSizeFromContents(section);
        QStyleOptionHeader option;
        initStyleOption(&option);
        option.section = section;
        QFont title = font();  // titles are measured bold, as the header does
        title.setBold(true);
        option.fontMetrics = QFontMetrics(title);
        option.text = model()->headerData(section, orientation(), Qt::DisplayRole).toString();
        return style()->sizeFromContents(QStyle::CT_HeaderSection, &option, QSize(), this);
    }
};

// A frame in the highlight colour while the table has the keyboard, so the
// focus is plain to see.
void showFocusClearly(QTableView* table) {
    table->setStyleSheet(QStringLiteral("QTableView { border: 1px solid palette(mid); padding: 1px; }"
                                        "QTableView:focus { border: 2px solid palette(highlight); padding: 0px; }"));
}

// A read-only table of whole rows over `model`, which describes the columns
// of `shape`. Tab and Shift+Tab move on to the next control, as in native
// tables, instead of walking the cells.
QTableView* makeTable(const ColumnTableModel& shape, QAbstractItemModel& model, Qt::TextElideMode elide,
                      int rowPixels = rowHeight) {
    auto* table = new QTableView;
    table->setHorizontalHeader(new CompactHeader);
    table->setTabKeyNavigation(false);
    table->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    table->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    table->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    table->setAlternatingRowColors(true);
    table->setShowGrid(false);
    table->setWordWrap(false);
    table->setTextElideMode(elide);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::ExtendedSelection);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->verticalHeader()->setVisible(false);
    table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table->verticalHeader()->setDefaultSectionSize(rowPixels);
    table->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    table->horizontalHeader()->setHighlightSections(false);
    table->setModel(&model);
    for (int column = 0; column < shape.columnCount(); ++column) {
        const ColumnSpec& described = shape.columns()[static_cast<std::size_t>(column)];
        table->setColumnWidth(column, described.width);
        const bool fitsText = described.sizing == ColumnSizing::Contents;
        table->horizontalHeader()->setSectionResizeMode(column, fitsText ? QHeaderView::ResizeToContents
                                                                         : QHeaderView::Fixed);
        if (described.sizing == ColumnSizing::Fills) new FillingColumn(table, column, described.width);
    }
    showFocusClearly(table);
    return table;
}

// Sorts by the model's sort role, stably, and keeps the model's order until
// a header is clicked.
QSortFilterProxyModel* makeFileOrder(QAbstractItemModel& files, QObject* parent) {
    auto* order = new QSortFilterProxyModel(parent);
    order->setSourceModel(&files);
    order->setSortRole(FileTableModel::SortRole);
    order->setSortCaseSensitivity(Qt::CaseInsensitive);
    return order;
}

void allowSorting(QTableView* table) {
    table->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    table->setSortingEnabled(true);
}

}  // namespace

MainWindow::MainWindow(ColumnTableModel& fileModel, ColumnTableModel& trackModel, double thresholdDb)
    : fileOrder(makeFileOrder(fileModel, this)),
      pathField(new QLineEdit),
      browseButton(new PushButton(QStringLiteral("Browse\u2026"))),
      scanButton(new PushButton(QStringLiteral("Scan"))),
      recursiveCheck(new QCheckBox(QStringLiteral("Include subfolders"))),
      overwriteCheck(new QCheckBox(QStringLiteral("Overwrite originals when removing empty tracks"))),
      fileTable(makeTable(fileModel, *fileOrder, Qt::ElideRight)),
      trackTitle(new ElidedLabel),
      trackTable(makeTable(trackModel, trackModel, Qt::ElideMiddle, trackRowHeight)),
      metaLabel(new ElidedLabel),
      removeAllButton(new PushButton(QStringLiteral("Remove Empty Tracks From All"))),
      removeSelectedButton(new PushButton(QStringLiteral("Remove Empty Tracks From Selected"))),
      selectAllButton(new PushButton(QStringLiteral("Select All"))),
      statusLabel(new ElidedLabel(QString::fromUtf8(ui::kStartStatus))),
      passedOverLink(new QLabel(QStringLiteral("<a href=\"#\">Show\u2026</a>"))),
      progress(new QProgressBar),
      stopScanAction(new QAction(QStringLiteral("&Stop Scan"), this)),
      showPassedOverAction(new QAction(QStringLiteral("Show &Passed-Over Files\u2026"), this)),
      keepAlikeAction(new QAction(QStringLiteral("&Keep Tracks Alike Across Selected Files"), this)) {
    setWindowTitle(QString::fromUtf8(ui::kAppName));
    setWindowIcon(appIcon());
    setAcceptDrops(true);
    pathField->setPlaceholderText(QString::fromUtf8(ui::kPathPlaceholder));
    pathField->setAcceptDrops(false);  // a dropped folder goes to the window, which scans it
    progress->setRange(0, 0);
    progress->setTextVisible(false);
    progress->setVisible(false);
    trackTable->setItemDelegateForColumn(TrackTableModel::Level, new LevelDelegate(thresholdDb, trackTable));
    allowSorting(fileTable);
    passedOverLink->setTextFormat(Qt::RichText);
    passedOverLink->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    passedOverLink->setVisible(false);
    connect(passedOverLink, &QLabel::linkActivated, showPassedOverAction, &QAction::trigger);
    stopScanAction->setShortcut(QKeySequence(Qt::Key_Escape));
    keepAlikeAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
    // Their shortcuts work wherever the focus is.
    addAction(stopScanAction);
    addAction(keepAlikeAction);

    auto* content = new QWidget;
    content->setMinimumSize(MainLayout::minimumContentSize);
    auto* layout = new MainLayout(content);
    layout->setWidget(MainLayout::PathField, pathField);
    layout->setWidget(MainLayout::BrowseButton, browseButton);
    layout->setWidget(MainLayout::ScanButton, scanButton);
    layout->setWidget(MainLayout::RecursiveCheck, recursiveCheck);
    layout->setWidget(MainLayout::OverwriteCheck, overwriteCheck);
    layout->setWidget(MainLayout::FileList, fileTable);
    layout->setWidget(MainLayout::TrackTitle, trackTitle);
    layout->setWidget(MainLayout::TrackList, trackTable);
    layout->setWidget(MainLayout::MetaLabel, metaLabel);
    layout->setWidget(MainLayout::RemoveAllButton, removeAllButton);
    layout->setWidget(MainLayout::RemoveSelectedButton, removeSelectedButton);
    layout->setWidget(MainLayout::SelectAllButton, selectAllButton);
    layout->setWidget(MainLayout::StatusLabel, statusLabel);
    layout->setWidget(MainLayout::PassedOverLink, passedOverLink);
    layout->setWidget(MainLayout::Progress, progress);
    setCentralWidget(content);
}

void MainWindow::installMenuBar(QMenuBar* menuBar) {
    setMenuBar(menuBar);
    QMenu* scanMenu = menuBar->addMenu(QStringLiteral("&Scan"));
    scanMenu->addAction(stopScanAction);
    scanMenu->addAction(showPassedOverAction);
    menuBar->addMenu(QStringLiteral("&Tracks"))->addAction(keepAlikeAction);
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
