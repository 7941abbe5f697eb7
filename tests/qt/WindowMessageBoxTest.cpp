// The message box every failure is shown in.

#include "ui/WindowMessageBox.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

namespace tervane::test {
namespace {

TEST(WindowMessageBox, ShowsTheTextAsPlainTextWithTheTitleAndOneOkButton)
{
    // A refusal page of a server may be HTML; it must be shown as the text it is.
    const std::string text = "<html><h1>Unauthorized</h1></html> & more";
    QString shownText;
    QString title;
    Qt::TextFormat format = Qt::AutoText;
    QMessageBox::Icon icon = QMessageBox::Critical;
    int buttons = 0;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        shownText = box->text();
        title = box->windowTitle();
        format = box->textFormat();
        icon = box->icon();
        buttons = static_cast<int>(box->buttons().size());
        box->button(QMessageBox::Ok)->click();
    });
    WindowMessageBox messages;
    messages.Show(text);

    EXPECT_EQ(shownText.toStdString(), text);
    EXPECT_EQ(title.toStdString(), "Tervane");
    EXPECT_EQ(format, Qt::PlainText);
    EXPECT_EQ(icon, QMessageBox::NoIcon);
    EXPECT_EQ(buttons, 1);
}

} // namespace
} // namespace tervane::test
