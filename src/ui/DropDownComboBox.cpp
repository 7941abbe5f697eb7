#include "ui/DropDownComboBox.h"

namespace tervane {

void DropDownComboBox::showPopup()
{
    emit dropDown();
    // A list that stayed empty (a state without counties) is not opened by QComboBox.
    QComboBox::showPopup();
}

} // namespace tervane
