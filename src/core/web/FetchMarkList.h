#pragma once

// Fetches one mark-list URL. When the server refuses for want of credentials it asks
// the user to sign in and tries once more with what the user gave.
//
// What the caller gets back, in the order the checks run; a later row replaces the
// error text of an earlier one:
//
//   | server                                          | error                      | reply        |
//   |-------------------------------------------------|----------------------------|--------------|
//   | no reply at all (transfer failure): stops here  | the transfer's description | unchanged    |
//   | answered normally                               | empty                      | the body     |
//   | refused (401, or "Unauthorized" in the body),   | kMsgAccessFailed           | refusal page |
//   |   sign-in cancelled                             |                            |              |
//   | refused again after a sign-in (wrong password)  | kMsgAccessFailed           | refusal page |
//   | status >= 400, not a refusal, and no message of | "The server answered 500   | the body     |
//   |   the service's own in the body: stops here     |  Internal Server Error"    |              |
//   | body holds "INPUT INCOMPLETE"                   | kMsgInvalidInput           | the body     |
//   | empty body, not a 401                           | kMsgNoResponse             | empty        |
//
// So a cancelled refusal whose page also says "INPUT INCOMPLETE" ends in
// kMsgInvalidInput, and an error status whose body starts "INPUT ERR" comes back as an
// ordinary reply for the reply reader to show. A transfer failure on the repeated
// request leaves the refusal page in the reply. One sign-in per call.
//
// A refused password is sent once per request: refused on the repeated request, or (held
// from an earlier sign-in) on the first one, the transfer forgets it and the sign-in is
// told, so neither offers it again until the user types one.
//
// Several requests (a mark list and its companion) go side by side, each through the
// table above, with one sign-in for all: when any is refused the user is asked once, and
// each refused request is repeated once with what the user gave; a cancelled sign-in
// ends each refused request as the table's cancelled refusal.

#include "web/WebPorts.h"

#include <string>
#include <string_view>
#include <vector>

namespace tervane {

inline constexpr std::string_view kMsgAccessFailed = "Internet access failed";
inline constexpr std::string_view kMsgInvalidInput = "Invalid input data!";
inline constexpr std::string_view kMsgNoResponse = "Request timeout.\r\nNo response received.";
// Followed by the status code and its reason phrase.
inline constexpr std::string_view kMsgServerAnswered = "The server answered ";

// Whether an answer is a refusal for want of credentials (a 401, or a page that says
// "Unauthorized"): the fetch then asks for a sign-in and requests the URL once more.
bool AsksForSignIn(int status, std::string_view body);

// Fills `reply` with the reply body and `error` with the message to show (empty on
// success). The mouse pointer is the caller's: the run shows the hourglass meanwhile.
void FetchMarkList(const std::string& url, std::string& reply, std::string& error, Transfer& transfer,
                   SignInPrompt& signIn);

// One request of a fetch: its URL, then its reply and message as for FetchMarkList (a
// reply the transfer could not have is left as it was).
struct MarkListFetch {
    std::string url;
    std::string reply;
    std::string error;
};

// FetchMarkList for several requests at once, sent side by side.
void FetchMarkLists(std::vector<MarkListFetch>& fetches, Transfer& transfer, SignInPrompt& signIn);

} // namespace tervane
