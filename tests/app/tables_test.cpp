// The file and track tables and the caption: texts and colours per state,
// the current file under several selections, Select All and deselection.
#include "app_fixture.h"

#include "ColumnTableModel.h"
#include "ElidedLabel.h"
#include "TextTone.h"
#include "texts.h"

#include <QGuiApplication>
#include <QItemSelectionModel>
#include <QTableView>

namespace quillon::app::testing {
namespace {

TextTone toneOf(const QTableView* table, int row, int column) {
    return static_cast<TextTone>(table->model()->index(row, column).data(ColumnTableModel::ToneRole).toInt());
}

QColor colourOf(const QTableView* table, int row, int column) {
    return table->model()->index(row, column).data(Qt::ForegroundRole).value<QColor>();
}

using TablesTest = AppTest;

TEST_F(TablesTest, FileRowsShowTheSummaryInTheColourOfTheirState) {
    write("A_clean.wav", {.levels = {0.5, 0.5}});
    write("B_some_empty.wav", {.levels = {0.5, 0.0, 0.0}});
    write("C_all_empty.wav", {.levels = {0.0, 0.0}});
    quillon::testing::writeFile(file("D_broken.wav"), "RIFF\x04\x00\x00\x00WAVE");
    scan();
    // Discovery never lists an unreadable file; its record reaches the table
    // when the file breaks between discovery and analysis.
    std::vector<PolyWavInfo> results = app().results();
    results.push_back(analyzePolyWav(file("D_broken.wav"), 0.001));
    ASSERT_FALSE(results.back().error.empty());
    app().finishScan({"", results});

    const QTableView* table = app().fileTable();
    ASSERT_EQ(table->model()->rowCount(), 4);
    const std::vector<TextTone> tones{TextTone::Label, TextTone::Red, TextTone::Red, TextTone::Orange};
    for (int row = 0; row < 4; ++row) {
        EXPECT_EQ(fileCell(row), QString::fromUtf8(results[static_cast<std::size_t>(row)].summary()));
        EXPECT_EQ(toneOf(table, row, 0), tones[static_cast<std::size_t>(row)]) << row;
        EXPECT_EQ(colourOf(table, row, 0), toneColour(tones[static_cast<std::size_t>(row)], QGuiApplication::palette()));
    }
    EXPECT_EQ(app().statusLabel()->text(), "Found 4 polyphonic WAV file(s); 2 have empty tracks.");

    app().fileTable()->selectRow(3);
    EXPECT_EQ(app().trackTable()->model()->rowCount(), 0);
    EXPECT_EQ(app().metaLabel()->text(), "Error: " + QString::fromUtf8(results.back().error));
}

TEST_F(TablesTest, TrackCellsShowNumberNamePeakAndState) {
    write("A.wav", {.levels = {0.0, 0.5, 1.0, 0.0}, .ixml = ixmlTrackNames({"Boom", "Lav \xFF", "", "Mix"})});
    scan();
    const QTableView* table = app().trackTable();
    ASSERT_EQ(table->model()->rowCount(), 4);

    struct Row {
        const char* num;
        const char* name;
        const char* peak;
        const char* state;
    };
    const std::vector<Row> expected{{"1", "Boom", "-inf", "empty"},
                                    {"2", "Lav \uFFFD", "-6.0 dB", "active"},
                                    {"3", "Track 3", "0.0 dB", "active"},
                                    {"4", "Mix", "-inf", "empty"}};
    for (int row = 0; row < 4; ++row) {
        const Row& want = expected[static_cast<std::size_t>(row)];
        EXPECT_EQ(trackCell(row, 0), want.num);
        EXPECT_EQ(trackCell(row, 1), want.name);
        EXPECT_EQ(trackCell(row, 2), want.peak);
        EXPECT_EQ(trackCell(row, 3), want.state);
        const bool empty = std::string(want.state) == "empty";
        for (int column = 0; column < 4; ++column) {
            const TextTone tone = empty ? TextTone::Red : column == 3 ? TextTone::Green : TextTone::Label;
            EXPECT_EQ(toneOf(table, row, column), tone) << row << ',' << column;
        }
    }
    EXPECT_FALSE(table->model()->index(4, 0).data().isValid());
}

TEST_F(TablesTest, RecorderFileShowsItsTrackNamesAndTimecode) {
    std::filesystem::copy_file(quillon::testing::corpusDir() / "A101_1.WAV", file("A101_1.WAV"));
    scan();
    ASSERT_EQ(app().results().size(), 1u);
    EXPECT_TRUE(fileCell(0).startsWith("12:39:59:00  A101_1.WAV  \u2014  2 tracks (0 active, 2 empty)"))
        << fileCell(0).toStdString();
    EXPECT_EQ(toneOf(app().fileTable(), 0, 0), TextTone::Red);
    EXPECT_EQ(trackCell(0, 1), "MKH516 A");
    EXPECT_EQ(trackCell(1, 1), "Boom");
    EXPECT_EQ(trackCell(0, 3), "empty");
}

TEST(PeakTextTest, ConvertsLinearPeaksToDecibels) {
    const std::vector<std::pair<double, const char*>> cases{
        {0.0, "-inf"}, {0.5, "-6.0 dB"}, {0.001, "-60.0 dB"}, {1.0, "0.0 dB"}, {2.0, "6.0 dB"}, {1e-9, "-180.0 dB"}};
    for (const auto& [peak, text] : cases) EXPECT_EQ(ui::peakText(peak), text) << peak;
}

TEST_F(TablesTest, CaptionSumsUpTheCurrentFile) {
    write("A_int.wav", {.levels = {0.5, 0.0, 0.5, 0.5, 0.0, 0.5, 0.5, 0.5}, .bitsPerSample = 24});
    write("B_float.wav", {.levels = {0.5, 0.0}, .isFloat = true, .sampleRate = 96000});
    write("C_16.wav", {.levels = {0.5, 0.5}, .bitsPerSample = 16, .sampleRate = 44100});
    scan();
    const QStringList captions{"8 tracks \u00B7 6 active \u00B7 2 empty \u00B7 24-bit \u00B7 48000 Hz",
                               "2 tracks \u00B7 1 active \u00B7 1 empty \u00B7 32-bit float \u00B7 96000 Hz",
                               "2 tracks \u00B7 2 active \u00B7 0 empty \u00B7 16-bit \u00B7 44100 Hz"};
    for (int row = 0; row < 3; ++row) {
        app().fileTable()->selectRow(row);
        EXPECT_EQ(app().metaLabel()->text(), captions[row]);
    }
}

TEST_F(TablesTest, TrackSideFollowsTheRowSelectedLast) {
    write("A.wav", {.levels = {0.5, 0.0}});
    write("B.wav", {.levels = {0.5, 0.0, 0.5}});
    write("C.wav", {.levels = {0.5, 0.5, 0.5, 0.5}});
    scan();
    QItemSelectionModel* selection = app().fileTable()->selectionModel();
    const auto index = [&](int row) { return app().fileTable()->model()->index(row, 0); };

    selection->setCurrentIndex(index(2), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    EXPECT_EQ(app().selectedFileIndexes(), (std::vector<std::size_t>{0, 2}));
    EXPECT_EQ(app().currentFileRow(), 2u);
    EXPECT_EQ(app().trackTable()->model()->rowCount(), 4);

    selection->setCurrentIndex(index(1), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    EXPECT_EQ(app().selectedFileIndexes(), (std::vector<std::size_t>{0, 1, 2}));
    EXPECT_EQ(app().trackTable()->model()->rowCount(), 3);
    EXPECT_EQ(app().metaLabel()->text(), "3 tracks \u00B7 2 active \u00B7 1 empty \u00B7 24-bit \u00B7 48000 Hz");

    // Deselecting the row clicked last leaves another selected row current.
    selection->setCurrentIndex(index(1), QItemSelectionModel::Deselect | QItemSelectionModel::Rows);
    EXPECT_EQ(app().selectedFileIndexes(), (std::vector<std::size_t>{0, 2}));
    ASSERT_TRUE(app().currentFileRow().has_value());
    EXPECT_EQ(app().trackTable()->model()->rowCount(),
              static_cast<int>(app().results()[*app().currentFileRow()].tracks.size()));
}

TEST_F(TablesTest, SelectAllSelectsEveryFile) {
    write("A.wav", {.levels = {0.5, 0.0}});
    write("B.wav", {.levels = {0.5, 0.5}});
    write("C.wav", {.levels = {0.0, 0.0}});
    scan();
    harness.click("Select All");
    EXPECT_EQ(app().selectedFileIndexes(), (std::vector<std::size_t>{0, 1, 2}));
    ASSERT_TRUE(app().currentFileRow().has_value());
    EXPECT_FALSE(app().metaLabel()->text().isEmpty());
}

TEST_F(TablesTest, DeselectingEverythingEmptiesTheTrackSide) {
    write("A.wav", {.levels = {0.5, 0.0}});
    scan();
    ASSERT_EQ(app().trackTable()->model()->rowCount(), 2);
    app().fileTable()->clearSelection();
    EXPECT_FALSE(app().currentFileRow().has_value());
    EXPECT_EQ(app().trackTable()->model()->rowCount(), 0);
    EXPECT_EQ(app().metaLabel()->text(), "");
}

TEST_F(TablesTest, SelectingInTheTrackTableChangesNothing) {
    write("A.wav", {.levels = {0.5, 0.0}});
    scan();
    const QString caption = app().metaLabel()->text();
    app().trackTable()->selectRow(1);
    EXPECT_EQ(app().metaLabel()->text(), caption);
    EXPECT_EQ(app().selectedFileIndexes(), std::vector<std::size_t>{0});
}

TEST(ToneColourTest, ColoursStayDistinctFromTheBackgroundInLightAndDarkPalettes) {
    QPalette light;
    light.setColor(QPalette::Base, Qt::white);
    light.setColor(QPalette::Text, Qt::black);
    QPalette dark;
    dark.setColor(QPalette::Base, QColor(0x1E, 0x1E, 0x1E));
    dark.setColor(QPalette::Text, QColor(0xEE, 0xEE, 0xEE));
    for (const QPalette& palette : {light, dark}) {
        EXPECT_EQ(toneColour(TextTone::Label, palette), palette.color(QPalette::Text));
        for (const TextTone tone : {TextTone::Red, TextTone::Orange, TextTone::Green}) {
            const int contrast = std::abs(toneColour(tone, palette).lightness() - palette.color(QPalette::Base).lightness());
            EXPECT_GT(contrast, 80) << static_cast<int>(tone);
        }
    }
}

}  // namespace
}  // namespace quillon::app::testing
