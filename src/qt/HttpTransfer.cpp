#include "qt/HttpTransfer.h"

#include "text/SizeText.h"

#include <QAuthenticator>
#include <QEventLoop>
#include <QNetworkProxyFactory>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>

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

// Reads what has arrived straight onto the end of `body`. The string grows by doubling,
// but never past what the limit lets in: each growth copies the body, and one past the
// limit would briefly hold twice the limit.
void AppendAvailable(QNetworkReply& source, std::string& body, std::size_t ceiling)
{
    const qint64 available = source.bytesAvailable();
    if (available <= 0)
        return;
    const std::size_t before = body.size();
    const std::size_t needed = before + static_cast<std::size_t>(available);
    if (needed > body.capacity())
        body.reserve(std::min(std::max(needed, 2 * body.capacity()), ceiling));
    body.resize(before + static_cast<std::size_t>(available));
    const qint64 read = source.read(body.data() + before, available);
    body.resize(before + static_cast<std::size_t>(read > 0 ? read : 0));
}

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

    QNetworkRequest request(address);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setMaximumRedirectsAllowed(kMaxRedirects);

    const std::unique_ptr<QNetworkReply> pending(m_manager.get(request));
    QNetworkReply* const current = pending.get();
    // Without a bound Qt reads a body it cannot hand over yet (chunked, or unpacking)
    // into a buffer of its own without saying so, and the size check below never runs.
    current->setReadBufferSize(kReadBufferBytes);
    // The body goes straight into the reply's own string, which is then moved out: a
    // reply of hundreds of megabytes is held once, not once per layer.
    std::string body;
    const auto ceiling = static_cast<std::size_t>(m_maxReplyBytes + kReadBufferBytes);
    bool tooLarge = false;
    bool pastDeadline = false;
    bool challengeAnswered = false;

    auto refuseIfTooLarge = [&](qint64 size) {
        if (size > m_maxReplyBytes && !tooLarge) {
            tooLarge = true;
            current->abort();
        }
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
    QObject::connect(current, &QNetworkReply::readyRead, current, [&] {
        if (tooLarge)
            return;
        AppendAvailable(*current, body, ceiling);
        refuseIfTooLarge(static_cast<qint64>(body.size()));
    });
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

    // One limit for the whole transfer, from the request to the last byte: Qt's own
    // transfer time-out starts again with every byte, so a server sending one now and
    // then would hold the run for ever.
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, current, [&] {
        pastDeadline = true;
        current->abort();
    });
    deadline.start(m_timeout);

    QEventLoop loop;
    QObject::connect(current, &QNetworkReply::finished, &loop, &QEventLoop::quit);
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
    if (pastDeadline) {
        error = kMsgSilent.arg(static_cast<double>(m_timeout.count()) / kMsPerSecond).toStdString();
        return false;
    }
    const QNetworkReply::NetworkError code = current->error();
    const QVariant status = current->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!status.isValid()) {
        error = kMsgUnreachable.arg(current->errorString()).toStdString();
        return false;
    }
    // Qt gives an error for an error status (404, 500, ...) and also for a body it could
    // not unpack ("Decompression failed", which Qt files among the content errors). Only
    // an error status with its page is an answer; any other error after a good status
    // means the body is not what the server meant, and none of it may pass for marks.
    const bool answered =
        code == QNetworkReply::NoError || (status.toInt() >= kFirstErrorStatus && IsStatusError(code));
    if (!answered) {
        const bool networkFailure = code <= QNetworkReply::UnknownNetworkError;
        error = (networkFailure ? kMsgCutShort : kMsgUnreadable).arg(current->errorString()).toStdString();
        return false;
    }
    AppendAvailable(*current, body, ceiling);
    if (static_cast<qint64>(body.size()) > m_maxReplyBytes) {
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
