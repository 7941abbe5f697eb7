#include "datasheets/FetchDatasheets.h"

#include "web/FetchMarkList.h"

#include <algorithm>
#include <optional>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

namespace tervane {

namespace {

constexpr std::string_view kUnusablePid = "its PID holds a folder separator or a control character";
constexpr std::string_view kNotCached = "not in the cache, and a saved reply is read without asking the service";
constexpr std::string_view kSignInNeeded = "the service asks for a sign-in";
constexpr std::string_view kEmptyPage = "the service sent an empty page";

// A page to ask the service for, with what the cache holds of it, however old.
struct Wanted {
    std::string_view pid;
    std::optional<CachedDatasheet> stale;
};

std::string ServiceAnswer(const TransferReply& reply)
{
    std::string text = "the service answered " + std::to_string(reply.status);
    if (!reply.statusText.empty())
        text += ' ' + reply.statusText;
    return text;
}

class Fetcher {
public:
    Fetcher(const DatasheetSource& source, Transfer& transfer, DatasheetProgress* progress, Datasheets& datasheets)
        : m_source(source), m_transfer(transfer), m_progress(progress), m_datasheets(datasheets)
    {
    }

    bool Run(std::span<const std::string_view> pids)
    {
        std::vector<Wanted> wanted = FromCache(pids);
        m_total = m_done + wanted.size();
        if (!Report())
            return false;
        const ReplyLimitScope pageSized(m_transfer, kMaxDatasheetBytes);
        const std::size_t atOnce = std::max<std::size_t>(m_source.requestsAtOnce, 1);
        for (std::size_t first = 0; first < wanted.size(); first += atOnce) {
            const std::size_t last = std::min(first + atOnce, wanted.size());
            const std::span<Wanted> group = std::span(wanted).subspan(first, last - first);
            if (!m_gone.empty()) {
                // A service that answered none of a group is not asked again: a dead one
                // would otherwise hold the run for a time limit per group.
                for (Wanted& page : group)
                    Settle(page.pid, page.stale ? std::optional(std::move(page.stale->page)) : std::nullopt,
                           "not asked, the service having answered none of the requests before: " + m_gone);
                if (!Report())
                    return false;
            } else if (!Ask(group)) {
                return false;
            }
        }
        return true;
    }

private:
    // Settles what the cache (or the PID itself) decides, in order; the rest is to be asked.
    std::vector<Wanted> FromCache(std::span<const std::string_view> pids)
    {
        std::vector<Wanted> wanted;
        std::unordered_set<std::string_view> seen;
        for (const std::string_view pid : pids) {
            if (!seen.insert(pid).second)
                continue;
            if (!DatasheetCache::UsablePid(pid)) {
                Settle(pid, std::nullopt, std::string(kUnusablePid));
                continue;
            }
            std::optional<CachedDatasheet> cached;
            if (m_source.cache)
                cached = m_source.cache->Find(pid);
            if (cached && (m_source.offline || IsFresh(cached->fetched, m_source.now)))
                Settle(pid, std::move(cached->page), {});
            else if (m_source.offline)
                Settle(pid, std::nullopt, std::string(kNotCached));
            else
                wanted.push_back({pid, std::move(cached)});
        }
        return wanted;
    }

    // One group side by side, under a deadline of its own: each request has the whole time
    // limit, as one made alone would.
    bool Ask(std::span<Wanted> group)
    {
        std::vector<std::string> urls;
        urls.reserve(group.size());
        for (const Wanted& page : group)
            urls.push_back(DatasheetLink(m_source.serviceUrl, page.pid));
        std::vector<TransferOutcome> outcomes;
        {
            RunDeadline deadline(m_transfer.TimeLimit());
            const DeadlineScope onTheDeadline(m_transfer, deadline);
            outcomes = m_transfer.OpenEach(urls);
        }
        if (Cancelled())
            return false;
        if (std::none_of(outcomes.begin(), outcomes.end(), [](const TransferOutcome& o) { return o.answered; }))
            m_gone = outcomes.front().error;
        for (std::size_t i = 0; i < group.size(); ++i)
            Take(group[i], outcomes[i]);
        return Report();
    }

    void Take(Wanted& page, TransferOutcome& outcome)
    {
        std::string reason;
        if (!outcome.answered)
            reason = std::move(outcome.error);
        else if (AsksForSignIn(outcome.reply.status, outcome.reply.body))
            reason = kSignInNeeded;
        else if (outcome.reply.status >= 400)
            reason = ServiceAnswer(outcome.reply);
        else if (outcome.reply.body.empty())
            reason = kEmptyPage;
        if (reason.empty()) {
            if (m_source.cache) {
                std::string ignored; // the package has the page; the next run asks again
                m_source.cache->Store(page.pid, outcome.reply.body, m_source.now, ignored);
            }
            Settle(page.pid, std::move(outcome.reply.body), {});
        } else if (page.stale) {
            // An older copy is the same mark's datasheet, and better than none in the field.
            Settle(page.pid, std::move(page.stale->page), {});
        } else {
            Settle(page.pid, std::nullopt, std::move(reason));
        }
    }

    void Settle(std::string_view pid, std::optional<std::string> page, std::string reason)
    {
        if (page)
            m_datasheets.Include(pid, std::move(*page));
        else
            m_datasheets.Miss(pid, std::move(reason));
        ++m_done;
    }

    bool Cancelled() const { return m_progress && m_progress->Cancelled(); }

    bool Report()
    {
        if (!m_progress)
            return true;
        m_progress->Fetched(m_done, m_total);
        return !m_progress->Cancelled();
    }

    const DatasheetSource& m_source;
    Transfer& m_transfer;
    DatasheetProgress* m_progress;
    Datasheets& m_datasheets;
    std::size_t m_done = 0;
    std::size_t m_total = 0;
    std::string m_gone; // why the service answered none of a group; empty while it answers
};

} // namespace

bool FetchDatasheets(std::span<const std::string_view> pids, const DatasheetSource& source, Transfer& transfer,
                     DatasheetProgress* progress, Datasheets& datasheets)
{
    return Fetcher(source, transfer, progress, datasheets).Run(pids);
}

} // namespace tervane
