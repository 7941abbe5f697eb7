#pragma once

// The small dialog that tells which step of a run is going on. It implements the run's
// ProcessingDialog port. The run keeps the user-interface thread busy from start to end,
// so every change is painted before the call returns; otherwise the user would see the
// dialog only after the run had finished.
//
// One dialog serves the whole program. It is not owned by the main window and has no
// title text; Escape hides it without stopping the run, whose next showing brings it
// back. Closing it through its close control resets it to its first texts.

#include "retrieval/RetrievalRun.h"

#include <QDialog>

class QLabel;
class QProgressBar;

namespace tervane {

class dlgProcessing : public QDialog, public ProcessingDialog {
    Q_OBJECT
public:
    explicit dlgProcessing(QWidget* parent = nullptr);

    void Show() override;
    void Hide() override;
    void HideProcessingLabel() override;
    void SetInfo(const std::string& text) override;
    void SetBarVisible(bool visible) override;
    void SetBarMaximum(std::size_t maximum) override;
    void SetBarValue(std::size_t value) override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void Reset();
    void PaintNow(QWidget* changed);

    QLabel* m_lblProcessing;
    QLabel* m_lblInfo;
    QProgressBar* m_prgb;
};

} // namespace tervane
