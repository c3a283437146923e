// Dialogs on QDialog and QFileDialog.
#pragma once

#include "Dialogs.h"

#include <QDialog>
#include <QPushButton>

class QTextEdit;

namespace quillon::app {

// A message box: icon, the message in bold, the explanation under it, and
// the buttons. A long explanation wraps and scrolls inside a box that fits
// the screen, so its buttons stay in view; Ctrl+C copies it.
class AlertDialog : public QDialog {
    Q_OBJECT
public:
    AlertDialog(QWidget* parent, const AlertBox& box);

    // The button that confirms (the first one), and the one Return presses.
    QPushButton* confirmButton() const { return _confirmButton; }
    QPushButton* defaultButton() const { return _defaultButton; }
    QTextEdit* informative() const { return _informative; }
    bool confirmed() const { return _confirmed; }

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    AlertBox _box;
    QTextEdit* _informative = nullptr;
    QPushButton* _confirmButton = nullptr;
    QPushButton* _defaultButton = nullptr;
    bool _confirmed = false;
};

class WidgetDialogs : public Dialogs {
public:
    void showMessage(QWidget* parent, const AlertBox& box) override;
    bool confirm(QWidget* parent, const AlertBox& box) override;
    void chooseFolder(QWidget* parent, const QString& message,
                      std::function<void(const QString& folder)> onChosen) override;
};

}  // namespace quillon::app
