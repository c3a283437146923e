// The main window: its controls, where they sit, and folders dropped on it.
// It holds no state of the application; the controller reads and drives it.
#pragma once

#include <QMainWindow>

#include <optional>

class QCheckBox;
class QLineEdit;
class QMimeData;
class QProgressBar;
class QPushButton;
class QTableView;

namespace quillon::app {

class ColumnTableModel;
class ElidedLabel;

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    MainWindow(ColumnTableModel& fileModel, ColumnTableModel& trackModel);

    // Centres the window on its screen and shows it in front.
    void showCentred();

    // The folder of a drop that names exactly one local folder.
    static std::optional<QString> droppedFolder(const QMimeData& mime);

    QLineEdit* pathField() const { return _pathField; }
    QPushButton* browseButton() const { return _browseButton; }
    QPushButton* scanButton() const { return _scanButton; }
    QCheckBox* recursiveCheck() const { return _recursiveCheck; }
    QCheckBox* overwriteCheck() const { return _overwriteCheck; }
    QTableView* fileTable() const { return _fileTable; }
    QTableView* trackTable() const { return _trackTable; }
    ElidedLabel* metaLabel() const { return _metaLabel; }
    QPushButton* removeAllButton() const { return _removeAllButton; }
    QPushButton* removeSelectedButton() const { return _removeSelectedButton; }
    QPushButton* selectAllButton() const { return _selectAllButton; }
    ElidedLabel* statusLabel() const { return _statusLabel; }
    QProgressBar* progress() const { return _progress; }

signals:
    void folderDropped(const QString& folder);

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    QLineEdit* _pathField;
    QPushButton* _browseButton;
    QPushButton* _scanButton;
    QCheckBox* _recursiveCheck;
    QCheckBox* _overwriteCheck;
    QTableView* _fileTable;
    QTableView* _trackTable;
    ElidedLabel* _metaLabel;
    QPushButton* _removeAllButton;
    QPushButton* _removeSelectedButton;
    QPushButton* _selectAllButton;
    ElidedLabel* _statusLabel;
    QProgressBar* _progress;
};

}  // namespace quillon::app
