#pragma once

// Message boxes as the program shows every failure: the text, one OK button, the
// application title as caption and no icon. Modal; centred over the main window once it
// is known.

#include "retrieval/RetrievalRun.h"

#include <QPointer>
#include <QString>

class QWidget;

namespace tervane {

inline constexpr const char* kApplicationTitle = "Tervane";

class WindowMessageBox : public MessageBox {
public:
    void SetParentWindow(QWidget* window) { m_window = window; }
    void Show(const std::string& text) override;

private:
    QPointer<QWidget> m_window;
};

} // namespace tervane
