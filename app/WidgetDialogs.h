// Dialogs on QMessageBox and QFileDialog.
#pragma once

#include "Dialogs.h"

#include <memory>

class QAbstractButton;
class QMessageBox;

namespace quillon::app {

class WidgetDialogs : public Dialogs {
public:
    void showMessage(QWidget* parent, const AlertBox& box) override;
    bool confirm(QWidget* parent, const AlertBox& box) override;
    void chooseFolder(QWidget* parent, const QString& message,
                      std::function<void(const QString& folder)> onChosen) override;

    // The box as it will be shown, without running it; its first button is
    // the one that confirms.
    static std::unique_ptr<QMessageBox> buildMessageBox(QWidget* parent, const AlertBox& box);
    static QAbstractButton* firstButton(const QMessageBox& box);
};

}  // namespace quillon::app
