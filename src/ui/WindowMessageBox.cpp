#include "ui/WindowMessageBox.h"

#include <QMessageBox>

namespace tervane {

void WindowMessageBox::Show(const std::string& text)
{
    QMessageBox box(QMessageBox::NoIcon, QString::fromLatin1(kApplicationTitle), QString::fromStdString(text),
                    QMessageBox::Ok, m_window);
    // Texts of the service and of the platform are shown as they are, never as markup.
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

} // namespace tervane
