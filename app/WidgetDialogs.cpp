#include "WidgetDialogs.h"

#include "AppIcon.h"
#include "texts.h"

#include <QClipboard>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QGuiApplication>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QKeyEvent>
#include <QStyle>
#include <QTextEdit>
#include <QTextDocument>

#include <algorithm>
#include <cmath>

namespace quillon::app {
namespace {

constexpr int iconSize = 64;
constexpr int informativeWidth = 420;
// The box never takes more of the screen's height than this.
constexpr double maxScreenShare = 0.8;

// File names and engine messages are shown as written, never as markup.
QLabel* plainLabel(const QString& text) {
    auto* label = new QLabel(text);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

QLabel* iconLabel(QWidget* dialog, AlertStyle style) {
    auto* label = new QLabel;
    const QIcon icon = style == AlertStyle::Critical ? dialog->style()->standardIcon(QStyle::SP_MessageBoxWarning)
                                                     : appIcon();
    label->setPixmap(icon.pixmap(iconSize, iconSize));
    label->setAlignment(Qt::AlignTop);
    return label;
}

// The explanation reads like a label but wraps a line too long for the box
// anywhere (a long file name too), can be selected and copied, and scrolls
// when it is taller than `maxHeight`.
QTextEdit* informativeView(const QString& text, int maxHeight) {
    auto* view = new QTextEdit;
    view->setReadOnly(true);
    view->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    view->setFrameShape(QFrame::NoFrame);
    view->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    view->document()->setDocumentMargin(0);
    view->setPlainText(text);
    QPalette palette = view->palette();
    palette.setColor(QPalette::Base, Qt::transparent);
    view->setPalette(palette);
    // Measured on a document of its own: the view's lays its text out only
    // once it is shown.
    QTextDocument measured;
    measured.setDefaultFont(view->font());
    measured.setDocumentMargin(0);
    measured.setDefaultTextOption(view->document()->defaultTextOption());
    measured.setPlainText(text);
    measured.setTextWidth(informativeWidth);
    const int textHeight = static_cast<int>(std::ceil(measured.size().height()));
    // A scroll bar only where the text does not fit: one that came and went
    // would wrap the text anew.
    if (textHeight <= maxHeight) view->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view->setFixedSize(informativeWidth, std::min(textHeight, maxHeight));
    return view;
}

int maxTextHeight(QWidget* parent) {
    const QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen();
    return std::max(iconSize, static_cast<int>(screen->availableGeometry().height() * maxScreenShare) - 2 * iconSize);
}

}  // namespace

AlertDialog::AlertDialog(QWidget* parent, const AlertBox& box) : QDialog(parent), _box(box) {
    setWindowTitle(QString::fromUtf8(ui::kAppName));
    auto* message = plainLabel(box.messageText);
    QFont bold = message->font();
    bold.setBold(true);
    message->setFont(bold);
    _informative = informativeView(box.informativeText, maxTextHeight(parent));

    auto* buttons = new QDialogButtonBox;
    const QStringList titles = box.buttons.isEmpty() ? QStringList{QStringLiteral("OK")} : box.buttons;
    QPushButton* last = nullptr;
    for (qsizetype i = 0; i < titles.size(); ++i) {
        last = buttons->addButton(titles[i], i == 0 ? QDialogButtonBox::AcceptRole : QDialogButtonBox::RejectRole);
        if (i == 0) _confirmButton = last;
    }
    // Return must not overwrite originals by accident: a critical box
    // defaults to its last button (Cancel). Escape always takes the last.
    _defaultButton = box.style == AlertStyle::Critical ? last : _confirmButton;
    _defaultButton->setDefault(true);
    connect(buttons, &QDialogButtonBox::clicked, this, [this](QAbstractButton* clicked) {
        _confirmed = clicked == _confirmButton;
        _confirmed ? accept() : reject();
    });

    auto* layout = new QGridLayout(this);
    layout->addWidget(iconLabel(this, box.style), 0, 0, 2, 1);
    layout->addWidget(message, 0, 1);
    layout->addWidget(_informative, 1, 1);
    layout->addWidget(buttons, 2, 0, 1, 2);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

// Ctrl+C copies the whole text; where the explanation has the keyboard, it
// copies what is selected there itself.
void AlertDialog::keyPressEvent(QKeyEvent* event) {
    if (!event->matches(QKeySequence::Copy)) return QDialog::keyPressEvent(event);
    QStringList whole{_box.messageText, _box.informativeText};
    whole.removeAll(QString());
    QGuiApplication::clipboard()->setText(whole.join(QStringLiteral("\n\n")));
}

// The keyboard starts on the default button, so Return and Space press it.
void AlertDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    _defaultButton->setFocus();
}

void WidgetDialogs::showMessage(QWidget* parent, const AlertBox& box) { AlertDialog(parent, box).exec(); }

bool WidgetDialogs::confirm(QWidget* parent, const AlertBox& box) {
    AlertDialog dialog(parent, box);
    dialog.exec();
    return dialog.confirmed();
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
