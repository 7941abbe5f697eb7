#pragma once

// The mark-list transfer over QtNetwork. One instance serves every fetch while the
// program runs, so credentials set after a sign-in stay with it.
//
// - Any HTTP answer is a reply, refusals (401) and error pages included, with its status
//   and body; the core decides what they mean. The body is kept as bytes.
// - The server's authentication challenge is answered with the credentials the core has
//   set, at most once per request, never by asking the user, and only when it comes from
//   the origin (scheme, host and port) of the address given to Open: a wrong password
//   comes back as a 401 reply for the core to handle, and so does the refusal of another
//   origin that a redirect led to.
// - Redirects are followed, from HTTP to HTTPS too but never back down; the desktop's
//   proxy settings apply.
// - Open waits in a local event loop that handles every event, so the windows repaint
//   and closing the program is seen at once; the window layer drops the user's other
//   input while a run is busy. Abort ends that wait with a failure. OpenEach sends its
//   requests side by side and waits for all of them in one such loop; Abort ends them
//   all.
// - Every transfer is bounded: in time, from the request to the last byte, by the run's
//   deadline when the core has set one (every request of a run shares it), else by the
//   time-out; and in size, each request on its own, counted as the body arrives after any content encoding is
//   undone, for every transfer encoding (the size limit).
// - The transfer asks for gzip and deflate itself and unpacks them with zlib as the bytes
//   arrive: a packed body counts only when its stream reached its end with its trailer
//   checked. A body cut short, damaged, or packed in a way not asked for is a failure.
// - Every request names the program and its version (User-Agent: Tervane/x.y.z).
// - Failures (no connection, unknown host, the time-out passed, a reply larger than the
//   size limit, a reply cut short, a body that cannot be unpacked) come back as false
//   with a sentence naming the mark-list service and the reason; nothing of such a body
//   is handed on.

#include "web/WebPorts.h"

#include <QNetworkAccessManager>
#include <QString>

#include <chrono>
#include <vector>

class QEventLoop;

namespace tervane {

class HttpTransfer : public Transfer {
public:
    static constexpr std::chrono::milliseconds kDefaultTimeout = kDefaultTimeLimit;
    static constexpr qint64 kDefaultMaxReplyBytes = static_cast<qint64>(tervane::kDefaultMaxReplyBytes);

    HttpTransfer();

    void SetCredentials(const std::string& userName, const std::string& password) override;
    // Also drops Qt's own memory of it (its credential cache, and open connections that
    // would send it unasked).
    bool ForgetPassword() override;
    bool Open(const std::string& url, TransferReply& reply, std::string& error) override;
    std::vector<TransferOutcome> OpenEach(const std::vector<std::string>& urls) override;
    void Abort() override;
    void SetDeadline(const RunDeadline* deadline) override { m_deadline = deadline; }
    std::chrono::milliseconds TimeLimit() const override { return m_timeout; }

    // How long a run may wait for the service in all (its deadline's budget), and one
    // transfer made outside a run, from the request to the last byte.
    void SetTimeout(std::chrono::milliseconds timeout) { m_timeout = timeout; }
    void SetMaxReplyBytes(qint64 maxBytes) { m_maxReplyBytes = maxBytes; }
    void SetReplyLimit(std::size_t maxBytes) override { m_replyLimit = static_cast<qint64>(maxBytes); }

private:
    class Pending; // one request under way

    // Turns `loop` until `running` is down to none or the deadline passed.
    void Wait(QEventLoop& loop, std::chrono::milliseconds firstWait, const std::size_t& running);

    // The size limit of the next request: the smaller of the two limits.
    qint64 ReplyLimit() const
    {
        return m_replyLimit > 0 && m_replyLimit < m_maxReplyBytes ? m_replyLimit : m_maxReplyBytes;
    }

    QNetworkAccessManager m_manager;
    std::chrono::milliseconds m_timeout = kDefaultTimeout;
    qint64 m_maxReplyBytes = kDefaultMaxReplyBytes;
    qint64 m_replyLimit = 0; // the core's, for some requests; 0: none
    const RunDeadline* m_deadline = nullptr; // the run's, while a run lasts
    std::vector<Pending*> m_waitingFor;      // the requests OpenEach waits for
    bool m_hasCredentials = false;
    QString m_userName;
    QString m_password;
};

} // namespace tervane
