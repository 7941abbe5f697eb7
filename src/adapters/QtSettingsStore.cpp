#include "adapters/QtSettingsStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tervane {

namespace {

const QString kOrganisation = QStringLiteral("Tervane");
const QString kApplication = QStringLiteral("Tervane");
constexpr QFile::Permissions kOwnerOnly = QFile::ReadOwner | QFile::WriteOwner;
constexpr QFile::Permissions kOwnerOnlyFolder = kOwnerOnly | QFile::ExeOwner;

QString Text(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QString KeyPath(std::string_view section, std::string_view key)
{
    return Text(section) + '/' + Text(key);
}

// The folder QSettings keeps the user's files in (XDG_CONFIG_HOME, ~/.config, or what
// QSettings::setPath gave), learnt from a store under a name no file has: opening ours is
// what has to be checked first.
QString UserSettingsFolder()
{
    const QSettings probe(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral(".tervane-probe"),
                          QStringLiteral("probe"));
    return QFileInfo(QFileInfo(probe.fileName()).absolutePath()).absolutePath();
}

// Why QSettings could not read `fileName`, or empty when it can (or there is no file).
// Looked at without opening anything that could block: a FIFO opened for reading waits
// for a writer.
std::string WhyUnreadable(const QString& fileName)
{
    const QByteArray path = QFile::encodeName(fileName);
    struct stat info {};
    if (::stat(path.constData(), &info) != 0)
        return errno == ENOENT ? std::string() : std::strerror(errno);
    if (!S_ISREG(info.st_mode))
        return "it is not a regular file";
    const int descriptor = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0)
        return std::strerror(errno);
    ::close(descriptor);
    return {};
}

} // namespace

QtSettingsStore::QtSettingsStore(SettingsAccess access) : m_access(access)
{
    // QSettings reads the application's file and the organisation's beside it.
    const QString folder = UserSettingsFolder();
    const QString extension = QStringLiteral(".conf");
    for (const QString& name : {kOrganisation + '/' + kApplication + extension, kOrganisation + extension}) {
        const QString fileName = folder + '/' + name;
        if (const std::string reason = WhyUnreadable(fileName); !reason.empty()) {
            m_readProblem = "The settings file " + fileName.toStdString() + " could not be read: " + reason +
                            ". None of its values are used.";
            return;
        }
    }
    m_settings = std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, kOrganisation,
                                             kApplication);
}

std::string QtSettingsStore::GetSetting(std::string_view section, std::string_view key,
                                        std::string_view defaultValue)
{
    if (!m_settings)
        return std::string(defaultValue);
    const QVariant value = m_settings->value(KeyPath(section, key));
    if (!value.isValid())
        return std::string(defaultValue);
    return value.toString().toStdString();
}

void QtSettingsStore::SaveSetting(std::string_view section, std::string_view key, std::string_view value)
{
    if (m_access == SettingsAccess::ReadOnly || !m_settings)
        return;
    PrepareFile();
    m_settings->setValue(KeyPath(section, key), Text(value));
    m_settings->sync();
    QFile::setPermissions(m_settings->fileName(), kOwnerOnly);
}

// QSettings writes through a temporary file that takes over the permissions of the file
// it replaces; an owner-only empty file made beforehand keeps the password from ever
// lying in a file others can read.
void QtSettingsStore::PrepareFile()
{
    const QString fileName = m_settings->fileName();
    if (QFileInfo::exists(fileName))
        return;
    const QFileInfo info(fileName);
    if (!info.dir().exists()) {
        QDir().mkpath(info.absolutePath());
        QFile::setPermissions(info.absolutePath(), kOwnerOnlyFolder);
    }
    QFile file(fileName);
    if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly, kOwnerOnly))
        file.close();
}

} // namespace tervane
