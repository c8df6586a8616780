#include "QtSettingsStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

#include "ConverterTexts.h"
#include "PortableSettings.h"

namespace kv::converter {

namespace {

const char *const kKnownNames[] = {
    setting::kSizeNumber,     setting::kSaveName,   setting::kSaveFolder, setting::kSize,
    setting::kScoreBoardOnly, setting::kOpenFolder, setting::kGame,       setting::kSpectator};

// The portable zip's KVSC.ini comes empty: nothing stored yet, not a file cut short.
bool EmptyFile(const QString &file)
{
    const QFileInfo info(file);
    return info.isFile() && info.size() == 0;
}

#ifndef _WIN32
QString UserStoreFile()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           "/KVSC/KVSC.conf";
}
#endif

} // namespace

QtSettingsStore::QtSettingsStore()
{
    if (const std::optional<std::string> portable = PortableSettingsFile()) {
        file_ = QString::fromStdString(*portable);
        portable_ = true;
    } else {
#ifdef _WIN32
        settings_ = std::make_unique<QSettings>("HKEY_CURRENT_USER\\Software\\KVSC",
                                                QSettings::NativeFormat);
        return;
#else
        file_ = UserStoreFile();
#endif
    }
    if (!NotAFile()) {
        settings_ = std::make_unique<QSettings>(file_, QSettings::IniFormat);
        damaged_ = LooksDamaged();
    }
}

QtSettingsStore::QtSettingsStore(const QString &iniFile) : file_(iniFile)
{
    if (!NotAFile()) {
        settings_ = std::make_unique<QSettings>(iniFile, QSettings::IniFormat);
        damaged_ = LooksDamaged();
    }
}

bool QtSettingsStore::NotAFile() const
{
    // QSettings reads its file as soon as it is made: a FIFO would keep it waiting for good.
    const QFileInfo info(file_);
    return !file_.isEmpty() && info.exists() && !info.isFile();
}

QtSettingsStore::~QtSettingsStore() = default;

QString QtSettingsStore::Location() const
{
    return file_.isEmpty() ? QStringLiteral("HKEY_CURRENT_USER\\Software\\KVSC") : file_;
}

bool QtSettingsStore::LooksDamaged() const
{
    if (settings_->status() == QSettings::FormatError) {
        return true;
    }
    QFile file(file_);
    if (!file.exists() || (portable_ && EmptyFile(file_))) {
        return false;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        return true;
    }
    // QSettings reads nearly anything without complaint; a file it wrote itself is text, ends
    // with a line end and holds at least one of our names.
    // An empty file is one cut short too: every store written holds at least one value.
    const QByteArray bytes = file.readAll();
    if (bytes.isEmpty() || bytes.contains('\0') || !bytes.endsWith('\n')) {
        return true;
    }
    for (const char *name : kKnownNames) {
        if (!StoredName(QString::fromUtf8(name)).isEmpty() &&
            settings_->contains(StoredName(QString::fromUtf8(name)))) {
            return false;
        }
    }
    return true;
}

bool QtSettingsStore::KeyExists() const
{
    if (file_.isEmpty()) {
        QSettings software("HKEY_CURRENT_USER\\Software", QSettings::NativeFormat);
        return software.childGroups().contains("KVSC", Qt::CaseInsensitive);
    }
    return QFileInfo::exists(file_) && !NotAFile() && !(portable_ && EmptyFile(file_));
}

void QtSettingsStore::Reopen()
{
    if (NotAFile()) {
        settings_.reset();
        return;
    }
    // QSettings keeps the first error it met for good; a fresh object starts clean.
    settings_.reset();
    if (file_.isEmpty()) {
        settings_ = std::make_unique<QSettings>("HKEY_CURRENT_USER\\Software\\KVSC",
                                                QSettings::NativeFormat);
    } else {
        settings_ = std::make_unique<QSettings>(file_, QSettings::IniFormat);
    }
}

void QtSettingsStore::DeleteKey()
{
    // What stands where the file belongs is not the store's to delete.
    if (NotAFile()) {
        return;
    }
    // The portable file stays, emptied: it is what keeps KVSC portable.
    if (file_.isEmpty() || portable_) {
        settings_->clear();
        settings_->sync();
    } else {
        QFile::remove(file_);
    }
    Reopen();
    damaged_ = false;
}

QString QtSettingsStore::StoredName(const QString &name) const
{
    if (!settings_) {
        return {};
    }
    for (const QString &key : settings_->childKeys()) {
        if (key.compare(name, Qt::CaseInsensitive) == 0) {
            return key;
        }
    }
    return {};
}

std::string QtSettingsStore::Read(const std::string &name) const
{
    const QString stored = StoredName(QString::fromStdString(name));
    if (stored.isEmpty()) {
        return {};
    }
    return settings_->value(stored).toString().toStdString();
}

void QtSettingsStore::Write(const std::string &name, const std::string &value)
{
    if (NotAFile()) {
        throw SettingsError(texts::SettingsFileNotAFile(Location().toStdString()));
    }
    // An object that met an error reports it for good, also for writes that succeed later.
    if (!settings_ || settings_->status() != QSettings::NoError) {
        Reopen();
    }
    if (!file_.isEmpty()) {
        QDir().mkpath(QFileInfo(file_).absolutePath());
    }
    const QString qname = QString::fromStdString(name);
    const QString stored = StoredName(qname);
    const QString key = stored.isEmpty() ? qname : stored;
    const QVariant previous = settings_->value(key); // invalid when there is none
    settings_->setValue(key, QString::fromStdString(value));
    // Written through at once, so the next start sees it even if this process is killed.
    settings_->sync();
    if (settings_->status() != QSettings::NoError) {
        // Every QSettings of this file in the process shares the values not yet written; the
        // refused one is taken back so that reads give what the file still holds.
        if (previous.isValid()) {
            settings_->setValue(key, previous);
        } else {
            settings_->remove(key);
        }
        throw SettingsError(texts::CannotWriteSetting(name, Location().toStdString()));
    }
}

} // namespace kv::converter
