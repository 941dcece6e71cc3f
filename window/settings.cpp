#include "window/settings.h"

#include "common/atomic_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <filesystem>
#include <string_view>

namespace tamblure::window {

namespace {

std::filesystem::path localPath(const QString& path)
{
    return std::filesystem::path(QFile::encodeName(path).toStdString());
}

std::optional<QString> readFirstLine(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QByteArray line = file.readLine();
    if (file.error() != QFileDevice::NoError)
        return std::nullopt;
    // A line ends at CR or LF, whichever comes first, as text files read.
    const qsizetype end = line.indexOf('\r') >= 0 ? line.indexOf('\r') : line.indexOf('\n');
    if (end >= 0)
        line.truncate(end);
    return QString::fromUtf8(line);
}

std::optional<QString> documentsFolder()
{
    QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (folder.isEmpty())
        return std::nullopt;
    while (folder.size() > 1 && folder.endsWith(u'/'))
        folder.chop(1);
    return folder;
}

} // namespace

QString settingsFilePath()
{
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    if (config.isEmpty())
        return {};
    return config + QStringLiteral("/tamblure/tamblure.ini");
}

std::optional<QString> loadFolderSetting()
{
    const QString path = settingsFilePath();
    if (!path.isEmpty()) {
        if (std::optional<QString> line = readFirstLine(path))
            return line;
    }
    return documentsFolder();
}

bool saveFolderSetting(const QString& folderText)
{
    const QString path = settingsFilePath();
    if (path.isEmpty())
        return false;
    // A failure here shows up as the open below failing.
    QDir().mkpath(QFileInfo(path).absolutePath());

    AtomicFile file(localPath(path));
    if (!file.open())
        return false;
    const QByteArray line = folderText.toUtf8() + "\r\n";
    if (!file.write(std::string_view(line.constData(), static_cast<std::size_t>(line.size()))))
        return false;
    return file.commit();
}

} // namespace tamblure::window
