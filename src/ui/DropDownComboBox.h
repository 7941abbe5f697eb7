#pragma once

// An editable drop-down list that tells its window just before its list opens, so the
// window can fill an empty list first (the county list loads itself on opening).

#include <QComboBox>

namespace tervane {

class DropDownComboBox : public QComboBox {
    Q_OBJECT
public:
    using QComboBox::QComboBox;

    void showPopup() override;

signals:
    void dropDown();
};

} // namespace tervane
