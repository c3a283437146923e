#include "WidgetDialogs.h"

#include "AppIcon.h"

#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

namespace quillon::app {
namespace {

constexpr int alertIconSize = 64;
constexpr int informativeMinimumWidth = 420;

// File names and engine messages are shown as written, never as markup. The
// message stands out in bold above a comfortably wide explanation.
void styleLabels(QMessageBox& box) {
    box.setTextFormat(Qt::PlainText);
    if (auto* message = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label"))) {
        QFont bold = message->font();
        bold.setBold(true);
        message->setFont(bold);
    }
    if (auto* informative = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel"))) {
        informative->setTextFormat(Qt::PlainText);
        informative->setMinimumWidth(informativeMinimumWidth);
    }
}

void addButtons(QMessageBox& box, const AlertBox& request) {
    if (request.buttons.isEmpty()) {
        box.setStandardButtons(QMessageBox::Ok);
        box.setDefaultButton(QMessageBox::Ok);
        box.setEscapeButton(QMessageBox::Ok);
        return;
    }
    QPushButton* last = nullptr;
    for (qsizetype i = 0; i < request.buttons.size(); ++i) {
        const auto role = i == 0 ? QMessageBox::AcceptRole : QMessageBox::RejectRole;
        last = box.addButton(request.buttons[i], role);
        if (i == 0) box.setDefaultButton(last);
    }
    box.setEscapeButton(last);
    // Return must not overwrite originals by accident: a critical box defaults
    // to its last button (Cancel).
    if (request.style == AlertStyle::Critical) box.setDefaultButton(last);
}

}  // namespace

std::unique_ptr<QMessageBox> WidgetDialogs::buildMessageBox(QWidget* parent, const AlertBox& request) {
    auto box = std::make_unique<QMessageBox>(parent);
    box->setWindowTitle(QStringLiteral("Quillon"));
    box->setText(request.messageText);
    box->setInformativeText(request.informativeText);
    styleLabels(*box);
    if (request.style == AlertStyle::Critical)
        box->setIcon(QMessageBox::Warning);
    else
        box->setIconPixmap(appIcon().pixmap(alertIconSize, alertIconSize));
    addButtons(*box, request);
    return box;
}

QAbstractButton* WidgetDialogs::firstButton(const QMessageBox& box) {
    const QList<QAbstractButton*> buttons = box.buttons();
    for (QAbstractButton* button : buttons)
        if (box.buttonRole(button) == QMessageBox::AcceptRole) return button;
    return buttons.isEmpty() ? nullptr : buttons.front();
}

void WidgetDialogs::showMessage(QWidget* parent, const AlertBox& request) {
    buildMessageBox(parent, request)->exec();
}

bool WidgetDialogs::confirm(QWidget* parent, const AlertBox& request) {
    const std::unique_ptr<QMessageBox> box = buildMessageBox(parent, request);
    box->exec();
    return box->clickedButton() != nullptr && box->clickedButton() == firstButton(*box);
}

void WidgetDialogs::chooseFolder(QWidget* parent, const QString& message,
                                 std::function<void(const QString& folder)> onChosen) {
    auto* chooser = new QFileDialog(parent, message);
    chooser->setAttribute(Qt::WA_DeleteOnClose);
    chooser->setFileMode(QFileDialog::Directory);
    chooser->setOption(QFileDialog::ShowDirsOnly);
    chooser->setWindowModality(Qt::WindowModal);
    QObject::connect(chooser, &QFileDialog::fileSelected, chooser,
                     [onChosen = std::move(onChosen)](const QString& folder) { onChosen(folder); });
    chooser->open();
}

}  // namespace quillon::app
