#include "datasheets/Datasheets.h"

#include <algorithm>
#include <utility>

namespace tervane {

std::string DatasheetLink(std::string_view serviceUrl, std::string_view pid)
{
    while (!serviceUrl.empty() && serviceUrl.back() == '/')
        serviceUrl.remove_suffix(1);
    std::string link;
    if (serviceUrl.find("://") == std::string_view::npos)
        link = "http://";
    link += serviceUrl;
    link += kDatasheetPath;
    link += pid;
    return link;
}

void Datasheets::Include(std::string_view pid, std::string page)
{
    m_pages.insert_or_assign(std::string(pid), DatasheetPage{true, std::move(page)});
}

void Datasheets::Miss(std::string_view pid, std::string reason)
{
    ++m_missing;
    m_pages.insert_or_assign(std::string(pid), DatasheetPage{false, std::move(reason)});
}

const DatasheetPage* Datasheets::Find(std::string_view pid) const
{
    const auto found = m_pages.find(pid);
    return found == m_pages.end() ? nullptr : &found->second;
}

std::string MissingDatasheetsMessage(const Datasheets& datasheets, std::span<const std::string_view> pids)
{
    const std::size_t missing = datasheets.Missing();
    if (missing == 0)
        return {};
    const auto first = std::find_if(pids.begin(), pids.end(), [&](std::string_view pid) {
        const DatasheetPage* page = datasheets.Find(pid);
        return page && !page->included;
    });
    std::string message = std::to_string(missing);
    message += missing == 1 ? " datasheet is not included in the package" : " datasheets are not included in the package";
    if (first != pids.end()) {
        message += missing == 1 ? ": " : ". The first: ";
        message += *first;
        message += " (";
        message += datasheets.Find(*first)->text;
        message += ')';
    }
    message += '.';
    return message;
}

} // namespace tervane
