// The modal conversations of the controller with the user. The application
// uses message boxes and a folder chooser; tests answer through a fake.
#pragma once

#include <QString>
#include <QStringList>

#include <functional>

class QWidget;

namespace quillon::app {

enum class AlertStyle { Default, Critical };

// A message box: a bold message, an explanation under it, and its buttons
// from left to right. No buttons means a single button that dismisses it.
struct AlertBox {
    QString messageText;
    QString informativeText;
    AlertStyle style = AlertStyle::Default;
    QStringList buttons;
};

class Dialogs {
public:
    virtual ~Dialogs() = default;

    // Shows the box and returns when it is dismissed.
    virtual void showMessage(QWidget* parent, const AlertBox& box) = 0;
    // Shows the box and returns true when its first button was chosen.
    virtual bool confirm(QWidget* parent, const AlertBox& box) = 0;
    // Lets the user pick one folder; `onChosen` runs later, on the GUI thread,
    // only if a folder was picked.
    virtual void chooseFolder(QWidget* parent, const QString& message,
                              std::function<void(const QString& folder)> onChosen) = 0;
};

}  // namespace quillon::app
