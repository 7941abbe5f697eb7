#include "retrieval/ControlType.h"

namespace tervane {

bool LookupControlCode(std::string& controlCode, std::string_view displayName)
{
    for (const auto& entry : kControlTypes) {
        if (entry.displayName == displayName) {
            controlCode = entry.requestCode;
            return true;
        }
    }
    return false;
}

bool HasGpsCompanion(std::string_view code)
{
    return !code.empty() && code.front() == 'H' && code != "H-G";
}

} // namespace tervane
