#include "adapters/HttpTransfer.h"

#include "text/SizeText.h"

#include <QAuthenticator>
#include <QEventLoop>
#include <QNetworkProxyFactory>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>

#include <zlib.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace tervane {

namespace {

constexpr int kMaxRedirects = 10;
constexpr int kFirstErrorStatus = 400;
// How much Qt may read ahead of the size check: small beside the size limit.
constexpr qint64 kReadBufferBytes = qint64{1024} * 1024;
constexpr double kMsPerSecond = 1000.0;
// How much is unpacked at a time before the size check runs again.
constexpr std::size_t kUnpackStep = std::size_t{64} * 1024;

const QString kMsgBadAddress = QStringLiteral("The mark-list address is not a web address: %1");
const QString kMsgUnreachable = QStringLiteral("Could not reach the mark-list service: %1");
const QString kMsgCutShort = QStringLiteral("The mark-list service's reply broke off: %1");
const QString kMsgUnreadable = QStringLiteral("The mark-list service's reply could not be read: %1");
const QString kMsgSilent = QStringLiteral("The mark-list service did not answer within %1 seconds.");
const QString kMsgAborted = QStringLiteral("The request to the mark-list service was cancelled.");
const QString kMsgTooLarge =
    QStringLiteral("The mark-list service's reply is larger than %1 and was not accepted.");

std::string TooLargeMessage(qint64 maxBytes)
{
    return kMsgTooLarge.arg(QString::fromStdString(SizeText(static_cast<std::size_t>(maxBytes))))
        .toStdString();
}

// Errors Qt raises for an HTTP status rather than for a failed transfer: the body came
// in whole and is the server's answer. Qt files 400 and 418 under protocol errors and 407
// under proxy errors; the rest of those ranges are transport failures.
bool IsStatusError(QNetworkReply::NetworkError code)
{
    switch (code) {
    case QNetworkReply::NoError:
    case QNetworkReply::ProtocolInvalidOperationError:
    case QNetworkReply::ProxyAuthenticationRequiredError:
        return true;
    default:
        return (code >= QNetworkReply::ContentAccessDenied && code <= QNetworkReply::UnknownContentError) ||
               (code >= QNetworkReply::InternalServerError && code <= QNetworkReply::UnknownServerError);
    }
}

// Scheme, host and port: credentials are offered only where this is the same as the
// address asked for.
bool SameOrigin(const QUrl& a, const QUrl& b)
{
    constexpr int kNoPort = -1;
    auto defaultPort = [](const QUrl& url) {
        return url.scheme() == QLatin1String("https")  ? 443
               : url.scheme() == QLatin1String("http") ? 80
                                                       : kNoPort;
    };
    return a.scheme() == b.scheme() && a.host() == b.host() &&
           a.port(defaultPort(a)) == b.port(defaultPort(b));
}

// Makes room for `extra` more bytes at the end of `body`. The string grows by doubling,
// but never past what the limit lets in: each growth copies the body, and one past the
// limit would briefly hold twice the limit.
void MakeRoom(std::string& body, std::size_t extra, std::size_t ceiling)
{
    const std::size_t needed = body.size() + extra;
    if (needed > body.capacity())
        body.reserve(std::min(std::max(needed, 2 * body.capacity()), std::max(needed, ceiling)));
}

// Reads what has arrived straight onto the end of `body`.
void AppendAvailable(QNetworkReply& source, std::string& body, std::size_t ceiling)
{
    const qint64 available = source.bytesAvailable();
    if (available <= 0)
        return;
    const std::size_t before = body.size();
    MakeRoom(body, static_cast<std::size_t>(available), ceiling);
    body.resize(before + static_cast<std::size_t>(available));
    const qint64 read = source.read(body.data() + before, available);
    body.resize(before + static_cast<std::size_t>(read > 0 ? read : 0));
}

// Undoes the reply's content encoding as the bytes arrive. The transfer asks for gzip and
// deflate itself, so Qt hands the bytes on as they came; Qt's own unpacking would take a
// stream that stops short of its end for a whole one. A packed body counts only once its
// stream reached its end: for gzip, with the CRC and the length of its trailer checked.
class BodyDecoder {
public:
    BodyDecoder() = default;
    BodyDecoder(const BodyDecoder&) = delete;
    BodyDecoder& operator=(const BodyDecoder&) = delete;
    ~BodyDecoder()
    {
        if (m_started)
            inflateEnd(&m_stream);
    }

    // From the Content-Encoding header. False, with the reason, for an encoding the
    // transfer did not ask for.
    bool Choose(const QByteArray& header, std::string& reason)
    {
        for (const QByteArray& part : header.split(',')) {
            const QByteArray name = part.trimmed().toLower();
            if (name.isEmpty() || name == "identity")
                continue;
            const Kind kind = (name == "gzip" || name == "x-gzip") ? Kind::Gzip
                              : name == "deflate"                   ? Kind::Deflate
                                                                    : Kind::Unknown;
            if (kind == Kind::Unknown || m_kind != Kind::Identity) {
                reason = "it is packed in a way that was not asked for (" + header.left(64).toStdString() + ")";
                return false;
            }
            m_kind = kind;
        }
        return true;
    }

    bool Packed() const { return m_kind != Kind::Identity; }

    // Unpacks `size` bytes onto the end of `body`, and stops as soon as the body has grown
    // past `limit` (setting `tooLarge`). False, with the reason, when the bytes are not
    // what the encoding says.
    bool Feed(const char* data, std::size_t size, std::string& body, std::size_t limit, std::size_t ceiling,
              bool& tooLarge, std::string& reason)
    {
        if (size == 0)
            return true;
        m_seenBytes = true;
        if (!m_started) {
            // Servers send "deflate" as a zlib stream, a few as bare deflate data; the
            // first two bytes tell which.
            m_head.append(data, size);
            if (m_kind == Kind::Deflate && m_head.size() < 2)
                return true;
            const auto first = static_cast<unsigned char>(m_head[0]);
            const auto second = static_cast<unsigned char>(m_head.size() > 1 ? m_head[1] : 0);
            constexpr int kZlibMethod = 8;
            constexpr int kHeaderCheck = 31;
            const bool zlibWrapped = (first & 0x0FU) == kZlibMethod && ((first << 8U) | second) % kHeaderCheck == 0;
            constexpr int kGzipWrapper = 16;
            const int windowBits =
                m_kind == Kind::Gzip ? kGzipWrapper + MAX_WBITS : (zlibWrapped ? MAX_WBITS : -MAX_WBITS);
            if (inflateInit2(&m_stream, windowBits) != Z_OK) {
                reason = "out of memory";
                return false;
            }
            m_started = true;
            const std::string head = std::move(m_head);
            return Inflate(head.data(), head.size(), body, limit, ceiling, tooLarge, reason);
        }
        return Inflate(data, size, body, limit, ceiling, tooLarge, reason);
    }

    // Whether the packed body is whole: its stream reached its end. An empty body is
    // whole too; it holds nothing that could be cut.
    bool Finish(std::string& reason) const
    {
        if (!Packed() || m_ended || !m_seenBytes)
            return true;
        reason = "the packed reply stops before its end";
        return false;
    }

private:
    enum class Kind { Identity, Gzip, Deflate, Unknown };

    bool Inflate(const char* data, std::size_t size, std::string& body, std::size_t limit, std::size_t ceiling,
                 bool& tooLarge, std::string& reason)
    {
        m_stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data));
        m_stream.avail_in = static_cast<uInt>(size);
        for (;;) {
            if (m_ended) {
                if (m_stream.avail_in == 0)
                    return true;
                // A gzip body may hold several members one after the other; anything else
                // after the end is not part of the reply.
                if (m_kind != Kind::Gzip) {
                    reason = "there are bytes after the end of the packed reply";
                    return false;
                }
                inflateReset(&m_stream);
                m_ended = false;
            }
            const std::size_t before = body.size();
            MakeRoom(body, kUnpackStep, ceiling);
            body.resize(before + kUnpackStep);
            m_stream.next_out = reinterpret_cast<Bytef*>(body.data() + before);
            m_stream.avail_out = static_cast<uInt>(kUnpackStep);
            const int result = inflate(&m_stream, Z_NO_FLUSH);
            const bool outputFull = m_stream.avail_out == 0;
            body.resize(before + kUnpackStep - m_stream.avail_out);
            if (result == Z_STREAM_END) {
                m_ended = true;
            } else if (result != Z_OK && result != Z_BUF_ERROR) {
                reason = std::string("the packed reply is damaged (") +
                         (m_stream.msg ? m_stream.msg : "unknown error") + ")";
                return false;
            }
            if (body.size() > limit) {
                tooLarge = true;
                return true;
            }
            if (!m_ended && !outputFull && (m_stream.avail_in == 0 || result == Z_BUF_ERROR))
                return true;
        }
    }

    Kind m_kind = Kind::Identity;
    z_stream m_stream{};
    bool m_started = false;
    bool m_ended = false;
    bool m_seenBytes = false;
    std::string m_head; // the first bytes, until they tell how to start
};

} // namespace

// One request under way: its reply, the body as it arrives (unpacked and counted), and
// what ended it. It answers the server's challenge with the transfer's credentials.
class HttpTransfer::Pending {
public:
    // Sends the request; `ended` is called once the request needs no more waiting.
    Pending(HttpTransfer& transfer, const QUrl& address, std::function<void()> ended)
        : m_transfer(transfer), m_address(address),
          m_limit(static_cast<std::size_t>(transfer.ReplyLimit())),
          m_ceiling(static_cast<std::size_t>(transfer.ReplyLimit() + kReadBufferBytes))
    {
        QNetworkRequest request(address);
        request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                             QNetworkRequest::NoLessSafeRedirectPolicy);
        request.setMaximumRedirectsAllowed(kMaxRedirects);
        // Asked for by name, packed bodies come as they were sent, for BodyDecoder.
        request.setRawHeader("Accept-Encoding", "gzip, deflate");
        // The service's operators see who asks, and which version.
        request.setHeader(QNetworkRequest::UserAgentHeader, QByteArrayLiteral("Tervane/" TERVANE_VERSION));
        m_reply.reset(transfer.m_manager.get(request));
        // Without a bound Qt reads a body it cannot hand over yet (chunked) into a buffer
        // of its own without saying so, and the size check never runs.
        m_reply->setReadBufferSize(kReadBufferBytes);
        Connect(std::move(ended));
    }
    Pending(const Pending&) = delete;
    Pending& operator=(const Pending&) = delete;

    bool Running() const { return !m_ended && !m_reply->isFinished(); }

    // Ends the request: the user ended it, or the run's deadline passed.
    void Stop(bool byUser)
    {
        if (!Running())
            return;
        (byUser ? m_aborted : m_pastDeadline) = true;
        m_reply->abort();
    }

    // What the request came to, as Open gives it; `silent` is the time-out's message.
    bool Result(TransferReply& reply, std::string& error, const std::string& silent)
    {
        if (m_aborted) {
            error = kMsgAborted.toStdString();
            return false;
        }
        if (m_tooLarge) {
            error = TooLargeMessage(static_cast<qint64>(m_limit));
            return false;
        }
        if (!m_unreadable.empty()) {
            error = kMsgUnreadable.arg(QString::fromStdString(m_unreadable)).toStdString();
            return false;
        }
        if (m_pastDeadline) {
            error = silent;
            return false;
        }
        const QNetworkReply::NetworkError code = m_reply->error();
        const QVariant status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        if (!status.isValid()) {
            error = kMsgUnreachable.arg(m_reply->errorString()).toStdString();
            return false;
        }
        // Qt gives an error for an error status (404, 500, ...) and for a failed transfer.
        // Only an error status with its page is an answer; any other error after a good
        // status means the body is not what the server meant, and none of it may pass for
        // marks.
        const bool answered =
            code == QNetworkReply::NoError || (status.toInt() >= kFirstErrorStatus && IsStatusError(code));
        if (!answered) {
            const bool networkFailure = code <= QNetworkReply::UnknownNetworkError;
            error =
                (networkFailure ? kMsgCutShort : kMsgUnreadable).arg(m_reply->errorString()).toStdString();
            return false;
        }
        TakeAvailable();
        if (!m_decoder.Finish(m_unreadable) || !m_unreadable.empty()) {
            error = kMsgUnreadable.arg(QString::fromStdString(m_unreadable)).toStdString();
            return false;
        }
        if (m_tooLarge || m_body.size() > m_limit) {
            error = TooLargeMessage(static_cast<qint64>(m_limit));
            return false;
        }
        reply.status = status.toInt();
        reply.statusText =
            m_reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString().toStdString();
        // The body went straight into this string, which is now moved out: a reply of
        // hundreds of megabytes is held once, not once per layer.
        reply.body = std::move(m_body);
        return true;
    }

private:
    // Connections use the reply as context, so they end with it.
    void Connect(std::function<void()> ended)
    {
        QNetworkReply* const reply = m_reply.get();
        QObject::connect(reply, &QNetworkReply::metaDataChanged, reply, [this] { ReserveAnnounced(); });
        QObject::connect(reply, &QNetworkReply::readyRead, reply, [this] { TakeAvailable(); });
        QObject::connect(&m_transfer.m_manager, &QNetworkAccessManager::authenticationRequired, reply,
                         [this](QNetworkReply* asking, QAuthenticator* authenticator) {
                             AnswerChallenge(asking, authenticator);
                         });
        const auto end = [this, ended] {
            if (m_ended)
                return;
            m_ended = true;
            ended();
        };
        QObject::connect(reply, &QNetworkReply::finished, reply, end);
        // Qt does not always follow an error with `finished` (a failure while the read
        // buffer is bounded), so an error ends the wait too. An error status (404, 500) is
        // no failure: its page follows, and `finished` after it.
        QObject::connect(
            reply, &QNetworkReply::errorOccurred, reply,
            [end](QNetworkReply::NetworkError code) {
                if (!IsStatusError(code))
                    end();
            },
            Qt::QueuedConnection);
    }

    void RefuseIfTooLarge(qint64 size)
    {
        if (size > static_cast<qint64>(m_limit) && !m_tooLarge) {
            m_tooLarge = true;
            m_reply->abort();
        }
    }

    // The announced size is refused when too large, else made room for once, so a large
    // reply is not copied while it grows (with a packed body it is the packed size, still
    // a good start).
    void ReserveAnnounced()
    {
        const QVariant length = m_reply->header(QNetworkRequest::ContentLengthHeader);
        if (!length.isValid())
            return;
        RefuseIfTooLarge(length.toLongLong());
        if (!m_tooLarge && length.toLongLong() > 0)
            m_body.reserve(static_cast<std::size_t>(length.toLongLong()));
    }

    // Takes in what has arrived, unpacked when packed, and checks the size as it grows.
    void TakeAvailable()
    {
        if (m_tooLarge || !m_unreadable.empty())
            return;
        if (!m_decoderChosen) {
            m_decoderChosen = true;
            if (!m_decoder.Choose(m_reply->rawHeader("Content-Encoding"), m_unreadable)) {
                m_reply->abort();
                return;
            }
        }
        if (!m_decoder.Packed()) {
            AppendAvailable(*m_reply, m_body, m_ceiling);
            RefuseIfTooLarge(static_cast<qint64>(m_body.size()));
            return;
        }
        char packed[kUnpackStep];
        while (m_reply->bytesAvailable() > 0 && !m_tooLarge) {
            const qint64 read = m_reply->read(packed, sizeof packed);
            if (read <= 0)
                break;
            if (!m_decoder.Feed(packed, static_cast<std::size_t>(read), m_body, m_limit, m_ceiling,
                                m_tooLarge, m_unreadable)) {
                m_reply->abort();
                return;
            }
        }
        if (m_tooLarge)
            m_reply->abort();
    }

    // Answer once, and only with what the core set: a second challenge means the
    // credentials were wrong, and the 401 that follows is for the core to handle. A
    // redirect may lead to another origin; whoever asks there gets nothing, and its
    // refusal goes back as the reply.
    void AnswerChallenge(QNetworkReply* asking, QAuthenticator* authenticator)
    {
        if (asking != m_reply.get() || m_challengeAnswered || !m_transfer.m_hasCredentials ||
            !SameOrigin(asking->url(), m_address))
            return;
        m_challengeAnswered = true;
        authenticator->setUser(m_transfer.m_userName);
        authenticator->setPassword(m_transfer.m_password);
    }

    HttpTransfer& m_transfer;
    const QUrl m_address;
    const std::size_t m_limit;
    const std::size_t m_ceiling;
    std::unique_ptr<QNetworkReply> m_reply;
    std::string m_body;
    BodyDecoder m_decoder;
    bool m_decoderChosen = false;
    std::string m_unreadable; // why the body cannot be read, once that is known
    bool m_tooLarge = false;
    bool m_pastDeadline = false;
    bool m_aborted = false;
    bool m_challengeAnswered = false;
    bool m_ended = false;
};

HttpTransfer::HttpTransfer()
{
    QNetworkProxyFactory::setUseSystemConfiguration(true);
}

void HttpTransfer::SetCredentials(const std::string& userName, const std::string& password)
{
    m_userName = QString::fromStdString(userName);
    m_password = QString::fromStdString(password);
    m_hasCredentials = true;
}

bool HttpTransfer::ForgetPassword()
{
    const bool had = m_hasCredentials;
    m_hasCredentials = false;
    m_password.clear();
    // Qt keeps answered credentials for the next challenge from the same server, and a
    // kept-alive connection sends them before being asked.
    m_manager.clearAccessCache();
    return had;
}

void HttpTransfer::Abort()
{
    for (Pending* pending : m_waitingFor)
        pending->Stop(true);
}

bool HttpTransfer::Open(const std::string& url, TransferReply& reply, std::string& error)
{
    TransferOutcome outcome = std::move(OpenEach({url}).front());
    error = std::move(outcome.error);
    if (outcome.answered)
        reply = std::move(outcome.reply);
    return outcome.answered;
}

std::vector<TransferOutcome> HttpTransfer::OpenEach(const std::vector<std::string>& urls)
{
    std::vector<TransferOutcome> outcomes(urls.size());
    // The run's deadline, when there is one, counts every request of the run; without one
    // these requests have the whole time limit.
    const std::chrono::milliseconds budget = m_deadline ? m_deadline->Budget() : m_timeout;
    const std::string silent =
        kMsgSilent.arg(static_cast<double>(budget.count()) / kMsPerSecond).toStdString();
    const std::chrono::milliseconds firstWait = m_deadline ? m_deadline->Remaining() : m_timeout;

    QEventLoop loop;
    std::size_t running = 0;
    const auto ended = [&] {
        if (--running == 0)
            loop.quit();
    };
    std::vector<std::unique_ptr<Pending>> pending(urls.size());
    for (std::size_t i = 0; i < urls.size(); ++i) {
        const QUrl address(QString::fromStdString(urls[i]), QUrl::StrictMode);
        const QString scheme = address.scheme();
        if (!address.isValid() || address.host().isEmpty() ||
            (scheme != QLatin1String("http") && scheme != QLatin1String("https"))) {
            outcomes[i].error = kMsgBadAddress.arg(QString::fromStdString(urls[i])).toStdString();
        } else if (firstWait <= std::chrono::milliseconds::zero()) {
            outcomes[i].error = silent;
        } else {
            ++running;
            pending[i] = std::make_unique<Pending>(*this, address, ended);
            m_waitingFor.push_back(pending[i].get());
        }
    }
    Wait(loop, firstWait, running);
    m_waitingFor.clear();
    for (std::size_t i = 0; i < urls.size(); ++i) {
        if (pending[i])
            outcomes[i].answered = pending[i]->Result(outcomes[i].reply, outcomes[i].error, silent);
    }
    return outcomes;
}

void HttpTransfer::Wait(QEventLoop& loop, std::chrono::milliseconds firstWait, const std::size_t& running)
{
    // One limit for the whole run, from the first request to the last byte: Qt's own
    // transfer time-out starts again with every byte, so a server sending one now and
    // then would hold the run for ever. While the run's deadline was paused (a sign-in
    // dialog) it moved on; the timer then waits the rest.
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, &loop, [&] {
        const std::chrono::milliseconds left =
            m_deadline ? m_deadline->Remaining() : std::chrono::milliseconds::zero();
        if (left > std::chrono::milliseconds::zero()) {
            deadline.start(left);
            return;
        }
        for (Pending* pending : m_waitingFor)
            pending->Stop(false);
    });
    deadline.start(firstWait);
    if (running > 0)
        loop.exec();
    deadline.stop();
}

} // namespace tervane
