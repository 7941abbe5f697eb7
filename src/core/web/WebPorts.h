#pragma once

// The ports the web fetch calls. The core decides (retry once after sign-in, what a
// refusal is); adapters carry it out (sending bytes, showing the dialog).

#include "web/RunDeadline.h"

#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

namespace tervane {

// How long one run may wait for the service in all, unless the transfer is told otherwise.
inline constexpr std::chrono::milliseconds kDefaultTimeLimit{60000};
// The largest reply body a transfer hands on, counted after unpacking; a larger one is a
// failure, unless the transfer is told otherwise.
inline constexpr std::size_t kDefaultMaxReplyBytes = std::size_t{256} * 1024 * 1024;

// One reply of the transfer. `status` is the HTTP status (200, 401, 500, ...).
struct TransferReply {
    int status = 0;
    std::string statusText; // the reason phrase, e.g. "Internal Server Error"
    std::string body;
};

// What one of several requests made side by side came to: a whole reply, or the error
// that Open would have given.
struct TransferOutcome {
    bool answered = false;
    TransferReply reply; // when answered
    std::string error;   // when not
};

// The HTTP transfer, one instance shared by every fetch while the program runs.
class Transfer {
public:
    virtual ~Transfer() = default;
    // Credentials offered when the server asks for authentication. Kept once set.
    virtual void SetCredentials(const std::string& userName, const std::string& password) = 0;
    // The service refused the password: it is dropped, with whatever the transfer keeps of
    // it, and nothing is offered until the next SetCredentials. True when there was one.
    virtual bool ForgetPassword() { return false; }
    // Performs the request. A reply with any HTTP status (401 and 500 included) is a
    // reply: true, with its body. False with `error` describing the failure when no
    // whole reply could be had (no connection, unknown host, time-out, reply too large,
    // cut short or impossible to unpack); nothing of such a body is handed back.
    virtual bool Open(const std::string& url, TransferReply& reply, std::string& error) = 0;
    // Performs the requests as Open does, one outcome per URL in the same order. A
    // transfer that can wait for several at once sends them side by side, each bounded
    // in size on its own and all by the one deadline; this one asks them in turn.
    virtual std::vector<TransferOutcome> OpenEach(const std::vector<std::string>& urls)
    {
        std::vector<TransferOutcome> outcomes(urls.size());
        for (std::size_t i = 0; i < urls.size(); ++i)
            outcomes[i].answered = Open(urls[i], outcomes[i].reply, outcomes[i].error);
        return outcomes;
    }
    // Ends the requests under way, if any, when the user ends the program during a fetch:
    // their Open or OpenEach returns false for each at once. A transfer that never waits
    // has nothing to end.
    virtual void Abort() {}
    // The deadline that every later Open counts against, shared by the requests of one
    // run, until it is set back to none. With none, each Open has the whole time limit.
    // A transfer that never waits has no use for it.
    virtual void SetDeadline(const RunDeadline* /*deadline*/) {}
    // The budget of a run's deadline: how long a run may wait for the service in all.
    virtual std::chrono::milliseconds TimeLimit() const { return kDefaultTimeLimit; }
    // A smaller size limit for every later reply, until set back to 0: replies larger
    // than this fail as replies larger than the transfer's own limit do.
    virtual void SetReplyLimit(std::size_t /*maxBytes*/) {}
};

// Requests made while it lives count against `deadline`: the transfer outlives a run.
class DeadlineScope {
public:
    DeadlineScope(Transfer& transfer, const RunDeadline& deadline) : m_transfer(transfer)
    {
        m_transfer.SetDeadline(&deadline);
    }
    ~DeadlineScope() { m_transfer.SetDeadline(nullptr); }
    DeadlineScope(const DeadlineScope&) = delete;
    DeadlineScope& operator=(const DeadlineScope&) = delete;

private:
    Transfer& m_transfer;
};

// Replies taken while it lives are at most `maxBytes` each.
class ReplyLimitScope {
public:
    ReplyLimitScope(Transfer& transfer, std::size_t maxBytes) : m_transfer(transfer)
    {
        m_transfer.SetReplyLimit(maxBytes);
    }
    ~ReplyLimitScope() { m_transfer.SetReplyLimit(0); }
    ReplyLimitScope(const ReplyLimitScope&) = delete;
    ReplyLimitScope& operator=(const ReplyLimitScope&) = delete;

private:
    Transfer& m_transfer;
};

// The sign-in dialog as the fetch sees it.
struct SignInAnswer {
    bool loginSucceeded = false; // `LoginSucceeded`: OK true, Cancel false
    std::string userName;
    std::string password;
};

class SignInPrompt {
public:
    virtual ~SignInPrompt() = default;
    virtual SignInAnswer Ask() = 0;
    // The service refused the password of the last confirmed answer. It is not offered
    // again, neither filled in nor remembered, until the user types one anew.
    virtual void PasswordRefused() {}
};

} // namespace tervane
