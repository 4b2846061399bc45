#pragma once

#include "pipeline/storage/FileStore.h"

#include <QString>

#include <filesystem>

// Qt's paths and texts to and from the storage core's.
namespace table_file {

// The system's own form of a path: on POSIX the bytes Qt encodes the name
// to, on Windows its wide characters.
std::filesystem::path storagePath(const QString& path);
QString qtPath(const std::filesystem::path& path);

QString describe(const storage::Outcome& outcome, bool withAfter = true);

} // namespace table_file
