#pragma once

// Every port of a retrieval run in one object, for the core's tests of the run and of the
// fetch: scripted replies, a scripted sign-in, and a log of what the user would see.

#include "retrieval/MemorySettingsStore.h"
#include "retrieval/RetrievalRun.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace tervane::testing {

// Each URL's replies are taken in turn; with none left the connection is refused. A reply
// of status 0 fails the transfer with its body as the error.
class RunFakes final : public Transfer,
                       public SignInPrompt,
                       public MessageBox,
                       public MousePointer,
                       public QueryInputs,
                       public ProcessingDialog,
                       public DocumentOpener,
                       public RunCancellation {
public:
    std::map<std::string, std::deque<TransferReply>> replies;
    std::optional<SignInAnswer> answer; // nullopt: the sign-in must not be asked for
    int asked = 0;
    std::vector<std::string> requested; // each URL with the credentials it was asked with
    std::string credentials = "nobody";
    std::vector<std::string> log;
    std::string cancelAt; // the user ends the program once the log holds this; empty: never
    MemorySettingsStore settings;

    void Reply(const std::string& url, const std::string& body) { replies[url].push_back({200, "", body}); }
    // The last entry of the log that starts with `what`; empty when there is none.
    std::string Last(std::string_view what) const
    {
        const auto it =
            std::find_if(log.rbegin(), log.rend(), [&](const auto& e) { return e.starts_with(what); });
        return it == log.rend() ? "" : *it;
    }

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
    SignInAnswer Ask() override
    {
        ++asked;
        EXPECT_TRUE(answer.has_value()) << "sign-in asked where none was expected";
        return answer.value_or(SignInAnswer{});
    }
    void Show(const std::string& text) override { log.push_back("message: " + text); }
    void ShowHourglass() override { log.push_back("pointer: hourglass"); }
    void ShowDefault() override { log.push_back("pointer: default"); }
    void HideQueryInputs() override { log.push_back("inputs hidden"); }
    void Show() override { log.push_back("dialog shown"); }
    void Hide() override { log.push_back("dialog hidden"); }
    void HideProcessingLabel() override { log.push_back("processing label hidden"); }
    void SetInfo(const std::string& text) override { log.push_back("info: " + text); }
    void SetBarVisible(bool visible) override { log.push_back(visible ? "bar shown" : "bar hidden"); }
    void SetBarMaximum(std::size_t maximum) override { log.push_back("bar max " + std::to_string(maximum)); }
    void SetBarValue(std::size_t value) override { log.push_back("bar " + std::to_string(value)); }
    bool Open(const std::filesystem::path& document, std::string&) override
    {
        log.push_back("opened " + document.string());
        return true;
    }
    bool Cancelled() const override
    {
        return !cancelAt.empty() && std::find(log.begin(), log.end(), cancelAt) != log.end();
    }

    static constexpr const char* kRefused = "Could not reach the mark-list service: Connection refused";
};

} // namespace tervane::testing
