#include "qt/QtSettingsStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

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

} // namespace

QtSettingsStore::QtSettingsStore(SettingsAccess access)
    : m_settings(std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, kOrganisation,
                                             kApplication)),
      m_access(access)
{
}

std::string QtSettingsStore::GetSetting(std::string_view section, std::string_view key,
                                        std::string_view defaultValue)
{
    const QVariant value = m_settings->value(KeyPath(section, key));
    if (!value.isValid())
        return std::string(defaultValue);
    return value.toString().toStdString();
}

void QtSettingsStore::SaveSetting(std::string_view section, std::string_view key, std::string_view value)
{
    if (m_access == SettingsAccess::ReadOnly)
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
