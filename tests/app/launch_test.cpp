// The window right after launch: controls, texts, initial states, columns,
// sizes, the layout relations at several sizes, the menu and folder drops.
#include "app_fixture.h"

#include "ColumnTableModel.h"
#include "ElidedLabel.h"
#include "MainMenu.h"

#include <QCheckBox>
#include <QDropEvent>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTableView>
#include <QUrl>

void PrintTo(const QSize& size, std::ostream* out) { *out << size.width() << 'x' << size.height(); }

namespace quillon::app::testing {
namespace {

using LaunchTest = AppTest;

TEST_F(LaunchTest, ControlsShowTheirTextsAndInitialState) {
    EXPECT_EQ(app().window()->windowTitle(), "Quillon");
    EXPECT_TRUE(app().window()->isVisible());
    EXPECT_TRUE(app().results().empty());
    EXPECT_FALSE(app().busy());

    EXPECT_EQ(app().pathField()->text(), "");
    EXPECT_EQ(app().pathField()->placeholderText(), "Choose a directory with polyphonic WAV files\u2026");
    EXPECT_FALSE(app().pathField()->isReadOnly());
    EXPECT_EQ(app().recursiveCheck()->text(), "Include subfolders");
    EXPECT_FALSE(app().recursiveCheck()->isChecked());
    EXPECT_EQ(app().overwriteCheck()->text(), "Overwrite originals when removing empty tracks");
    EXPECT_FALSE(app().overwriteCheck()->isChecked());

    for (const char* text : {"Browse\u2026", "Scan", "Remove Empty Tracks From All", "Remove Empty Tracks From Selected",
                             "Select All"}) {
        QPushButton* button = harness.button(QString::fromUtf8(text));
        ASSERT_NE(button, nullptr) << text;
        EXPECT_TRUE(button->isEnabled()) << text;
    }
    EXPECT_EQ(app().window()->findChildren<QPushButton*>().size(), 5);

    EXPECT_EQ(app().fileTable()->model()->rowCount(), 0);
    EXPECT_EQ(app().trackTable()->model()->rowCount(), 0);
    EXPECT_TRUE(app().selectedFileIndexes().empty());
    EXPECT_FALSE(app().currentFileRow().has_value());
    EXPECT_EQ(app().metaLabel()->text(), "");
    EXPECT_EQ(app().statusLabel()->text(), "Choose a directory to scan for polyphonic WAV files.");
    EXPECT_FALSE(app().progress()->isVisible());
    EXPECT_EQ(app().progress()->minimum(), 0);
    EXPECT_EQ(app().progress()->maximum(), 0);  // indeterminate
}

struct ColumnCase {
    const char* table;
    int column;
    const char* id;
    const char* title;
    int width;
};

void PrintTo(const ColumnCase& c, std::ostream* out) { *out << c.table << ' ' << c.id; }

class ColumnTest : public AppTest, public ::testing::WithParamInterface<ColumnCase> {};

TEST_P(ColumnTest, HasItsIdTitleAndWidth) {
    const ColumnCase& c = GetParam();
    QTableView* table = std::string(c.table) == "file" ? app().fileTable() : app().trackTable();
    auto* model = qobject_cast<ColumnTableModel*>(table->model());
    ASSERT_NE(model, nullptr);
    EXPECT_EQ(model->columnId(c.column), c.id);
    EXPECT_EQ(model->headerData(c.column, Qt::Horizontal, Qt::DisplayRole).toString(), c.title);
    EXPECT_EQ(model->columns()[static_cast<std::size_t>(c.column)].width, c.width);
    // The file name and the track name take what the other columns leave.
    const bool fills = std::string(c.id) == "file" || std::string(c.id) == "name";
    EXPECT_EQ(model->columns()[static_cast<std::size_t>(c.column)].fills, fills);
    if (!fills) {
        EXPECT_EQ(table->columnWidth(c.column), c.width);
    }
}

INSTANTIATE_TEST_SUITE_P(Tables, ColumnTest,
                         ::testing::Values(ColumnCase{"file", 0, "file", "Polyphonic WAV files", 520},
                                           ColumnCase{"track", 0, "num", "#", 40},
                                           ColumnCase{"track", 1, "name", "Name", 140},
                                           ColumnCase{"track", 2, "peak", "Peak", 80},
                                           ColumnCase{"track", 3, "status", "Status", 70}),
                         [](const auto& info) { return std::string(info.param.id); });

TEST_F(LaunchTest, TablesHaveFixedRowsWithoutRowNumbers) {
    EXPECT_EQ(app().fileTable()->model()->columnCount(), 1);
    EXPECT_EQ(app().trackTable()->model()->columnCount(), 4);
    for (QTableView* table : {app().fileTable(), app().trackTable()}) {
        EXPECT_EQ(table->verticalHeader()->defaultSectionSize(), 22);
        EXPECT_FALSE(table->verticalHeader()->isVisible());
        EXPECT_TRUE(table->alternatingRowColors());
        EXPECT_FALSE(table->wordWrap());
        EXPECT_EQ(table->textElideMode(), Qt::ElideMiddle);
        EXPECT_EQ(table->editTriggers(), QAbstractItemView::NoEditTriggers);
    }
    EXPECT_EQ(app().fileTable()->selectionMode(), QAbstractItemView::ExtendedSelection);
}

TEST_F(LaunchTest, WindowOpensAtItsSizeCentredAndNeverShrinksBelowTheMinimum) {
    EXPECT_EQ(harness.contentSize(), QSize(960, 640));
    const QRect screen = app().window()->screen()->availableGeometry();
    EXPECT_LE((app().window()->geometry().center() - screen.center()).manhattanLength(), 2);

    app().window()->resize(200, 100);
    QCoreApplication::processEvents();
    EXPECT_EQ(harness.contentSize(), QSize(760, 480));
}

// Exclusive right and bottom edges, and vertical centres, of a control.
int rightOf(const QWidget* w) { return w->x() + w->width(); }
int bottomOf(const QWidget* w) { return w->y() + w->height(); }
double centreOf(const QWidget* w) { return w->y() + w->height() / 2.0; }

class LayoutTest : public AppTest, public ::testing::WithParamInterface<QSize> {};

TEST_P(LayoutTest, RelationsHold) {
    harness.resizeContent(GetParam());
    const QSize content = harness.contentSize();
    ASSERT_EQ(content, GetParam());
    const int width = content.width();
    const int height = content.height();

    const QWidget* path = app().pathField();
    const QWidget* browse = harness.button("Browse\u2026");
    const QWidget* scan = harness.button("Scan");
    const QWidget* recursive = app().recursiveCheck();
    const QWidget* overwrite = app().overwriteCheck();
    const QWidget* files = app().fileTable();
    const QWidget* tracks = app().trackTable();
    const QWidget* meta = app().metaLabel();
    const QWidget* removeAll = harness.button("Remove Empty Tracks From All");
    const QWidget* removeSelected = harness.button("Remove Empty Tracks From Selected");
    const QWidget* selectAll = harness.button("Select All");
    const QWidget* status = app().statusLabel();
    const QWidget* progress = app().progress();

    EXPECT_EQ(path->pos(), QPoint(14, 14));
    EXPECT_EQ(path->height(), 24);
    EXPECT_EQ(browse->x(), rightOf(path) + 8);
    EXPECT_EQ(scan->x(), rightOf(browse) + 8);
    EXPECT_EQ(rightOf(scan), width - 14);
    EXPECT_NEAR(centreOf(browse), centreOf(path), 0.5);
    EXPECT_NEAR(centreOf(scan), centreOf(path), 0.5);

    EXPECT_EQ(recursive->pos(), QPoint(14, bottomOf(path) + 10));
    EXPECT_EQ(overwrite->x(), rightOf(recursive) + 16);
    EXPECT_NEAR(centreOf(overwrite), centreOf(recursive), 0.5);

    EXPECT_EQ(files->x(), 14);
    EXPECT_EQ(files->y(), bottomOf(recursive) + 10);
    EXPECT_NEAR(files->width(), 0.58 * width - 14, 0.5);
    EXPECT_EQ(bottomOf(files), removeAll->y() - 10);

    EXPECT_EQ(tracks->x(), rightOf(files) + 10);
    EXPECT_EQ(rightOf(tracks), width - 14);
    EXPECT_EQ(tracks->y(), files->y());
    EXPECT_EQ(bottomOf(tracks), meta->y() - 8);
    EXPECT_EQ(meta->x(), tracks->x());
    EXPECT_EQ(meta->width(), tracks->width());
    EXPECT_EQ(bottomOf(meta), removeAll->y() - 10);

    EXPECT_EQ(removeAll->x(), 14);
    EXPECT_EQ(bottomOf(removeAll), status->y() - 10);
    EXPECT_EQ(removeSelected->x(), rightOf(removeAll) + 8);
    EXPECT_NEAR(centreOf(removeSelected), centreOf(removeAll), 0.5);
    EXPECT_EQ(rightOf(selectAll), width - 14);
    EXPECT_NEAR(centreOf(selectAll), centreOf(removeAll), 0.5);

    EXPECT_EQ(status->x(), 14);
    EXPECT_EQ(rightOf(status), width - 14);
    EXPECT_EQ(bottomOf(status), progress->y() - 6);
    EXPECT_EQ(progress->x(), 14);
    EXPECT_EQ(rightOf(progress), width - 14);
    EXPECT_EQ(progress->height(), 12);
    EXPECT_EQ(bottomOf(progress), height - 14);

    for (const QWidget* natural : {browse, scan, recursive, overwrite, removeAll, removeSelected, selectAll})
        EXPECT_EQ(natural->size(), natural->sizeHint()) << natural->metaObject()->className();
    EXPECT_GT(path->width(), 0);
    EXPECT_GT(files->height(), 100);
    EXPECT_GT(tracks->height(), 100);

    // Every column stays in view: together they fill the table exactly.
    for (const QTableView* table : {app().fileTable(), app().trackTable()}) {
        int total = 0;
        for (int column = 0; column < table->model()->columnCount(); ++column) total += table->columnWidth(column);
        EXPECT_EQ(total, table->viewport()->width());
    }
}

INSTANTIATE_TEST_SUITE_P(Sizes, LayoutTest,
                         ::testing::Values(QSize(960, 640), QSize(760, 480), QSize(1280, 900), QSize(1001, 777)),
                         [](const auto& info) {
                             return std::to_string(info.param.width()) + "x" + std::to_string(info.param.height());
                         });

TEST_F(LaunchTest, LongStatusIsShortenedInTheMiddleOnOneLine) {
    const QString start = "Analyzing 1/2: ";
    const QString end = "the end.wav";
    app().statusLabel()->setText(start + QString(400, 'x') + "\n" + end);
    const QString shown = app().statusLabel()->displayedText();
    EXPECT_TRUE(shown.startsWith(start)) << shown.toStdString();
    EXPECT_TRUE(shown.endsWith(end)) << shown.toStdString();
    EXPECT_TRUE(shown.contains(QChar(0x2026)));
    EXPECT_FALSE(shown.contains('\n'));
    EXPECT_LE(app().statusLabel()->fontMetrics().horizontalAdvance(shown), app().statusLabel()->width());
}

TEST_F(LaunchTest, MenuHoldsAboutAndQuit) {
    QMenuBar* bar = app().window()->menuBar();
    ASSERT_EQ(bar->actions().size(), 1);
    EXPECT_EQ(bar->actions()[0]->text(), "Quillon");
    QMenu* menu = bar->actions()[0]->menu();
    ASSERT_NE(menu, nullptr);
    const QList<QAction*> items = menu->actions();
    ASSERT_EQ(items.size(), 3);
    EXPECT_EQ(items[0]->text(), "About Quillon");
    EXPECT_TRUE(items[0]->shortcut().isEmpty());
    EXPECT_TRUE(items[1]->isSeparator());
    EXPECT_EQ(items[2]->text(), "Quit Quillon");
    EXPECT_TRUE(items[2]->shortcuts().contains(QKeySequence("Ctrl+Q")));

    const QString about = aboutText();
    EXPECT_TRUE(about.contains("Quillon"));
    EXPECT_TRUE(about.contains("By Tallowmere"));
    EXPECT_TRUE(about.contains(QStringLiteral("Version ")));
}

// Sends a drag over the window and drops it; returns whether the drag was taken.
bool dropOnWindow(QMainWindow* window, const QList<QUrl>& urls) {
    QMimeData mime;
    mime.setUrls(urls);
    const QPointF centre = window->rect().center();
    QDragEnterEvent enter(centre.toPoint(), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window, &enter);
    QDropEvent drop(centre, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window, &drop);
    return enter.isAccepted() && drop.isAccepted();
}

TEST_F(LaunchTest, DroppingAFolderScansIt) {
    write("A.wav", {.levels = {0.5, 0.0}});
    ASSERT_TRUE(dropOnWindow(app().window(), {QUrl::fromLocalFile(qs(folder.path()))}));
    EXPECT_EQ(app().pathField()->text(), qs(folder.path()));
    ASSERT_TRUE(harness.waitUntilIdle());
    ASSERT_EQ(app().results().size(), 1u);
    EXPECT_EQ(app().statusLabel()->text(), "Found 1 polyphonic WAV file(s); 1 have empty tracks.");
}

TEST_F(LaunchTest, DroppingAnythingElseDoesNothing) {
    write("A.wav", {.levels = {0.5, 0.0}});
    std::filesystem::create_directory(file("sub"));
    const QList<QList<QUrl>> drops{
        {QUrl::fromLocalFile(qs(file("A.wav")))},
        {QUrl::fromLocalFile(qs(folder.path())), QUrl::fromLocalFile(qs(file("sub")))},
        {QUrl("https://example.com/folder/")},
        {QUrl::fromLocalFile(qs(file("missing")))},
        {}};
    for (const QList<QUrl>& urls : drops) {
        EXPECT_FALSE(dropOnWindow(app().window(), urls));
        EXPECT_EQ(app().pathField()->text(), "");
        EXPECT_FALSE(app().busy());
    }
    EXPECT_TRUE(dialogs().shown.empty());
    EXPECT_TRUE(harness.statusTexts().empty());
}

}  // namespace
}  // namespace quillon::app::testing
