#pragma once

// Every port of a retrieval run in one object, for the tests of the run, of the fetch and
// of the window: scripted replies, scripted sign-ins, and a log of what the user would see.

#include "retrieval/MemorySettingsStore.h"
#include "retrieval/RetrievalRun.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace tervane::testing {

// Each URL's replies are taken in turn; with none left the connection is refused. A reply
// of status 0 fails the transfer with its body as the error.
class RunFakes : public Transfer,
                       public SignInPrompt,
                       public MessageBox,
                       public MousePointer,
                       public QueryInputs,
                       public ProcessingDialog,
                       public DocumentOpener,
                       public RunCancellation {
public:
    std::map<std::string, std::deque<TransferReply>> replies;
    std::deque<SignInAnswer> answers; // taken in turn; with none left the sign-in is cancelled
    int asked = 0;
    std::vector<std::string> requested; // each URL with the credentials it was asked with
    std::string credentials = "nobody";
    std::vector<std::string> log;
    std::string cancelAt; // the user ends the program once the log holds this; empty: never
    MemorySettingsStore settings;
    std::function<void()> whileShown; // runs while a message or the processing dialog shows
    std::string viewerFailure;        // the opener's reason; empty: a viewer starts

    // The last entry of the log that starts with `what`; empty when there is none.
    std::string Last(std::string_view what) const
    {
        const auto it =
            std::find_if(log.rbegin(), log.rend(), [&](const auto& e) { return e.starts_with(what); });
        return it == log.rend() ? "" : *it;
    }
    // The entries of the log that start with `what`, without it.
    std::vector<std::string> All(std::string_view what) const
    {
        std::vector<std::string> found;
        for (const std::string& entry : log)
            if (entry.starts_with(what))
                found.push_back(entry.substr(what.size()));
        return found;
    }
    // The processing dialog or the hourglass left up.
    bool Busy() const { return Last("dialog ") == "dialog shown" || Last("pointer: ") == "pointer: hourglass"; }

    void SetCredentials(const std::string& user, const std::string& password) override
    {
        credentials = user + ":" + password;
    }
    bool Open(const std::string& url, TransferReply& reply, std::string& error) override
    {
        requested.push_back(url + " as " + credentials);
        std::deque<TransferReply>& script = replies[url];
        const TransferReply next = script.empty() ? TransferReply{0, "", kRefused} : script.front();
        if (!script.empty())
            script.pop_front();
        if (next.status == 0)
            error = next.body;
        else
            reply = next;
        return next.status != 0;
    }
    // Each group of requests sent side by side: its size and the reply limit in force.
    std::vector<std::pair<std::size_t, std::size_t>> groups;
    std::size_t replyLimit = 0;
    std::vector<TransferOutcome> OpenEach(const std::vector<std::string>& urls) override
    {
        groups.emplace_back(urls.size(), replyLimit);
        return Transfer::OpenEach(urls);
    }
    void SetReplyLimit(std::size_t maxBytes) override { replyLimit = maxBytes; }
    SignInAnswer Ask() override
    {
        ++asked;
        const SignInAnswer answer = answers.empty() ? SignInAnswer{} : answers.front();
        if (!answers.empty())
            answers.pop_front();
        return answer;
    }
    void Show(const std::string& text) override
    {
        log.push_back("message: " + text);
        if (whileShown)
            whileShown();
    }
    void ShowHourglass() override { log.push_back("pointer: hourglass"); }
    void ShowDefault() override { log.push_back("pointer: default"); }
    void HideQueryInputs() override { log.push_back("inputs hidden"); }
    void Show() override
    {
        log.push_back("dialog shown");
        if (whileShown)
            whileShown();
    }
    void Hide() override { log.push_back("dialog hidden"); }
    void HideProcessingLabel() override { log.push_back("processing label hidden"); }
    void SetInfo(const std::string& text) override { log.push_back("info: " + text); }
    void SetBarVisible(bool visible) override { log.push_back(visible ? "bar shown" : "bar hidden"); }
    void SetBarMaximum(std::size_t maximum) override { log.push_back("bar max " + std::to_string(maximum)); }
    void SetBarValue(std::size_t value) override { log.push_back("bar " + std::to_string(value)); }
    bool Open(const std::filesystem::path& document, std::string& reason) override
    {
        log.push_back("opened " + document.string());
        reason = viewerFailure;
        return viewerFailure.empty();
    }
    bool Cancelled() const override
    {
        return !cancelAt.empty() && std::find(log.begin(), log.end(), cancelAt) != log.end();
    }

    static constexpr const char* kRefused = "Could not reach the mark-list service: Connection refused";
};

} // namespace tervane::testing
