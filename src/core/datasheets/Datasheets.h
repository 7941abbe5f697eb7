#pragma once

// The datasheet pages of a run's marks, by PID, for a field package: each mark's page as
// the service sent it, or why the package goes without it. The KML writer puts each
// page after its placemark's link; a missing one is named there with its reason, and the
// run tells the user how many are missing.

#include <cstddef>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>

namespace tervane {

inline constexpr std::string_view kDatasheetPath = "/cgi-bin/ds_mark.prl?PidBox=";

// The address of a mark's datasheet page, which its placemark links to and the field
// package fetches. `serviceUrl` is "scheme://host[:port]"; a bare host is taken as http.
std::string DatasheetLink(std::string_view serviceUrl, std::string_view pid);

// The same link appended to `out` in place, the service's address and the PID each through
// `append(out, text)` (a document's escaping), the fixed parts as they are.
template <typename Append>
void AppendDatasheetLink(std::string& out, std::string_view serviceUrl, std::string_view pid, Append&& append)
{
    while (!serviceUrl.empty() && serviceUrl.back() == '/')
        serviceUrl.remove_suffix(1);
    if (serviceUrl.find("://") == std::string_view::npos)
        out += "http://";
    append(out, serviceUrl);
    out += kDatasheetPath;
    append(out, pid);
}

struct DatasheetPage {
    bool included = false;
    std::string text; // included: the page as the service sent it; missing: why it is not
};

class Datasheets {
public:
    void Include(std::string_view pid, std::string page);
    void Miss(std::string_view pid, std::string reason);
    // The page of `pid`, or null when none was asked for.
    const DatasheetPage* Find(std::string_view pid) const;

    std::size_t Size() const { return m_pages.size(); }
    std::size_t Missing() const;

private:
    struct Hash {
        using is_transparent = void;
        std::size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
    };
    std::unordered_map<std::string, DatasheetPage, Hash, std::equal_to<>> m_pages;
};

// Empty when every page is included; otherwise one line: how many datasheets the package
// goes without, and the first of them in `pids`' order (the reply's) with its reason.
std::string MissingDatasheetsMessage(const Datasheets& datasheets, std::span<const std::string_view> pids);

} // namespace tervane
