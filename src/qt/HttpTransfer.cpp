#include "qt/HttpTransfer.h"

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
#include <memory>
#include <string>
#include <utility>

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
    if (m_waitingFor) {
        m_aborted = true;
        m_waitingFor->abort();
    }
}

bool HttpTransfer::Open(const std::string& url, TransferReply& reply, std::string& error)
{
    error.clear();
    const QUrl address(QString::fromStdString(url), QUrl::StrictMode);
    const QString scheme = address.scheme();
    if (!address.isValid() || address.host().isEmpty() ||
        (scheme != QLatin1String("http") && scheme != QLatin1String("https"))) {
        error = kMsgBadAddress.arg(QString::fromStdString(url)).toStdString();
        return false;
    }
    // The run's deadline, when there is one, counts every request of the run; without one
    // this request has the whole time limit to itself.
    const std::chrono::milliseconds budget = m_deadline ? m_deadline->Budget() : m_timeout;
    const auto silentMessage = [&] {
        return kMsgSilent.arg(static_cast<double>(budget.count()) / kMsPerSecond).toStdString();
    };
    const std::chrono::milliseconds firstWait = m_deadline ? m_deadline->Remaining() : m_timeout;
    if (firstWait <= std::chrono::milliseconds::zero()) {
        error = silentMessage();
        return false;
    }

    QNetworkRequest request(address);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setMaximumRedirectsAllowed(kMaxRedirects);
    // Asked for by name, packed bodies come as they were sent, for BodyDecoder.
    request.setRawHeader("Accept-Encoding", "gzip, deflate");

    const std::unique_ptr<QNetworkReply> pending(m_manager.get(request));
    QNetworkReply* const current = pending.get();
    // Without a bound Qt reads a body it cannot hand over yet (chunked) into a buffer of
    // its own without saying so, and the size check below never runs.
    current->setReadBufferSize(kReadBufferBytes);
    // The body goes straight into the reply's own string, which is then moved out: a
    // reply of hundreds of megabytes is held once, not once per layer.
    std::string body;
    const auto limit = static_cast<std::size_t>(m_maxReplyBytes);
    const auto ceiling = static_cast<std::size_t>(m_maxReplyBytes + kReadBufferBytes);
    BodyDecoder decoder;
    bool decoderChosen = false;
    std::string unreadable; // why the body cannot be read, once that is known
    bool tooLarge = false;
    bool pastDeadline = false;
    bool challengeAnswered = false;

    auto refuseIfTooLarge = [&](qint64 size) {
        if (size > m_maxReplyBytes && !tooLarge) {
            tooLarge = true;
            current->abort();
        }
    };
    // Takes in what has arrived, unpacked when packed, and checks the size as it grows.
    auto takeAvailable = [&] {
        if (tooLarge || !unreadable.empty())
            return;
        if (!decoderChosen) {
            decoderChosen = true;
            if (!decoder.Choose(current->rawHeader("Content-Encoding"), unreadable)) {
                current->abort();
                return;
            }
        }
        if (!decoder.Packed()) {
            AppendAvailable(*current, body, ceiling);
            refuseIfTooLarge(static_cast<qint64>(body.size()));
            return;
        }
        char packed[kUnpackStep];
        while (current->bytesAvailable() > 0 && !tooLarge) {
            const qint64 read = current->read(packed, sizeof packed);
            if (read <= 0)
                break;
            if (!decoder.Feed(packed, static_cast<std::size_t>(read), body, limit, ceiling, tooLarge, unreadable)) {
                current->abort();
                return;
            }
        }
        if (tooLarge)
            current->abort();
    };
    // Connections use the reply as context, so they end with it.
    QObject::connect(current, &QNetworkReply::metaDataChanged, current, [&] {
        const QVariant length = current->header(QNetworkRequest::ContentLengthHeader);
        if (!length.isValid())
            return;
        refuseIfTooLarge(length.toLongLong());
        // The announced size is made room for once, so a large reply is not copied while
        // it grows (with a packed body it is the packed size, still a good start).
        if (!tooLarge && length.toLongLong() > 0)
            body.reserve(static_cast<std::size_t>(length.toLongLong()));
    });
    QObject::connect(current, &QNetworkReply::readyRead, current, takeAvailable);
    // Answer once, and only with what the core set: a second challenge means the
    // credentials were wrong, and the 401 that follows is for the core to handle. A
    // redirect may lead to another origin; whoever asks there gets nothing, and its
    // refusal goes back as the reply.
    QObject::connect(&m_manager, &QNetworkAccessManager::authenticationRequired, current,
                     [&](QNetworkReply* asking, QAuthenticator* authenticator) {
                         if (asking != current || challengeAnswered || !m_hasCredentials ||
                             !SameOrigin(asking->url(), address))
                             return;
                         challengeAnswered = true;
                         authenticator->setUser(m_userName);
                         authenticator->setPassword(m_password);
                     });

    // One limit for the whole run, from the first request to the last byte: Qt's own
    // transfer time-out starts again with every byte, so a server sending one now and
    // then would hold the run for ever. While the run's deadline was paused (the sign-in
    // dialog of a request made side by side) it moved on; the timer then waits the rest.
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, current, [&] {
        const std::chrono::milliseconds left =
            m_deadline ? m_deadline->Remaining() : std::chrono::milliseconds::zero();
        if (left > std::chrono::milliseconds::zero()) {
            deadline.start(left);
            return;
        }
        pastDeadline = true;
        current->abort();
    });
    deadline.start(firstWait);

    QEventLoop loop;
    QObject::connect(current, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    // Qt does not always follow an error with `finished` (a failure while the read buffer
    // is bounded), so an error ends the wait too. An error status (404, 500) is no failure:
    // its page follows, and `finished` after it.
    QObject::connect(current, &QNetworkReply::errorOccurred, &loop,
                     [&](QNetworkReply::NetworkError code) {
                         if (!IsStatusError(code))
                             loop.quit();
                     }, Qt::QueuedConnection);
    m_aborted = false;
    m_waitingFor = current;
    if (!current->isFinished())
        loop.exec();
    deadline.stop();
    m_waitingFor = nullptr;
    if (m_aborted) {
        error = kMsgAborted.toStdString();
        return false;
    }

    if (tooLarge) {
        error = TooLargeMessage(m_maxReplyBytes);
        return false;
    }
    if (!unreadable.empty()) {
        error = kMsgUnreadable.arg(QString::fromStdString(unreadable)).toStdString();
        return false;
    }
    if (pastDeadline) {
        error = silentMessage();
        return false;
    }
    const QNetworkReply::NetworkError code = current->error();
    const QVariant status = current->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!status.isValid()) {
        error = kMsgUnreachable.arg(current->errorString()).toStdString();
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
        error = (networkFailure ? kMsgCutShort : kMsgUnreadable).arg(current->errorString()).toStdString();
        return false;
    }
    takeAvailable();
    if (!decoder.Finish(unreadable) || !unreadable.empty()) {
        error = kMsgUnreadable.arg(QString::fromStdString(unreadable)).toStdString();
        return false;
    }
    if (tooLarge || body.size() > limit) {
        error = TooLargeMessage(m_maxReplyBytes);
        return false;
    }
    reply.status = status.toInt();
    reply.statusText =
        current->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString().toStdString();
    reply.body = std::move(body);
    return true;
}

} // namespace tervane
