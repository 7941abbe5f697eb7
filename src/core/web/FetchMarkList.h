#pragma once

// Fetches one mark-list URL. When the server refuses for want of credentials it asks
// the user to sign in and tries once more with what the user gave.

#include "web/WebPorts.h"

#include <string>
#include <string_view>

namespace tervane {

inline constexpr std::string_view kMsgAccessFailed = "Internet access failed";
inline constexpr std::string_view kMsgInvalidInput = "Invalid input data!";
inline constexpr std::string_view kMsgNoResponse = "Request timeout.\r\nNo response received.";

// Fills `reply` with the reply body and `error` with the message to show (empty on
// success). Leaves the pointer as the hourglass; restoring it is the caller's task.
void FetchMarkList(const std::string& url, std::string& reply, std::string& error, Transfer& transfer,
                   SignInPrompt& signIn, MousePointer& pointer);

} // namespace tervane
