#pragma once

// The small dialog that tells which step of a run is going on: the window behind the
// run's ProcessingDialog port, hence its name. The run keeps the user-interface thread
// busy from start to end, so every change that shows is painted before the call returns;
// otherwise the user would see the dialog only after the run had finished. A new bar value is painted only when
// the bar moves by a pixel: painting it for each of many thousand marks cost far more
// than writing them. While the bar advances the dialog lets the program see its events
// every few dozen milliseconds, so that ending the program is noticed during a long
// write (the window drops the user's other input while a run is busy).
//
// One dialog serves the whole program. It is not owned by the main window and has no
// title text; Escape hides it without stopping the run, whose next showing brings it
// back. Closing it through its close control resets it to its first texts.

#include "retrieval/RetrievalRun.h"

#include <QDialog>
#include <QElapsedTimer>

class QLabel;
class QProgressBar;

namespace tervane {

class ProcessingDialogWindow : public QDialog, public ProcessingDialog {
    Q_OBJECT
public:
    explicit ProcessingDialogWindow(QWidget* parent = nullptr);

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
    void SeeEvents();
    int BarPixel(int value) const; // how far the bar is filled at `value`

    QLabel* m_lblProcessing;
    QLabel* m_lblInfo;
    QProgressBar* m_prgb;
    QElapsedTimer m_sinceEvents;
};

} // namespace tervane
