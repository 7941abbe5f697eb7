#pragma once

// The application-wide mouse pointer. The run shows the hourglass while it fetches and
// puts the default shape back however it ends; the sign-in dialog shows the default shape
// while it waits for the user and the hourglass again at OK.

namespace tervane {

class MousePointer {
public:
    virtual ~MousePointer() = default;
    virtual void ShowHourglass() = 0;
    virtual void ShowDefault() = 0;
};

} // namespace tervane
