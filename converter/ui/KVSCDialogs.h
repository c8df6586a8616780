#pragma once

#include <optional>

#include <QString>
#include <QStringList>

class QWidget;

namespace kv::converter {

// Everything modal the KVSC window shows: messages, the file dialog and the folder picker.
// Tests answer these without a window appearing.
class KVSCDialogs
{
public:
    virtual ~KVSCDialogs() = default;

    // A modal message titled with the application title ("KVSC"); returns once dismissed.
    virtual void showMessage(QWidget *owner, const QString &text) = 0;
    // The same for a failure (a file, an image or the store), with the platform's error icon.
    virtual void showError(QWidget *owner, const QString &text) = 0;
    // The About box.
    virtual void showAbout(QWidget *owner, const QString &text) = 0;
    // Multi-selection open dialog starting in folder; the chosen paths, or none when cancelled.
    virtual QStringList getOpenFileNames(QWidget *owner, const QString &folder,
                                         const QString &filter) = 0;
    // Folder picker limited to file-system folders, starting at root; nothing when cancelled.
    virtual std::optional<QString> getExistingDirectory(QWidget *owner, const QString &title,
                                                        const QString &root) = 0;
};

// The real dialogs of the platform, through Qt.
class QtKVSCDialogs : public KVSCDialogs
{
public:
    void showMessage(QWidget *owner, const QString &text) override;
    void showError(QWidget *owner, const QString &text) override;
    void showAbout(QWidget *owner, const QString &text) override;
    QStringList getOpenFileNames(QWidget *owner, const QString &folder,
                                 const QString &filter) override;
    std::optional<QString> getExistingDirectory(QWidget *owner, const QString &title,
                                                const QString &root) override;
};

} // namespace kv::converter
