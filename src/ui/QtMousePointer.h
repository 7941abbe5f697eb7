#pragma once

// The application-wide mouse pointer as an override cursor. The hourglass is one
// override however often it is asked for; the default shape removes every override,
// including any a window set on its own.

#include "retrieval/MousePointer.h"

namespace tervane {

class QtMousePointer : public MousePointer {
public:
    void ShowHourglass() override;
    void ShowDefault() override;
};

} // namespace tervane
