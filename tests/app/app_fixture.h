// A test with a fresh controller, its window and a temporary folder of files.
#pragma once

#include "app_test_support.h"
#include "wav_builder.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace quillon::app::testing {

class AppTest : public ::testing::Test {
protected:
    AppDelegate& app() const { return harness.app(); }
    FakeDialogs& dialogs() const { return harness.dialogs(); }
    std::filesystem::path file(const std::string& name) const { return folder / name; }
    // Writes the file into the temporary folder.
    void write(const std::string& name, const PolyFile& poly) const { writePolyFile(file(name), poly); }
    // Scans the temporary folder and checks that the scan ended.
    void scan();
    std::vector<std::string> folderListing() const;
    QString trackCell(int row, int column) const;
    QString fileCell(int row) const;

    quillon::testing::TempDir folder;
    Harness harness;
};

}  // namespace quillon::app::testing
