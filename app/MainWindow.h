// The main window: its controls, where they sit, and folders dropped on it.
// It holds no state of the application; the controller reads and drives its
// controls, which the window owns.
#pragma once

#include <QMainWindow>

#include <optional>

class QAction;
class QCheckBox;
class QLabel;
class QMenuBar;
class QLineEdit;
class QMimeData;
class QProgressBar;
class QPushButton;
class QSortFilterProxyModel;
class QTableView;

namespace quillon::app {

class ColumnTableModel;
class ElidedLabel;

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    // `thresholdDb` is the silence line drawn in the tracks' level strips.
    MainWindow(ColumnTableModel& fileModel, ColumnTableModel& trackModel, double thresholdDb);

    // Sets the menu bar and adds the window's own menu to it.
    void installMenuBar(QMenuBar* menuBar);

    // Centres the window on its screen and shows it in front.
    void showCentred();

    // The folder of a drop that names exactly one local folder.
    static std::optional<QString> droppedFolder(const QMimeData& mime);

    // The file table's order: the model's until the user sorts by a column.
    // Rows of fileTable are rows of this model.
    QSortFilterProxyModel* const fileOrder;

    // The controls, in reading order.
    QLineEdit* const pathField;
    QPushButton* const browseButton;
    QPushButton* const scanButton;
    QCheckBox* const recursiveCheck;
    QCheckBox* const overwriteCheck;
    QTableView* const fileTable;
    ElidedLabel* const trackTitle;  // names the take the track table shows
    QTableView* const trackTable;
    ElidedLabel* const metaLabel;
    QPushButton* const removeAllButton;
    QPushButton* const removeSelectedButton;
    QPushButton* const selectAllButton;
    ElidedLabel* const statusLabel;
    QLabel* const passedOverLink;  // shown after the status when files were passed over
    QProgressBar* const progress;
    QAction* const stopScanAction;        // Esc
    QAction* const showPassedOverAction;  // also what passedOverLink does
    QAction* const keepAlikeAction;       // "Keep Tracks Alike Across Selected Files"

signals:
    void folderDropped(const QString& folder);

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

};

}  // namespace quillon::app
