#pragma once

#include "pipeline/storage/FileStore.h"

#include <QByteArrayView>
#include <QString>

#include <filesystem>
#include <optional>

// Qt's paths and texts to and from the storage core's.
namespace table_file {

// A path given as bytes (a command-line argument on POSIX) as text: UTF-8,
// with each byte that is not part of UTF-8 kept as a lone surrogate
// (U+DC80 to U+DCFF), so that storagePath() gives the same bytes back and a
// file name that is not valid UTF-8 still names its file.
QString argumentText(QByteArrayView bytes);

// The system's own form of a path: on POSIX its bytes (UTF-8, and the kept
// bytes of argumentText), on Windows its wide characters.
std::filesystem::path storagePath(const QString& path);
QString qtPath(const std::filesystem::path& path);

// The file a path names, links followed; nullopt when there is none.
std::optional<storage::FileStatus> statusOf(const QString& path);
// Whether two paths name one file.
bool sameFile(const QString& a, const QString& b);

QString describe(const storage::Outcome& outcome, bool withAfter = true);

} // namespace table_file
