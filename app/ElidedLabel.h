// A read-only one-line label that shortens too long a text in the middle
// (beginning … end) instead of wrapping or clipping it.
#pragma once

#include <QFrame>
#include <QString>

namespace quillon::app {

class ElidedLabel : public QFrame {
    Q_OBJECT
public:
    explicit ElidedLabel(const QString& text = {}, QWidget* parent = nullptr);

    QString text() const { return _text; }
    void setText(const QString& text);

    // The text as drawn at the label's current width.
    QString displayedText() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    void textChanged(const QString& text);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString _text;
};

}  // namespace quillon::app
