#include "pipeline/table_file/StoragePath.h"

#include <QFile>

namespace table_file {

std::filesystem::path storagePath(const QString& path) {
#ifdef Q_OS_WIN
    return std::filesystem::path(path.toStdWString());
#else
    return std::filesystem::path(QFile::encodeName(path).toStdString());
#endif
}

QString qtPath(const std::filesystem::path& path) {
#ifdef Q_OS_WIN
    return QString::fromStdWString(path.native());
#else
    return QFile::decodeName(QByteArray::fromStdString(path.native()));
#endif
}

QString describe(const storage::Outcome& outcome, bool withAfter) {
    const std::string text = outcome.describe(withAfter);
    QString described = QString::fromUtf8(text.data(), qsizetype(text.size()));
    // The undo copy's path is the system's; show it as Qt shows paths.
    if (!outcome.undoCopy.empty())
        described.replace(QString::fromStdString(storage::utf8Of(outcome.undoCopy)),
                          qtPath(outcome.undoCopy));
    return described;
}

} // namespace table_file
