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
    OpenFile();
}

QtSettingsStore::QtSettingsStore(const QString &iniFile) : file_(iniFile)
{
    OpenFile();
}

QtSettingsStore::~QtSettingsStore() = default;

void QtSettingsStore::OpenFile()
{
    const QFileInfo info(file_);
    // QSettings reads its file as soon as it is made: a FIFO would keep it waiting for good.
    if (!info.exists() || !info.isFile()) {
        note_ = Refusal();
        if (note_.empty()) {
            settings_ = std::make_unique<QSettings>(file_, QSettings::IniFormat);
        }
        return;
    }
    // QSettings reads an unreadable file as an empty one, and its first write would replace it.
    QFile file(file_);
    if (!file.open(QIODevice::ReadOnly)) {
        unreadable_ = file.errorString().toStdString();
        note_ = Refusal();
        return;
    }
    file.close();
    settings_ = std::make_unique<QSettings>(file_, QSettings::IniFormat);
    if (portable_ && EmptyFile(file_)) {
        return;
    }
    for (const char *name : setting::kNames) {
        if (!StoredName(QString::fromUtf8(name)).isEmpty()) {
            return; // values the store reads: nothing else in the file matters
        }
    }
    // Nothing of ours in it. Kept under a free name beside it, for the user to look at.
    QString aside = file_ + ".damaged";
    for (int n = 2; QFileInfo::exists(aside); ++n) {
        aside = file_ + ".damaged" + QString::number(n);
    }
    settings_.reset();
    QFile damaged(file_);
    if (!damaged.rename(aside)) {
        unreadable_ = "it holds no settings and cannot be renamed aside: " +
                      damaged.errorString().toStdString();
        note_ = Refusal();
        return;
    }
    note_ = texts::SettingsMovedAside(aside.toStdString());
    settings_ = std::make_unique<QSettings>(file_, QSettings::IniFormat);
}

bool QtSettingsStore::Writable() const
{
    return Refusal().empty();
}

std::string QtSettingsStore::Refusal() const
{
    const std::string location = Location().toStdString();
    if (!unreadable_.empty()) {
        return texts::SettingsFileUnreadable(location, unreadable_);
    }
    const QFileInfo info(file_);
    if (!file_.isEmpty() && info.exists() && !info.isFile()) {
        return texts::SettingsFileNotAFile(location);
    }
    return {};
}

QString QtSettingsStore::Location() const
{
    return file_.isEmpty() ? QStringLiteral("HKEY_CURRENT_USER\\Software\\KVSC") : file_;
}

bool QtSettingsStore::KeyExists() const
{
    if (file_.isEmpty()) {
        QSettings software("HKEY_CURRENT_USER\\Software", QSettings::NativeFormat);
        return software.childGroups().contains("KVSC", Qt::CaseInsensitive);
    }
    return QFileInfo::exists(file_) && Refusal().empty() && !(portable_ && EmptyFile(file_));
}

void QtSettingsStore::Reopen()
{
    if (!Refusal().empty()) {
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
    if (!Refusal().empty()) {
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
    if (const std::string refusal = Refusal(); !refusal.empty()) {
        throw SettingsError(refusal);
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
