// The scan flow against the real engine: validation, progress, completion,
// selection, busy refusal, failures, and names that are not plain text.
#include "app_fixture.h"

#include "ElidedLabel.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QTableView>

namespace quillon::app::testing {
namespace {

using ScanFlowTest = AppTest;

TEST_F(ScanFlowTest, TrimsThePathReportsProgressInOrderAndSelectsTheFirstFile) {
    write("C.wav", {.levels = {0.5, 0.5}});
    write("A.wav", {.levels = {0.5, 0.0, 0.25, 0.0}});
    write("B.wav", {.levels = {0.0, 0.0}});
    write("mono.wav", {.levels = {0.5}});
    quillon::testing::writeFile(file("broken.wav"), "RIFF\x04\x00\x00\x00WAVE");
    const QString bare = qs(folder.path());
    const QString typed = "  " + bare + " \n";
    app().pathField()->setText(typed);

    app().scan();
    EXPECT_TRUE(app().busy());
    EXPECT_TRUE(app().progress()->isVisible());
    ASSERT_TRUE(harness.waitUntilIdle());

    EXPECT_EQ(app().pathField()->text(), typed);
    EXPECT_EQ(harness.statusTexts(),
              QStringList({"Scanning " + bare + "\u2026", "Analyzing 1/3: A.wav", "Analyzing 2/3: B.wav",
                           "Analyzing 3/3: C.wav", "Found 3 polyphonic WAV file(s); 2 have empty tracks."}));
    EXPECT_FALSE(app().progress()->isVisible());
    EXPECT_TRUE(dialogs().shown.empty());

    ASSERT_EQ(app().results().size(), 3u);
    EXPECT_EQ(app().fileTable()->model()->rowCount(), 3);
    EXPECT_EQ(app().selectedFileIndexes(), std::vector<std::size_t>{0});
    EXPECT_EQ(app().currentFileRow(), 0u);
    EXPECT_EQ(app().trackTable()->model()->rowCount(), 4);
    EXPECT_EQ(app().metaLabel()->text(), "4 tracks \u00B7 2 active \u00B7 2 empty \u00B7 24-bit \u00B7 48000 Hz");
}

struct RefusalCase {
    const char* name;
    std::function<QString(const std::filesystem::path& folder)> pathText;  // typed into the field
    std::function<QString(const std::filesystem::path& folder)> alert;
};

void PrintTo(const RefusalCase& c, std::ostream* out) { *out << c.name; }

class ScanRefusalTest : public AppTest, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(ScanRefusalTest, AlertsAndChangesNothing) {
    write("A.wav", {.levels = {0.5, 0.0}});
    const QString typed = GetParam().pathText(folder.path());
    app().pathField()->setText(typed);
    harness.click("Scan");

    EXPECT_EQ(dialogs().alerts(), QStringList{GetParam().alert(folder.path())});
    EXPECT_EQ(dialogs().shown.front().box.style, AlertStyle::Default);
    EXPECT_TRUE(dialogs().shown.front().box.buttons.isEmpty());
    EXPECT_FALSE(app().busy());
    EXPECT_TRUE(harness.statusTexts().empty());
    EXPECT_EQ(app().pathField()->text(), typed);
    EXPECT_TRUE(app().results().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Paths, ScanRefusalTest,
    ::testing::Values(
        RefusalCase{"Empty", [](const std::filesystem::path&) { return QString(); },
                    [](const std::filesystem::path&) { return QString("Choose a directory first."); }},
        RefusalCase{"Blank", [](const std::filesystem::path&) { return QString(" \t\n "); },
                    [](const std::filesystem::path&) { return QString("Choose a directory first."); }},
        RefusalCase{"Missing", [](const std::filesystem::path& folder) { return " " + qs(folder / "missing") + "\n"; },
                    [](const std::filesystem::path& folder) { return "Not a directory:\n" + qs(folder / "missing"); }},
        RefusalCase{"RegularFile", [](const std::filesystem::path& folder) { return qs(folder / "A.wav"); },
                    [](const std::filesystem::path& folder) { return "Not a directory:\n" + qs(folder / "A.wav"); }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ScanFlowTest, ASecondScanWhileBusyDoesNothing) {
    for (int i = 0; i < 20; ++i) write("T" + std::to_string(i) + ".wav", {.levels = {0.5, 0.0}, .frames = 48000});
    app().pathField()->setText(qs(folder.path()));
    app().scan();
    app().scan();
    harness.click("Scan");
    ASSERT_TRUE(harness.waitUntilIdle());

    EXPECT_EQ(harness.statusTexts().filter("Scanning ").size(), 1);
    EXPECT_EQ(harness.statusTexts().filter("Analyzing 1/20").size(), 1);
    EXPECT_EQ(app().results().size(), 20u);
    EXPECT_TRUE(dialogs().shown.empty());
}

TEST_F(ScanFlowTest, EmptyFolderShowsZeroCountsAndNoSelection) {
    write("mono.wav", {.levels = {0.5}});
    scan();
    EXPECT_EQ(app().statusLabel()->text(), "Found 0 polyphonic WAV file(s); 0 have empty tracks.");
    EXPECT_EQ(app().fileTable()->model()->rowCount(), 0);
    EXPECT_EQ(app().trackTable()->model()->rowCount(), 0);
    EXPECT_EQ(app().metaLabel()->text(), "");
    EXPECT_TRUE(app().selectedFileIndexes().empty());
}

TEST_F(ScanFlowTest, RescanReplacesTheListAndSelectsRowZeroAgain) {
    write("A.wav", {.levels = {0.5, 0.5}});
    write("B.wav", {.levels = {0.5, 0.0}});
    scan();
    app().fileTable()->selectRow(1);
    ASSERT_EQ(app().currentFileRow(), 1u);
    write("0.wav", {.levels = {0.0, 0.0, 0.0}});
    scan();
    ASSERT_EQ(app().results().size(), 3u);
    EXPECT_EQ(app().selectedFileIndexes(), std::vector<std::size_t>{0});
    EXPECT_EQ(app().trackTable()->model()->rowCount(), 3);
    EXPECT_EQ(app().statusLabel()->text(), "Found 3 polyphonic WAV file(s); 2 have empty tracks.");
}

TEST_F(ScanFlowTest, IncludeSubfoldersIsReadWhenTheScanStarts) {
    write("A.wav", {.levels = {0.5, 0.0}});
    std::filesystem::create_directory(file("sub"));
    write("sub/B.wav", {.levels = {0.5, 0.5}});
    scan();
    EXPECT_EQ(app().results().size(), 1u);
    app().recursiveCheck()->setChecked(true);
    EXPECT_EQ(app().results().size(), 1u);
    scan();
    EXPECT_EQ(app().results().size(), 2u);
    EXPECT_EQ(app().statusLabel()->text(), "Found 2 polyphonic WAV file(s); 1 have empty tracks.");
}

TEST_F(ScanFlowTest, BrowseFillsThePathAndScans) {
    write("A.wav", {.levels = {0.5, 0.0}});
    dialogs().folderToChoose = qs(folder.path());
    harness.click("Browse\u2026");
    EXPECT_EQ(dialogs().chooserMessages, QStringList{"Select folder with polyphonic WAV files"});
    EXPECT_EQ(app().pathField()->text(), qs(folder.path()));
    ASSERT_TRUE(harness.waitUntilIdle());
    EXPECT_EQ(app().results().size(), 1u);
}

TEST_F(ScanFlowTest, CancelledBrowseChangesNothing) {
    write("A.wav", {.levels = {0.5, 0.0}});
    scan();
    app().pathField()->setText("typed");
    harness.clearStatusTexts();
    harness.click("Browse\u2026");
    EXPECT_EQ(dialogs().chooserMessages.size(), 1);
    EXPECT_EQ(app().pathField()->text(), "typed");
    EXPECT_FALSE(app().busy());
    EXPECT_EQ(app().results().size(), 1u);
    EXPECT_TRUE(harness.statusTexts().empty());
}

TEST_F(ScanFlowTest, BrowseWhileBusyOnlyReplacesThePath) {
    for (int i = 0; i < 10; ++i) write("T" + std::to_string(i) + ".wav", {.levels = {0.5, 0.0}, .frames = 48000});
    app().pathField()->setText(qs(folder.path()));
    app().scan();
    dialogs().folderToChoose = "/elsewhere";
    app().browse();
    EXPECT_EQ(app().pathField()->text(), "/elsewhere");
    ASSERT_TRUE(harness.waitUntilIdle());
    EXPECT_EQ(app().results().size(), 10u);
    EXPECT_TRUE(dialogs().alerts().isEmpty());
}

// A scan that the engine ends with an exception cannot be provoked on demand
// with real files, so its outcome is handed to the completion directly.
TEST_F(ScanFlowTest, FailedScanKeepsThePreviousListOnScreen) {
    write("A.wav", {.levels = {0.5, 0.5}});
    write("B.wav", {.levels = {0.5, 0.0, 0.0}});
    scan();
    app().fileTable()->selectRow(1);
    const QString caption = app().metaLabel()->text();
    harness.clearStatusTexts();

    app().finishScan({"filesystem error: cannot read \xFF folder", {}});

    EXPECT_EQ(dialogs().alerts(), QStringList{"filesystem error: cannot read \uFFFD folder"});
    EXPECT_EQ(app().statusLabel()->text(), "Scan failed: filesystem error: cannot read \uFFFD folder");
    EXPECT_FALSE(app().busy());
    EXPECT_EQ(app().results().size(), 2u);
    EXPECT_EQ(app().fileTable()->model()->rowCount(), 2);
    EXPECT_EQ(app().selectedFileIndexes(), std::vector<std::size_t>{1});
    EXPECT_EQ(app().metaLabel()->text(), caption);
    EXPECT_EQ(app().trackTable()->model()->rowCount(), 3);
}

TEST_F(ScanFlowTest, NamesWithPlaceholdersOrInvalidUtf8AreShownAsTheyAre) {
    write("take %1 %2.wav", {.levels = {0.5, 0.0}});
    write("t\xFF.wav", {.levels = {0.5, 0.5}});
    scan();
    EXPECT_TRUE(harness.statusTexts().contains("Analyzing 1/2: take %1 %2.wav"));
    EXPECT_TRUE(harness.statusTexts().contains("Analyzing 2/2: t\uFFFD.wav"));
    EXPECT_TRUE(fileCell(0).startsWith("take %1 %2.wav  \u2014  2 tracks")) << fileCell(0).toStdString();
    EXPECT_TRUE(fileCell(1).startsWith("t\uFFFD.wav  \u2014  2 tracks")) << fileCell(1).toStdString();
}

TEST_F(ScanFlowTest, FolderNamesWithPlaceholdersAreNotSubstituted) {
    std::filesystem::create_directory(file("%1 day"));
    write("%1 day/A.wav", {.levels = {0.5, 0.0}});
    ASSERT_TRUE(harness.scanFolder(file("%1 day")));
    EXPECT_EQ(harness.statusTexts().front(), "Scanning " + qs(file("%1 day")) + "\u2026");
    EXPECT_EQ(app().results().size(), 1u);
}

}  // namespace
}  // namespace quillon::app::testing
