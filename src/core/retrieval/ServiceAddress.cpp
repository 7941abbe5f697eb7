#include "retrieval/ServiceAddress.h"

#include "text/Trim.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>

#ifndef TERVANE_BUILTIN_SERVICE_URL
#define TERVANE_BUILTIN_SERVICE_URL ""
#endif

namespace tervane {

const std::string_view kMsgNoServiceAddress =
    "No mark-list service address is configured. Set TERVANE_SERVICE_URL (for example "
    "http://host:port) or BaseUrl in the [Service] section of ~/.config/Tervane/Tervane.conf.";

namespace {

constexpr unsigned kMaxPort = 65535;

bool StartsWithNoCase(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) {
               auto lower = [](char c) {
                   return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
               };
               return lower(a) == lower(b);
           });
}

bool IsHostNameChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.';
}

bool IsBracketedHostChar(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F') || c == ':' || c == '.';
}

bool Refuse(std::string_view url, std::string_view reason, std::string& error)
{
    error = "The mark-list service address \"" + std::string(url) +
            "\" cannot be used: " + std::string(reason) +
            ". Give it as http://host or https://host, with an optional :port.";
    return false;
}

// A user name and password written into the address would be sent to whoever the
// address names, and echoing them would put the password on the screen: the message
// shows only the scheme and what follows the last '@'.
bool RefuseCredentials(std::string_view url, std::size_t at, std::string& error)
{
    const auto schemeEnd = url.find("://");
    const std::string_view scheme = schemeEnd != std::string_view::npos && schemeEnd < at
                                        ? url.substr(0, schemeEnd + 3)
                                        : std::string_view();
    error = "The mark-list service address \"" + std::string(scheme) + "...@" +
            std::string(url.substr(at + 1)) +
            "\" cannot be used: a user name and password do not belong in the address. Give the address "
            "alone; when the service asks for a sign-in, give them in the sign-in dialog (tervane-cli: "
            "--user and --password-file).";
    return false;
}

} // namespace

std::string_view BuiltInServiceUrl()
{
    return TERVANE_BUILTIN_SERVICE_URL;
}

std::string ResolveServiceUrl(std::string_view environmentValue, std::string_view settingValue,
                              std::string_view builtInValue)
{
    for (auto candidate : {environmentValue, settingValue, builtInValue}) {
        std::string_view value = TrimBlanks(candidate);
        while (!value.empty() && value.back() == '/')
            value.remove_suffix(1);
        if (!value.empty())
            return std::string(value);
    }
    return {};
}

std::string EnvironmentServiceUrl()
{
    const char* value = std::getenv(std::string(kServiceUrlVariable).c_str());
    return value ? value : "";
}

std::string ConfiguredServiceUrl(std::string_view environmentValue, SettingsStore& settings)
{
    return ResolveServiceUrl(environmentValue, settings.GetSetting(kServiceSection, kServiceKey, ""),
                             BuiltInServiceUrl());
}

bool CheckServiceUrl(std::string_view url, std::string& error)
{
    error.clear();
    // Checked first, since every other message quotes the whole address.
    if (const auto at = url.rfind('@'); at != std::string_view::npos)
        return RefuseCredentials(url, at, error);
    std::string_view rest;
    if (StartsWithNoCase(url, "http://"))
        rest = url.substr(7);
    else if (StartsWithNoCase(url, "https://"))
        rest = url.substr(8);
    else
        return Refuse(url, "it does not start with http:// or https://", error);

    // Host: a name or IPv4 address, or an IPv6 address in brackets.
    std::size_t hostEnd = 0;
    if (!rest.empty() && rest.front() == '[') {
        hostEnd = rest.find(']');
        if (hostEnd == std::string_view::npos || hostEnd == 1 ||
            !std::all_of(rest.begin() + 1, rest.begin() + static_cast<std::ptrdiff_t>(hostEnd),
                         IsBracketedHostChar))
            return Refuse(url, "its bracketed host address is malformed", error);
        ++hostEnd;
    } else {
        hostEnd = static_cast<std::size_t>(std::find_if_not(rest.begin(), rest.end(), IsHostNameChar) -
                                           rest.begin());
        if (hostEnd == 0)
            return Refuse(url, "it names no host", error);
    }

    std::string_view tail = rest.substr(hostEnd);
    if (!tail.empty() && tail.front() == ':') {
        std::string_view digits = tail.substr(1);
        auto digitsEnd =
            std::find_if_not(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; });
        auto count = static_cast<std::size_t>(digitsEnd - digits.begin());
        unsigned port = 0;
        auto [end, ec] = std::from_chars(digits.data(), digits.data() + count, port);
        (void)end;
        if (count == 0 || ec != std::errc() || port == 0 || port > kMaxPort)
            return Refuse(url, "its port is not a number from 1 to 65535", error);
        tail = digits.substr(count);
    }
    if (!tail.empty())
        return Refuse(url, "only a scheme, a host and a port may be given, no path, query or blanks", error);
    return true;
}

} // namespace tervane
