#include "app_fixture.h"

#include <QTableView>

#include <algorithm>

namespace quillon::app::testing {

void AppTest::scan() { ASSERT_TRUE(harness.scanFolder(folder.path())); }

std::vector<std::string> AppTest::folderListing() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder.path()))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

QString AppTest::trackCell(int row, int column) const {
    const QTableView* table = harness.app().trackTable();
    return table->model()->index(row, column).data().toString();
}

QString AppTest::fileCell(int row) const {
    const QTableView* table = harness.app().fileTable();
    return table->model()->index(row, 0).data().toString();
}

}  // namespace quillon::app::testing
