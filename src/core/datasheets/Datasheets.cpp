#include "datasheets/Datasheets.h"

#include <algorithm>
#include <utility>

namespace tervane {

std::string DatasheetLink(std::string_view serviceUrl, std::string_view pid)
{
    std::string link;
    AppendDatasheetLink(link, serviceUrl, pid, [](std::string& out, std::string_view text) { out += text; });
    return link;
}

void Datasheets::Include(std::string_view pid, std::string page)
{
    m_pages.insert_or_assign(std::string(pid), DatasheetPage{true, std::move(page)});
}

void Datasheets::Miss(std::string_view pid, std::string reason)
{
    m_pages.insert_or_assign(std::string(pid), DatasheetPage{false, std::move(reason)});
}

std::size_t Datasheets::Missing() const
{
    return static_cast<std::size_t>(
        std::count_if(m_pages.begin(), m_pages.end(), [](const auto& entry) { return !entry.second.included; }));
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
