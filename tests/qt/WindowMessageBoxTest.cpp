// The message box every failure is shown in.

#include "ui/WindowMessageBox.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

namespace tervane::test {
namespace {

// A refusal page of a server may be HTML; it must be shown as the text it is.
TEST(WindowMessageBox, ShowsTheTextAsPlainTextWithTheTitleAndOneOkButton)
{
    const std::string text = "<html><h1>Unauthorized</h1></html> & more";
    bool seen = false;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        seen = true;
        EXPECT_EQ(box->text().toStdString(), text);
        EXPECT_EQ(box->windowTitle().toStdString(), "Tervane");
        EXPECT_EQ(box->textFormat(), Qt::PlainText);
        EXPECT_EQ(box->icon(), QMessageBox::NoIcon);
        EXPECT_EQ(box->buttons().size(), 1);
        box->button(QMessageBox::Ok)->click();
    });
    WindowMessageBox().Show(text);
    EXPECT_TRUE(seen);
}

} // namespace
} // namespace tervane::test
