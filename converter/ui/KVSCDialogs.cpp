#include "KVSCDialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QUrl>

namespace kv::converter {

void QtKVSCDialogs::showMessage(QWidget *owner, const QString &text)
{
    QMessageBox::information(owner, QApplication::applicationName(), text);
}

void QtKVSCDialogs::showError(QWidget *owner, const QString &text)
{
    QMessageBox::critical(owner, QApplication::applicationName(), text);
}

void QtKVSCDialogs::showAbout(QWidget *owner, const QString &text)
{
    QMessageBox::about(owner, QStringLiteral("About"), text);
}

QStringList QtKVSCDialogs::getOpenFileNames(QWidget *owner, const QString &folder,
                                            const QString &filter)
{
    QFileDialog dialog(owner, QString(), folder);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setOption(QFileDialog::ReadOnly, false);
    // The filter's description already lists the patterns; Qt would list them a second time.
    dialog.setOption(QFileDialog::HideNameFilterDetails, true);
    dialog.setNameFilter(filter);
    if (dialog.exec() != QDialog::Accepted) {
        return {};
    }
    return dialog.selectedFiles();
}

std::optional<QString> QtKVSCDialogs::getExistingDirectory(QWidget *owner, const QString &title,
                                                           const QString &root)
{
    // A "clsid:" root names one of Windows' virtual folders, which only the URL form reaches;
    // offering "file" alone keeps the choice to file-system folders.
    const QUrl rootUrl =
        root.startsWith(QStringLiteral("clsid:")) ? QUrl(root) : QUrl::fromLocalFile(root);
    const QUrl folder = QFileDialog::getExistingDirectoryUrl(
        owner, title, rootUrl, QFileDialog::ShowDirsOnly, {QStringLiteral("file")});
    if (!folder.isLocalFile() || folder.toLocalFile().isEmpty()) {
        return std::nullopt;
    }
    return folder.toLocalFile();
}

} // namespace kv::converter
