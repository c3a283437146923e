// The removal flow against the real writer: refusals, the confirmation in
// both overwrite states, the report lines, partial failure and the rescan.
#include "app_fixture.h"

#include "ElidedLabel.h"

#include <QCheckBox>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QTableView>

namespace quillon::app::testing {
namespace {

using RemovalFlowTest = AppTest;

const QString slimConfirmation =
    "Remove empty tracks from %1 file(s) and write *_SLIM.wav beside each original?\n\n"
    "bext timecode, iXML (scene/take/track names), and other metadata chunks are copied into the new files. "
    "Originals are left untouched.";
const QString overwriteConfirmation =
    "Remove empty tracks from %1 file(s) and OVERWRITE the originals?\n\n"
    "Timecode (bext), iXML, and other metadata are preserved, but you will not keep a backup of the original file. "
    "Prefer leaving overwrite OFF so *_SLIM.wav copies are written instead.";

const PolyFile eightTracksTwoEmpty{.levels = {0.5, 0.0, 0.5, 0.5, 0.0, 0.5, 0.5, 0.5}};

struct RefusalCase {
    const char* name;
    std::vector<PolyFile> files;  // written as F0.wav, F1.wav, …
    bool selectAllFirst;
    bool clearSelection;
    const char* button;
    const char* alert;
};

void PrintTo(const RefusalCase& c, std::ostream* out) { *out << c.name; }

class RemovalRefusalTest : public AppTest, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(RemovalRefusalTest, AlertsAndWritesNothing) {
    const RefusalCase& c = GetParam();
    for (std::size_t i = 0; i < c.files.size(); ++i) write("F" + std::to_string(i) + ".wav", c.files[i]);
    scan();
    if (c.selectAllFirst) app().selectAllFiles();
    if (c.clearSelection) app().fileTable()->clearSelection();
    const std::vector<std::string> before = folderListing();
    const QString status = app().statusLabel()->text();

    harness.click(c.button);

    EXPECT_EQ(dialogs().alerts(), QStringList{c.alert});
    EXPECT_EQ(dialogs().shown.size(), 1u);  // no confirmation
    EXPECT_FALSE(app().busy());
    EXPECT_EQ(app().statusLabel()->text(), status);
    EXPECT_EQ(folderListing(), before);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RemovalRefusalTest,
    ::testing::Values(
        RefusalCase{"NothingSelected", {{.levels = {0.5, 0.0}}}, false, true, "Remove Empty Tracks From Selected",
                    "Select one or more files."},
        RefusalCase{"NoFileWithEmptyTracks", {{.levels = {0.5, 0.5}}}, false, false, "Remove Empty Tracks From All",
                    "No files with empty tracks."},
        RefusalCase{"SelectedHasNoEmptyTrack", {{.levels = {0.5, 0.5}}, {.levels = {0.5, 0.0}}}, false, false,
                    "Remove Empty Tracks From Selected",
                    "None of the selected files have empty tracks to remove (or all tracks are empty)."},
        RefusalCase{"AllTracksEmpty", {{.levels = {0.0, 0.0}}}, true, false, "Remove Empty Tracks From Selected",
                    "None of the selected files have empty tracks to remove (or all tracks are empty)."},
        RefusalCase{"RemoveAllWithOnlyAllEmptyFiles", {{.levels = {0.0, 0.0}}, {.levels = {0.5, 0.5}}}, false, false,
                    "Remove Empty Tracks From All",
                    "None of the selected files have empty tracks to remove (or all tracks are empty)."}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(RemovalFlowTest, UnknownRowsAndFilesThatFailedAnalysisAreFilteredOut) {
    write("A.wav", {.levels = {0.5, 0.5}});
    quillon::testing::writeFile(file("B.wav"), "RIFF\x04\x00\x00\x00WAVE");
    scan();
    std::vector<PolyWavInfo> results = app().results();
    results.push_back(analyzePolyWav(file("B.wav"), 0.001));
    app().finishScan({"", results});
    app().runCompress({1, 7});
    EXPECT_EQ(dialogs().alerts(),
              QStringList{"None of the selected files have empty tracks to remove (or all tracks are empty)."});
}

struct ConfirmationCase {
    bool overwrite;
    AlertStyle style;
    QStringList buttons;
    QString text;
};

void PrintTo(const ConfirmationCase& c, std::ostream* out) { *out << "overwrite " << (c.overwrite ? "on" : "off"); }

class ConfirmationTest : public AppTest, public ::testing::WithParamInterface<ConfirmationCase> {};

TEST_P(ConfirmationTest, NamesTheFilesThatPassAndCancelChangesNothing) {
    write("A.wav", eightTracksTwoEmpty);
    write("B.wav", {.levels = {0.5, 0.5}});
    write("C.wav", {.levels = {0.0, 0.5, 0.0}});
    scan();
    app().overwriteCheck()->setChecked(GetParam().overwrite);
    app().selectAllFiles();
    const std::vector<std::string> before = folderListing();
    const std::string original = quillon::testing::readFile(file("A.wav"));
    harness.clearStatusTexts();
    dialogs().confirmAnswers = {false};

    harness.click("Remove Empty Tracks From Selected");

    ASSERT_EQ(dialogs().shown.size(), 1u);
    const FakeDialogs::Shown& shown = dialogs().shown.front();
    EXPECT_TRUE(shown.confirmation);
    EXPECT_EQ(shown.box.messageText, "Remove Empty Tracks");
    EXPECT_EQ(shown.box.informativeText, GetParam().text.arg(2));
    EXPECT_EQ(shown.box.style, GetParam().style);
    EXPECT_EQ(shown.box.buttons, GetParam().buttons);

    EXPECT_FALSE(app().busy());
    EXPECT_TRUE(harness.statusTexts().empty());
    EXPECT_EQ(folderListing(), before);
    EXPECT_EQ(quillon::testing::readFile(file("A.wav")), original);
}

INSTANTIATE_TEST_SUITE_P(
    Overwrite, ConfirmationTest,
    ::testing::Values(ConfirmationCase{false, AlertStyle::Default, {"Remove Empty Tracks", "Cancel"}, slimConfirmation},
                      ConfirmationCase{true, AlertStyle::Critical, {"Overwrite", "Cancel"}, overwriteConfirmation}),
    [](const auto& info) { return info.param.overwrite ? std::string("On") : std::string("Off"); });

TEST_F(RemovalFlowTest, WritesSlimCopiesReportsAndRescans) {
    write("A.wav", eightTracksTwoEmpty);
    write("B.wav", {.levels = {0.5, 0.5}});
    scan();
    harness.clearStatusTexts();

    harness.click("Remove Empty Tracks From All");
    ASSERT_TRUE(harness.waitUntilIdle());

    ASSERT_EQ(dialogs().shown.size(), 2u);
    EXPECT_EQ(dialogs().shown[0].box.informativeText, slimConfirmation.arg(1));
    const FakeDialogs::Shown& report = dialogs().shown[1];
    EXPECT_EQ(report.box.messageText, "Remove Empty Tracks complete");
    EXPECT_EQ(report.box.style, AlertStyle::Default);
    EXPECT_TRUE(report.box.buttons.isEmpty());
    EXPECT_EQ(report.box.informativeText, "Success:\nA.wav \u2192 A_SLIM.wav (2 removed, 6 kept)\n");
    EXPECT_EQ(report.statusWhileShown, "Removed empty tracks from 1 file(s).");

    const QString bare = qs(folder.path());
    EXPECT_EQ(harness.statusTexts(),
              QStringList({"Removing empty tracks from 1 file(s)\u2026", "Removed empty tracks from 1 file(s).",
                           "Scanning " + bare + "\u2026", "Analyzing 1/3: A.wav", "Analyzing 2/3: A_SLIM.wav",
                           "Analyzing 3/3: B.wav", "Found 3 polyphonic WAV file(s); 1 have empty tracks."}));
    EXPECT_EQ(folderListing(), (std::vector<std::string>{"A.wav", "A_SLIM.wav", "B.wav"}));
    ASSERT_EQ(app().results().size(), 3u);
    EXPECT_EQ(app().results()[1].channels, 6);
    EXPECT_EQ(app().results()[1].emptyCount(), 0);
    EXPECT_EQ(app().selectedFileIndexes(), std::vector<std::size_t>{0});
}

TEST_F(RemovalFlowTest, OverwriteReplacesTheOriginal) {
    write("A.wav", eightTracksTwoEmpty);
    scan();
    app().overwriteCheck()->setChecked(true);
    harness.click("Remove Empty Tracks From Selected");
    ASSERT_TRUE(harness.waitUntilIdle());

    ASSERT_EQ(dialogs().shown.size(), 2u);
    EXPECT_EQ(dialogs().shown[0].box.style, AlertStyle::Critical);
    EXPECT_EQ(dialogs().shown[1].box.informativeText, "Success:\nA.wav \u2192 A.wav (2 removed, 6 kept)\n");
    EXPECT_EQ(folderListing(), std::vector<std::string>{"A.wav"});
    ASSERT_EQ(app().results().size(), 1u);
    EXPECT_EQ(app().results()[0].channels, 6);
    EXPECT_EQ(app().statusLabel()->text(), "Found 1 polyphonic WAV file(s); 0 have empty tracks.");
}

TEST_F(RemovalFlowTest, OnlyTheSelectedFileThatPassesIsWritten) {
    write("A.wav", {.levels = {0.5, 0.5}});
    write("B.wav", {.levels = {0.5, 0.0}});
    write("C.wav", {.levels = {0.5, 0.0}});
    scan();
    app().fileTable()->selectionModel()->select(app().fileTable()->model()->index(1, 0),
                                                QItemSelectionModel::Select | QItemSelectionModel::Rows);
    ASSERT_EQ(app().selectedFileIndexes(), (std::vector<std::size_t>{0, 1}));
    harness.click("Remove Empty Tracks From Selected");
    ASSERT_TRUE(harness.waitUntilIdle());
    EXPECT_EQ(dialogs().shown[0].box.informativeText, slimConfirmation.arg(1));
    EXPECT_EQ(folderListing(), (std::vector<std::string>{"A.wav", "B.wav", "B_SLIM.wav", "C.wav"}));
}

TEST_F(RemovalFlowTest, AFailureIsReportedAndTheOthersAreStillWritten) {
    write("A.wav", eightTracksTwoEmpty);
    write("B.wav", {.levels = {0.5, 0.0, 0.5}});
    write("C.wav", {.levels = {0.0, 0.5}});
    scan();
    // B changes on disk after the scan: the writer no longer finds an empty track.
    write("B.wav", {.levels = {0.5, 0.5, 0.5}});
    harness.clearStatusTexts();

    harness.click("Remove Empty Tracks From All");
    ASSERT_TRUE(harness.waitUntilIdle());

    ASSERT_EQ(dialogs().shown.size(), 2u);
    EXPECT_EQ(dialogs().shown[0].box.informativeText, slimConfirmation.arg(3));
    EXPECT_EQ(dialogs().shown[1].box.informativeText,
              "Success:\n"
              "A.wav \u2192 A_SLIM.wav (2 removed, 6 kept)\n"
              "C.wav \u2192 C_SLIM.wav (1 removed, 1 kept)\n"
              "\n"
              "Errors:\n"
              "B.wav: No empty tracks to remove\n");
    EXPECT_EQ(dialogs().shown[1].statusWhileShown, "Removed empty tracks from 2 file(s). 1 failed.");
    EXPECT_EQ(folderListing(), (std::vector<std::string>{"A.wav", "A_SLIM.wav", "B.wav", "C.wav", "C_SLIM.wav"}));
    // The rescan lists every file but C_SLIM.wav, which has a single track left.
    EXPECT_EQ(app().results().size(), 4u);
}

TEST_F(RemovalFlowTest, WhenEveryFileFailsOnlyErrorsAreReported) {
    write("A.wav", {.levels = {0.5, 0.0}});
    scan();
    std::filesystem::remove(file("A.wav"));

    harness.click("Remove Empty Tracks From All");
    ASSERT_TRUE(harness.waitUntilIdle());

    ASSERT_EQ(dialogs().shown.size(), 2u);
    EXPECT_EQ(dialogs().shown[1].box.informativeText, "Errors:\nA.wav: Could not open file\n");
    EXPECT_EQ(dialogs().shown[1].statusWhileShown, "Removed empty tracks from 0 file(s). 1 failed.");
}

TEST_F(RemovalFlowTest, RescanAfterThePathFieldChangedShowsItsAlertAndKeepsTheStatus) {
    write("A.wav", {.levels = {0.5, 0.0}});
    scan();
    dialogs().confirmAnswers = {true};
    app().compressAll();
    app().pathField()->setText("");  // edited while the removal runs
    ASSERT_TRUE(harness.waitUntilIdle());
    EXPECT_EQ(dialogs().alerts(), QStringList{"Choose a directory first."});
    EXPECT_EQ(app().statusLabel()->text(), "Removed empty tracks from 1 file(s).");
    EXPECT_EQ(app().results().size(), 1u);
}

TEST_F(RemovalFlowTest, RemovalWhileBusyStartsNothing) {
    for (int i = 0; i < 10; ++i) write("T" + std::to_string(i) + ".wav", {.levels = {0.5, 0.0}, .frames = 48000});
    scan();
    app().scan();
    ASSERT_TRUE(app().busy());
    app().compressAll();
    app().runCompress({0});
    EXPECT_TRUE(dialogs().shown.empty());
    ASSERT_TRUE(harness.waitUntilIdle());
    EXPECT_EQ(folderListing().size(), 10u);
}

}  // namespace
}  // namespace quillon::app::testing
