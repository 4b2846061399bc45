#include "pipeline/GameFilePipeline.h"

#include "ball_table/Baza.h"
#include "pipeline/Scn_Common_Dialog.h"
#include "pipeline/Scn_Process.h"
#include "platform/Platform.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <utility>

namespace {

const QString applicationTitle = QStringLiteral("Vestrel");

#ifdef Q_OS_WIN
const QString toolFileName = QStringLiteral("zlibtool.exe");
#else
const QString toolFileName = QStringLiteral("zlibtool");
#endif

QString quoted(const QString& text) {
    return u'"' + text + u'"';
}

// A dialog result that reads as a number is a cancel ("-1").
bool readsAsNumber(const QString& text) {
    bool number = false;
    text.toDouble(&number);
    return number;
}

// Every path goes to the tool inside double quotes; one that holds a quote,
// or ends in a backslash that would escape the closing quote, would reach it
// as something else. Such a command line is never run.
bool carriesExactly(const QString& commandLine, const QStringList& expected) {
    return Scn_Process::splitCommandLine(commandLine) == expected;
}

bool removeIfPresent(const QString& path) {
    QFileInfo info(path);
    if (!info.exists() && !info.isSymLink())
        return true;
    return QFile::remove(path);
}

// Copies a file into the working folder. The copy is a scratch file, so it is
// not synced to disk (QFile::copy would); every read and write is checked.
// Returns what went wrong, or an empty text.
QString copyFile(const QString& from, const QString& to) {
    QFile source(from);
    if (!source.open(QIODevice::ReadOnly))
        return source.errorString();
    QFile target(to);
    if (!target.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return target.errorString();
    QByteArray chunk;
    while (true) {
        chunk = source.read(1 << 20);
        if (chunk.isEmpty())
            break;
        if (target.write(chunk) != chunk.size()) {
            const QString problem = target.errorString();
            target.remove();
            return problem;
        }
    }
    if (source.error() != QFileDevice::NoError || !source.atEnd()) {
        const QString problem = source.errorString();
        target.remove();
        return problem;
    }
    if (!target.flush()) {
        const QString problem = target.errorString();
        target.remove();
        return problem;
    }
    return {};
}

} // namespace

// Marks a command as running, so that a second Open or Save that arrives
// while the tool runs (the window keeps processing its events) is refused.
class GameFilePipeline::BusyScope {
public:
    explicit BusyScope(GameFilePipeline& pipeline) : m_pipeline(pipeline) { m_pipeline.m_busy = true; }
    ~BusyScope() {
        m_pipeline.m_busy = false;
        if (std::exchange(m_pipeline.m_clearTempWhenIdle, false))
            m_pipeline.Clear_Temp();
    }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    GameFilePipeline& m_pipeline;
};

GameFilePipeline::GameFilePipeline(Baza& table, Platform& platform, QWidget* owner, QString appPath)
    : m_table(table), m_platform(platform), m_owner(owner), m_appPath(std::move(appPath)) {
    if (!m_appPath.endsWith(QDir::separator()))
        m_appPath += QDir::separator();
}

QString GameFilePipeline::applicationPath() {
    QString path = QDir::toNativeSeparators(QCoreApplication::applicationDirPath());
    if (!path.endsWith(QDir::separator()))
        path += QDir::separator();
    return path;
}

QString GameFilePipeline::workingFolder() const {
    const QChar separator = QDir::separator();
    return m_appPath + QStringLiteral("zlib") + separator + QStringLiteral("temp") + separator;
}

QString GameFilePipeline::toolPath() const {
    return m_appPath + QStringLiteral("zlib") + QDir::separator() + toolFileName;
}

QString GameFilePipeline::decompressCommandLine(const QString& fileName) const {
    return quoted(toolPath()) + u' ' + quoted(workingFolder() + fileName) + QStringLiteral(" -d");
}

QString GameFilePipeline::compressCommandLine() const {
    return quoted(toolPath()) + u' ' + quoted(m_table.Path());
}

QString GameFilePipeline::verifyCommandLine() const {
    return quoted(toolPath()) + u' ' + quoted(m_table.Path() + QStringLiteral(".zlib")) +
           QStringLiteral(" -d");
}

void GameFilePipeline::showError(const QString& text) const {
    m_platform.messages->show(m_owner, text, applicationTitle, MessageIcon::Critical);
}

int GameFilePipeline::runTool(const QString& commandLine) const {
    return Scn_Process(*m_platform.processes).Run_Process(commandLine, 0);
}

GameFilePipeline::OpenOutcome GameFilePipeline::open() {
    if (m_busy)
        return OpenOutcome::Busy;
    BusyScope running(*this);

    Scn_Common_Dialog dialog(*m_platform.fileDialog);
    const QString chosen =
        dialog.OpenFileName(m_owner, QStringLiteral("unnamed_1964.bin"), m_appPath,
                            QStringLiteral("unnamed_1815.bin(*.bin)|*.bin|All Files (*.*)|*.*"));
    if (readsAsNumber(chosen))
        return OpenOutcome::Cancelled;
    if (!Baza::File_Exists(chosen)) {
        m_platform.messages->show(m_owner, QStringLiteral("Nie wybrano pliku !!"),
                                  QStringLiteral("Błąd wczytywania pliku"), MessageIcon::Information);
        return OpenOutcome::NotFound;
    }

    // Until the table is loaded, a failure changes nothing the user has: the
    // table, Game_File and the game file itself stay as they were.
    const auto refuse = [this](const QString& text) {
        showError(text);
        return OpenOutcome::Refused;
    };
    const QString name = dialog.TitleName();
    const QFileInfo source(chosen);
    const QString folder = workingFolder();
    const QFileInfo folderInfo(folder);
    if (!folderInfo.isDir())
        return refuse(QStringLiteral("The working folder \"%1\" is missing, so \"%2\" cannot be opened.")
                          .arg(QDir::toNativeSeparators(folder), chosen));
    if (!source.isFile() || !source.isReadable())
        return refuse(QStringLiteral("\"%1\" is not a readable file, so it cannot be opened.").arg(chosen));
    if (source.canonicalPath() == folderInfo.canonicalFilePath())
        return refuse(
            QStringLiteral("\"%1\" lies in Vestrel's working folder, which is emptied after every save. "
                           "Copy it to another folder and open it from there.")
                .arg(chosen));
    const QString copyPath = folder + name;
    const QString resultPath = copyPath + QStringLiteral(".unzlib");
    // Renaming the file would not help when Vestrel's own folder is at fault.
    if (m_appPath.contains(u'"'))
        return refuse(QStringLiteral("\"%1\" cannot be opened: Vestrel's folder \"%2\" holds a double quote, "
                                     "so zlibtool cannot be run from it. Move Vestrel to another folder.")
                          .arg(chosen, m_appPath));
    if (!carriesExactly(decompressCommandLine(name), {toolPath(), copyPath, QStringLiteral("-d")}))
        return refuse(
            QStringLiteral("The name of \"%1\" cannot be handed to zlibtool: it holds a double quote or "
                           "ends in a backslash. Rename the file and open it again.")
                .arg(chosen));

    // A result left by an earlier run must never be loaded for this file.
    for (const QString& stale : {copyPath, resultPath}) {
        if (!removeIfPresent(stale))
            return refuse(
                QStringLiteral("\"%1\" in the working folder cannot be deleted, so \"%2\" cannot be "
                               "opened.")
                    .arg(QDir::toNativeSeparators(stale), chosen));
    }
    if (const QString problem = copyFile(chosen, copyPath); !problem.isEmpty())
        return refuse(QStringLiteral("\"%1\" could not be copied to \"%2\": %3")
                          .arg(chosen, QDir::toNativeSeparators(copyPath), problem));

    const int exitCode = runTool(decompressCommandLine(name));
    if (exitCode != 0 || !m_table.Wczytaj(resultPath)) {
        // Neither a partial table nor the previous file's may be saved over
        // the file just chosen.
        m_table.Clear();
        m_gameFile.clear();
        m_platform.messages->show(m_owner, QStringLiteral("Wystąpił błąd"), applicationTitle,
                                  MessageIcon::None);
        return OpenOutcome::Failed;
    }
    m_gameFile = chosen;
    return OpenOutcome::Loaded;
}

GameFilePipeline::SaveOutcome GameFilePipeline::save() {
    if (m_busy)
        return SaveOutcome::Busy;
    BusyScope running(*this);

    if (m_gameFile.isEmpty() || !m_table.Zapisz(QString())) {
        showError(QStringLiteral("Error"));
        return SaveOutcome::Failed;
    }

    const QString written = m_table.Path();
    const QString packed = written + QStringLiteral(".zlib");
    const QString unpackedAgain = packed + QStringLiteral(".unzlib");
    const auto fail = [&](const QString& what) {
        removeIfPresent(packed);
        removeIfPresent(unpackedAgain);
        showError(what + QStringLiteral("\n\n\"%1\" was not changed.").arg(m_gameFile));
        return SaveOutcome::Failed;
    };

    // A file marked read-only is left alone, even where replacing it by a
    // rename would be allowed.
    const QFileInfo target(m_gameFile);
    if (target.exists() && (!target.isWritable() || !target.permission(QFile::WriteOwner)))
        return fail(QStringLiteral("\"%1\" is read-only.").arg(m_gameFile));
    for (const QString& stale : {packed, unpackedAgain}) {
        if (!removeIfPresent(stale))
            return fail(QStringLiteral("\"%1\" in the working folder cannot be deleted.")
                            .arg(QDir::toNativeSeparators(stale)));
    }
    if (!carriesExactly(compressCommandLine(), {toolPath(), written}) ||
        !carriesExactly(verifyCommandLine(), {toolPath(), packed, QStringLiteral("-d")}))
        return fail(QStringLiteral("The path \"%1\" cannot be handed to zlibtool.").arg(written));

    const int exitCode = runTool(compressCommandLine());
    if (exitCode != 0)
        return fail(QStringLiteral("zlibtool could not compress \"%1\" (exit code %2).")
                        .arg(written, QString::number(exitCode)));
    QFile packedFile(packed);
    if (!packedFile.open(QIODevice::ReadOnly))
        return fail(QStringLiteral("zlibtool left no compressed file \"%1\": %2")
                        .arg(packed, packedFile.errorString()));
    const QByteArray bytes = packedFile.readAll();
    if (bytes.size() != packedFile.size())
        return fail(QStringLiteral("\"%1\" could not be read: %2").arg(packed, packedFile.errorString()));
    packedFile.close();

    // These bytes may replace the game file only if they give back exactly
    // the table just written.
    const int checkCode = runTool(verifyCommandLine());
    QFile writtenFile(written);
    QFile checkFile(unpackedAgain);
    const bool verified = checkCode == 0 && writtenFile.open(QIODevice::ReadOnly) &&
                          checkFile.open(QIODevice::ReadOnly) && writtenFile.size() == checkFile.size() &&
                          writtenFile.readAll() == checkFile.readAll();
    checkFile.close();
    writtenFile.close();
    if (!verified)
        return fail(QStringLiteral("The compressed file \"%1\" does not give back the table that was saved.")
                        .arg(packed));

    // Written beside the game file and renamed over it only when complete, so
    // the game file is the old one or the new one even if Vestrel is killed.
    QSaveFile out(m_gameFile);
    if (!out.open(QIODevice::WriteOnly))
        return fail(
            QStringLiteral("\"%1\" could not be opened for writing: %2").arg(m_gameFile, out.errorString()));
    if (out.write(bytes) != bytes.size() || !out.flush()) {
        const QString reason = out.errorString();
        out.cancelWriting();
        return fail(QStringLiteral("\"%1\" could not be written: %2").arg(m_gameFile, reason));
    }
    if (!out.commit())
        return fail(QStringLiteral("\"%1\" could not be replaced: %2").arg(m_gameFile, out.errorString()));

    deleteWorkingFiles();
    m_platform.messages->show(m_owner, QStringLiteral("Save File"), applicationTitle, MessageIcon::None);
    return SaveOutcome::Saved;
}

void GameFilePipeline::Clear_Temp() {
    if (m_busy)
        m_clearTempWhenIdle = true;
    else
        deleteWorkingFiles();
}

void GameFilePipeline::deleteWorkingFiles() const {
    const QDir folder(workingFolder());
    if (!folder.exists())
        return;
    // Ordinary files only: hidden files and sub-folders are not ours to delete.
    for (const QString& name : folder.entryList(QDir::Files))
        QFile::remove(folder.filePath(name));
}
