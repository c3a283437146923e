// The message boxes as the application shows them: title, texts, icon,
// buttons, and which button Return and Escape choose.
#include "WidgetDialogs.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QPushButton>

#include <gtest/gtest.h>

namespace quillon::app {
namespace {

struct BoxCase {
    const char* name;
    AlertBox request;
    QStringList shownButtons;
    const char* returnChooses;
    const char* escapeChooses;
};

void PrintTo(const BoxCase& c, std::ostream* out) { *out << c.name; }

class MessageBoxTest : public ::testing::TestWithParam<BoxCase> {};

QStringList buttonTexts(const QMessageBox& box) {
    QStringList texts;
    for (const QAbstractButton* button : box.buttons()) texts.push_back(button->text().remove('&'));
    texts.sort();
    return texts;
}

TEST_P(MessageBoxTest, ShowsTheRequestAsPlainText) {
    const BoxCase& c = GetParam();
    const std::unique_ptr<QMessageBox> box = WidgetDialogs::buildMessageBox(nullptr, c.request);
    EXPECT_EQ(box->windowTitle(), "Quillon");
    EXPECT_EQ(box->text(), c.request.messageText);
    EXPECT_EQ(box->informativeText(), c.request.informativeText);
    EXPECT_EQ(box->textFormat(), Qt::PlainText);
    EXPECT_EQ(box->icon() == QMessageBox::Warning, c.request.style == AlertStyle::Critical);
    QStringList expected = c.shownButtons;
    expected.sort();
    EXPECT_EQ(buttonTexts(*box), expected);
    ASSERT_NE(box->defaultButton(), nullptr);
    EXPECT_EQ(box->defaultButton()->text().remove('&'), c.returnChooses);
    ASSERT_NE(box->escapeButton(), nullptr);
    EXPECT_EQ(box->escapeButton()->text().remove('&'), c.escapeChooses);
    if (!c.request.buttons.isEmpty()) {
        ASSERT_NE(WidgetDialogs::firstButton(*box), nullptr);
        EXPECT_EQ(WidgetDialogs::firstButton(*box)->text(), c.request.buttons.front());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Boxes, MessageBoxTest,
    ::testing::Values(
        BoxCase{"Alert", {"Quillon", "Not a directory:\n<b>x</b>", AlertStyle::Default, {}}, {"OK"}, "OK", "OK"},
        BoxCase{"Confirmation",
                {"Remove Empty Tracks", "Remove empty tracks from 1 file(s)?", AlertStyle::Default,
                 {"Remove Empty Tracks", "Cancel"}},
                {"Remove Empty Tracks", "Cancel"},
                "Remove Empty Tracks",
                "Cancel"},
        BoxCase{"OverwriteConfirmation",
                {"Remove Empty Tracks", "OVERWRITE the originals?", AlertStyle::Critical, {"Overwrite", "Cancel"}},
                {"Overwrite", "Cancel"},
                "Cancel",
                "Cancel"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quillon::app
