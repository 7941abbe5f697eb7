#include "ui/DropDownComboBox.h"

namespace tervane {

void DropDownComboBox::showPopup()
{
    emit dropDown();
    // Filling the list may hide the box (a state without counties); a list without its
    // box would float on its own.
    if (isVisible()) {
        QComboBox::showPopup();
    }
}

} // namespace tervane
