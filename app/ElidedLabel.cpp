#include "ElidedLabel.h"

#include <QPainter>

namespace quillon::app {
namespace {

// Line breaks inside a message would make a second line; show them as spaces.
QString asOneLine(QString text) {
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    text.replace(QLatin1Char('\r'), QLatin1Char(' '));
    return text;
}

}  // namespace

ElidedLabel::ElidedLabel(const QString& text, QWidget* parent) : QFrame(parent), _text(text) {
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
}

void ElidedLabel::setText(const QString& text) {
    if (text == _text) return;
    _text = text;
    setToolTip(_text);
    updateGeometry();  // what follows the text moves with its end
    update();
    emit textChanged(_text);
}

QString ElidedLabel::displayedText() const {
    return fontMetrics().elidedText(asOneLine(_text), Qt::ElideMiddle, contentsRect().width());
}

QSize ElidedLabel::sizeHint() const {
    const QMargins margins = contentsMargins();
    // A character's width to spare: eliding measures a little wider than one advance.
    return {fontMetrics().horizontalAdvance(asOneLine(_text)) + fontMetrics().averageCharWidth() + margins.left() +
                margins.right(),
            fontMetrics().height() + margins.top() + margins.bottom()};
}

QSize ElidedLabel::minimumSizeHint() const { return {0, sizeHint().height()}; }

void ElidedLabel::paintEvent(QPaintEvent* event) {
    QFrame::paintEvent(event);
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(contentsRect(), Qt::AlignLeft | Qt::AlignVCenter, displayedText());
}

}  // namespace quillon::app
