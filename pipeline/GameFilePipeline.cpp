#include "pipeline/GameFilePipeline.h"

#include "ball_table/Baza.h"
#include "pipeline/Scn_Common_Dialog.h"
#include "pipeline/Scn_Process.h"
#include "pipeline/compression/ZlibStream.h"
#include "pipeline/storage/FileStore.h"
#include "pipeline/table_file/StoragePath.h"
#include "platform/Platform.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <new>
#include <span>
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

std::span<const unsigned char> bytesOf(const QByteArray& bytes) {
    return {reinterpret_cast<const unsigned char*>(bytes.constData()), std::size_t(bytes.size())};
}

// Writes a scratch file of the working folder, which needs no sync: the
// next Open makes it again. Returns what went wrong, or an empty text.
QString writeFile(const QString& path, std::span<const unsigned char> bytes) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return file.errorString();
    if (file.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size())) !=
            qint64(bytes.size()) ||
        !file.flush())
        return file.errorString();
    file.close();
    return file.error() == QFileDevice::NoError ? QString() : file.errorString();
}

// Why a file could not be read: the system's own words where it has them.
QString readProblem(const storage::Outcome& outcome, const QString& outOfMemory) {
    switch (outcome.problem) {
    case storage::Problem::NoMemory:
        return outOfMemory;
    case storage::Problem::System:
        return QString::fromStdString(outcome.reason());
    default:
        return table_file::describe(outcome);
    }
}

// The end of a message about the tool's exit code: its own reason, the last
// line of its error output, or a full stop when it gave none.
QString withToolReason(const ProcessOutcome& outcome) {
    const QStringList lines = outcome.errorOutput.split(u'\n', Qt::SkipEmptyParts);
    const QString reason = lines.isEmpty() ? QString() : lines.constLast().trimmed();
    return reason.isEmpty() ? QStringLiteral(".") : QStringLiteral(":\n") + reason;
}

// Why a run of the tool on path failed, for the save messages: verb and
// gerund say what the run was for ("compress", "compressing").
QString runFailure(const ProcessOutcome& outcome, const char* verb, const char* gerund, const QString& path) {
    switch (outcome.end) {
    case ProcessOutcome::End::NotStarted:
        return QStringLiteral("zlibtool could not be started to %1 \"%2\"").arg(QLatin1String(verb), path) +
               withToolReason(outcome);
    case ProcessOutcome::End::Crashed:
        return QStringLiteral("zlibtool was killed or crashed while %1 \"%2\".")
            .arg(QLatin1String(gerund), path);
    case ProcessOutcome::End::Exited:
        break;
    }
    return QStringLiteral("zlibtool could not %1 \"%2\" (exit code %3)")
               .arg(QLatin1String(verb), path, QString::number(outcome.exitCode)) +
           withToolReason(outcome);
}

// The cause of a failed decompression in Polish, read from the tool's own
// line (its stream errors are worded by zlibtool::describe, its file errors
// name the step); empty when the line says something else.
QString toolCauseInPolish(const QString& line) {
    using compression::Error;
    const std::pair<Error, const char*> streamCauses[] = {
        {Error::Corrupt, "plik nie jest poprawnym strumieniem zlib, czyli nie jest spakowanym plikiem gry "
                         "albo jest uszkodzony"},
        {Error::Truncated, "strumień zlib urywa się przed końcem, więc plik jest niepełny"},
        {Error::TrailingData, "za końcem strumienia zlib plik ma jeszcze inne bajty"},
        {Error::TooLarge,
         "po rozpakowaniu dane miałyby ponad 64 MiB, a tabela piłek nigdy nie jest tak duża"},
        {Error::SizeMismatch, "rozmiary zapisane w nagłówku pliku nie zgadzają się ze strumieniem zlib"},
        {Error::OutOfMemory, "zabrakło pamięci"},
        {Error::SinkFailed, "nie udało się zapisać rozpakowanych danych"},
        {Error::ReadFailed, "nie udało się odczytać pliku"},
    };
    for (const auto& [error, cause] : streamCauses) {
        const std::string_view words = compression::describe(error);
        if (line.endsWith(QLatin1String(words.data(), qsizetype(words.size()))))
            return QString::fromUtf8(cause);
    }
    const QLatin1String toolPrefix("zlibtool: ");
    const QString message = line.startsWith(toolPrefix) ? line.mid(toolPrefix.size()) : line;
    if (message.startsWith(QLatin1String("cannot open ")) ||
        message.startsWith(QLatin1String("cannot read ")))
        return QStringLiteral("nie udało się odczytać kopii pliku w folderze roboczym");
    if (message.startsWith(QLatin1String("cannot ")))
        return QStringLiteral("nie udało się zapisać rozpakowanej tabeli w folderze roboczym");
    if (message.startsWith(QLatin1String("usage:")))
        return QStringLiteral("program nie przyjął polecenia, z którym go uruchomiono");
    return {};
}

// The same in Polish, for the messages of File > Open: the cause in Polish,
// and below it the tool's own line, for reference.
QString runProblemInPolish(const ProcessOutcome& outcome, const QString& tool) {
    switch (outcome.end) {
    case ProcessOutcome::End::NotStarted:
        return QStringLiteral("Nie udało się uruchomić programu „%1”").arg(QDir::toNativeSeparators(tool)) +
               withToolReason(outcome);
    case ProcessOutcome::End::Crashed:
        return QStringLiteral("Program zlibtool został przerwany (zakończony siłą albo uległ awarii), zanim "
                              "rozpakował plik.");
    case ProcessOutcome::End::Exited:
        break;
    }
    const QStringList lines = outcome.errorOutput.split(u'\n', Qt::SkipEmptyParts);
    const QString line = lines.isEmpty() ? QString() : lines.constLast().trimmed();
    if (line.isEmpty())
        return QStringLiteral("Program zlibtool nie rozpakował pliku (kod wyjścia %1) i nie podał przyczyny.")
            .arg(outcome.exitCode);
    const QString cause = toolCauseInPolish(line);
    return (cause.isEmpty() ? QStringLiteral("Program zlibtool nie rozpakował pliku.")
                            : QStringLiteral("Program zlibtool nie rozpakował pliku: %1.").arg(cause)) +
           QStringLiteral("\n\nKomunikat programu zlibtool (kod wyjścia %1):\n%2")
               .arg(QString::number(outcome.exitCode), line);
}

QString megabytes(qint64 bytes) {
    return QString::number((bytes + (1 << 20) - 1) >> 20);
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
    : m_table(table), m_platform(platform), m_owner(owner),
      // In the system's own form, as every path built on it goes into a
      // command line and messages; on Windows a caller may pass '/'.
      m_appPath(QDir::toNativeSeparators(appPath)), m_folder(m_appPath) {
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
    return m_folder.path();
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

void GameFilePipeline::showError(const QString& text) {
    // No other window waits for the folder while the message waits for the user.
    m_folder.release();
    m_platform.messages->show(m_owner, text, applicationTitle, MessageIcon::Critical);
}

ProcessOutcome GameFilePipeline::runTool(const QString& commandLine) const {
    return Scn_Process(*m_platform.processes).run(commandLine);
}

GameFilePipeline::OpenOutcome GameFilePipeline::open() {
    if (m_busy)
        return OpenOutcome::Busy;
    BusyScope running(*this);
    try {
        return openFile();
    } catch (const std::bad_alloc&) {
        // Thrown before the table took anything in: it stays as it was.
        showError(QStringLiteral("Za mało pamięci, aby otworzyć wybrany plik."));
        return OpenOutcome::Refused;
    }
}

GameFilePipeline::OpenOutcome GameFilePipeline::openFile() {

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
    // Taken once the file is chosen: no other window waits on this one's dialog.
    const WorkingFolder::Turn turn = m_folder.takeForOpen();
    if (!turn.held())
        return refuse(turn.problemInPolish() +
                      QStringLiteral(" Nie można więc otworzyć pliku „%1”.").arg(chosen));
    const QString folder = workingFolder();
    const QFileInfo folderInfo(folder);
    const QFileInfo source(chosen);
    if (!source.isFile() || !source.isReadable())
        return refuse(
            QStringLiteral("„%1” nie jest plikiem, który można odczytać, więc nie można go otworzyć.")
                .arg(chosen));
    // Looked at before anything is copied or read: no game file comes near
    // this size, and copying a huge file would freeze the window for nothing.
    if (source.size() > qint64(compression::maxInputSize))
        return refuse(
            QStringLiteral("Plik „%1” ma %2 MB, a plik gry może mieć najwyżej %3 MB. To nie jest plik "
                           "gry, więc nie został otwarty.")
                .arg(chosen, megabytes(source.size()), megabytes(qint64(compression::maxInputSize))));
    if (source.canonicalPath() == folderInfo.canonicalFilePath())
        return refuse(
            QStringLiteral("Plik „%1” leży w folderze roboczym programu Vestrel, który jest opróżniany "
                           "po każdym zapisie. Skopiuj go do innego folderu i otwórz go stamtąd.")
                .arg(chosen));
    const QString name = m_folder.claim(dialog.TitleName());
    if (name.isEmpty())
        return refuse(QStringLiteral("Nie można zapisać pliku „%1”, więc nie można otworzyć pliku „%2”.")
                          .arg(m_folder.claimsFile(), chosen));
    const QString copyPath = folder + name;
    const QString resultPath = copyPath + QStringLiteral(".unzlib");
    // Renaming the file would not help when Vestrel's own folder is at fault.
    if (m_appPath.contains(u'"'))
        return refuse(
            QStringLiteral("Nie można otworzyć pliku „%1”: folder programu Vestrel „%2” zawiera "
                           "cudzysłów, więc nie da się z niego uruchomić programu zlibtool. Przenieś "
                           "program Vestrel do innego folderu.")
                .arg(chosen, m_appPath));
    if (!carriesExactly(decompressCommandLine(name), {toolPath(), copyPath, QStringLiteral("-d")}))
        return refuse(
            QStringLiteral("Nazwy pliku „%1” nie da się przekazać programowi zlibtool: zawiera "
                           "cudzysłów albo kończy się ukośnikiem odwrotnym. Zmień nazwę pliku i otwórz "
                           "go ponownie.")
                .arg(chosen));

    // A result left by an earlier run must never be loaded for this file.
    for (const QString& path : m_folder.filesOf(name)) {
        if (!removeIfPresent(path))
            return refuse(
                QStringLiteral("Nie można usunąć pliku „%1” z folderu roboczego, więc nie można otworzyć "
                               "pliku „%2”.")
                    .arg(QDir::toNativeSeparators(path), chosen));
    }
    // Read once: the copy is written from these bytes, they tell the form
    // Save writes back, and Save checks the file against what they were.
    const storage::ReadResult original =
        storage::readFile(table_file::storagePath(chosen), compression::maxInputSize);
    if (!original.outcome.ok())
        return refuse(QStringLiteral("Nie udało się odczytać pliku „%1”.\n\nKomunikat systemu:\n%2")
                          .arg(chosen, readProblem(original.outcome, QStringLiteral("za mało pamięci"))));
    if (const QString problem = writeFile(copyPath, original.bytes); !problem.isEmpty()) {
        removeIfPresent(copyPath);
        return refuse(QStringLiteral("Nie udało się skopiować pliku „%1” do „%2”.\n\nKomunikat systemu:\n%3")
                          .arg(chosen, QDir::toNativeSeparators(copyPath), problem));
    }

    // Judged by the stream code itself, so that Save writes the form the
    // tool read.
    const compression::Form form = compression::formOf(original.bytes).form;
    const ProcessOutcome run = runTool(decompressCommandLine(name));
    QString problem;
    if (run.code() != 0) {
        problem = runProblemInPolish(run, toolPath());
    } else {
        // A working copy that cannot be read is a fault of the storage, not
        // of the game file, and is named as such.
        const storage::ReadResult table =
            storage::readFile(table_file::storagePath(resultPath), compression::maxDecompressedSize);
        if (table.outcome.problem == storage::Problem::NoMemory) {
            m_folder.removeFilesOf(name);
            return refuse(QStringLiteral("Za mało pamięci, aby otworzyć plik „%1”.").arg(chosen));
        }
        if (!table.outcome.ok())
            problem = QStringLiteral("Nie udało się odczytać pliku roboczego „%1”: %2")
                          .arg(QDir::toNativeSeparators(resultPath),
                               readProblem(table.outcome, QStringLiteral("za mało pamięci")));
        // Only the table of the bytes just read is loaded: a program that
        // does not take turns in the working folder (an older Vestrel, or any
        // other) may have written its own copy or table there meanwhile, and
        // that table would later be saved over this game file.
        else if (!compression::givesBack(original.bytes, table.bytes, form))
            problem = QStringLiteral("Plik roboczy „%1” nie zawiera tabeli z pliku „%2”: w tym samym czasie "
                                     "zmienił go inny program. Otwórz plik ponownie.")
                          .arg(QDir::toNativeSeparators(resultPath), chosen);
        else if (!m_table.Wczytaj(resultPath,
                                  QByteArray::fromRawData(reinterpret_cast<const char*>(table.bytes.data()),
                                                          qsizetype(table.bytes.size()))))
            problem = QStringLiteral("Plik nie zawiera poprawnej tabeli piłek.");
    }
    if (!problem.isEmpty()) {
        // Neither a partial table nor the previous file's may be saved over
        // the file just chosen; the copy and any partial result go too.
        m_table.Clear();
        m_gameFile.clear();
        m_folder.removeFilesOf(name);
        m_folder.release();
        m_platform.messages->show(m_owner, QStringLiteral("Wystąpił błąd\n\n") + problem, applicationTitle,
                                  MessageIcon::None);
        return OpenOutcome::Failed;
    }
    m_gameFile = chosen;
    m_known = original.identity();
    m_knownFrom = Known::Opened;
    m_form = form;
    m_folder.release();
    if (original.recovered)
        m_platform.messages->show(
            m_owner,
            QStringLiteral("Poprzedni zapis pliku „%1” został przerwany. Przywrócono zawartość, którą plik "
                           "miał przed tym zapisem.")
                .arg(chosen),
            applicationTitle, MessageIcon::Information);
    return OpenOutcome::Loaded;
}

GameFilePipeline::SaveOutcome GameFilePipeline::save() {
    if (m_busy)
        return SaveOutcome::Busy;
    BusyScope running(*this);
    try {
        return saveTable();
    } catch (const std::bad_alloc&) {
        // The table and the game file are as they were.
        showError(
            QStringLiteral("Error\n\nThere is not enough memory to save \"%1\".\n\n\"%1\" was not changed.")
                .arg(m_gameFile));
        return SaveOutcome::Failed;
    }
}

GameFilePipeline::SaveOutcome GameFilePipeline::saveTable() {
    if (m_gameFile.isEmpty()) {
        showError(QStringLiteral("Error"));
        return SaveOutcome::Failed;
    }
    std::optional<WorkingFolder::Turn> turn(m_folder.take());
    if (!turn->held()) {
        showError(QStringLiteral("Error\n\n") + turn->problem() +
                  QStringLiteral("\n\n\"%1\" was not changed.").arg(m_gameFile));
        return SaveOutcome::Failed;
    }
    const std::optional<QByteArray> tableBytes = m_table.fileBytes();
    if (!tableBytes || !m_table.Zapisz(QString())) {
        showError(
            QStringLiteral("Error\n\nThe table could not be written to \"%1\": %2\n\n\"%3\" was not changed.")
                .arg(QDir::toNativeSeparators(m_table.Path()), m_table.saveError(), m_gameFile));
        return SaveOutcome::Failed;
    }

    const QString written = m_table.Path();
    const QString packed = written + QStringLiteral(".zlib");
    const auto fail = [&](const QString& what) {
        removeIfPresent(packed);
        showError(what + QStringLiteral("\n\n\"%1\" was not changed.").arg(m_gameFile));
        return SaveOutcome::Failed;
    };

    // A file marked read-only is left alone, even where replacing it by a
    // rename would be allowed.
    const QFileInfo target(m_gameFile);
    if (target.exists() && (!target.isWritable() || !target.permission(QFile::WriteOwner)))
        return fail(QStringLiteral("\"%1\" is read-only.").arg(m_gameFile));
    // A change made elsewhere since Open or the last Save is never
    // overwritten without the user's word.
    std::optional<storage::FileIdentity> expected = m_known;
    if (const std::optional<QString> change = changeOnDisk(expected)) {
        // No other window waits for the folder while the question waits for
        // the user; this window's files are its own meanwhile all the same.
        turn.reset();
        if (!m_platform.messages->ask(m_owner, *change, applicationTitle))
            return SaveOutcome::Declined;
        turn.emplace(m_folder.take());
        if (!turn->held())
            return fail(turn->problem());
    }
    if (!removeIfPresent(packed))
        return fail(QStringLiteral("\"%1\" in the working folder cannot be deleted.")
                        .arg(QDir::toNativeSeparators(packed)));
    if (!carriesExactly(compressCommandLine(), {toolPath(), written}))
        return fail(QStringLiteral("The path \"%1\" cannot be handed to zlibtool.").arg(written));

    const ProcessOutcome compressing = runTool(compressCommandLine());
    if (compressing.code() != 0)
        return fail(runFailure(compressing, "compress", "compressing", written));
    const storage::ReadResult stream =
        storage::readFile(table_file::storagePath(packed), compression::maxInputSize);
    if (!stream.outcome.ok())
        return fail(QStringLiteral("zlibtool's compressed file \"%1\" could not be read: %2")
                        .arg(packed, readProblem(stream.outcome, QStringLiteral("not enough memory"))));

    // The tool always writes a bare stream (its command lines cannot say
    // otherwise), and only the pipeline knows which game file the save goes
    // to and in which form it was read: a container keeps its signature and
    // gets both sizes for the new stream.
    const std::optional<compression::Bytes> whole =
        compression::inForm(m_form, stream.bytes, std::uint64_t(tableBytes->size()));
    if (!whole)
        return fail(QStringLiteral("The table is too large for the header of \"%1\".").arg(m_gameFile));
    // These bytes may replace the game file only if they give back exactly
    // the table just written.
    if (!compression::givesBack(*whole, bytesOf(*tableBytes), m_form))
        return fail(QStringLiteral("The compressed file \"%1\" does not give back the table that was saved.")
                        .arg(packed));

    storage::ReplaceOptions options;
    options.expected = expected;
    options.calls = m_platform.files;
    options.identifyWritten = true; // remembered, to tell a later change made elsewhere
    const storage::ReplaceResult replaced =
        storage::replaceFile(table_file::storagePath(m_gameFile), *whole, options);
    if (!replaced.outcome.ok() && replaced.outcome.after == storage::After::Unchanged)
        return fail(saveProblem(replaced.outcome));
    m_folder.clean();
    if (!replaced.outcome.ok()) {
        if (replaced.outcome.after == storage::After::Replaced)
            noteSaved(replaced.written);
        showError(saveProblem(replaced.outcome));
        return SaveOutcome::Failed;
    }
    noteSaved(replaced.written);
    m_folder.release();
    m_platform.messages->show(m_owner, QStringLiteral("Save File"), applicationTitle, MessageIcon::None);
    return SaveOutcome::Saved;
}

void GameFilePipeline::noteSaved(const storage::FileIdentity& written) {
    m_known = written;
    m_knownFrom = Known::Saved;
}

std::optional<QString> GameFilePipeline::changeOnDisk(std::optional<storage::FileIdentity>& expected) const {
    const storage::ReadResult now =
        storage::readFile(table_file::storagePath(m_gameFile), compression::maxInputSize);
    const QString since = m_knownFrom == Known::Opened ? QStringLiteral("since Vestrel opened it")
                                                       : QStringLiteral("since Vestrel last saved it");
    QString cause;
    storage::FileIdentity identity = now.identity();
    switch (now.outcome.problem) {
    case storage::Problem::None:
        if (now.identity().sameContent(m_known))
            return std::nullopt;
        cause = now.identity().size == m_known.size
                    ? QStringLiteral("\"%1\" has been changed by another program %2.").arg(m_gameFile, since)
                    : QStringLiteral(
                          "\"%1\" has been changed by another program %2: it held %3 bytes and now holds %4.")
                          .arg(m_gameFile, since)
                          .arg(m_known.size)
                          .arg(now.identity().size);
        break;
    case storage::Problem::Missing:
        identity = storage::FileIdentity{};
        cause =
            QStringLiteral("\"%1\" has been deleted or moved by another program %2.").arg(m_gameFile, since);
        break;
    default:
        // Not known to have changed: the save itself reads the file again
        // under its lock and reports what it finds.
        return std::nullopt;
    }
    expected = identity;
    return cause +
           QStringLiteral("\n\nSaving now replaces what the other program wrote with Vestrel's table. "
                          "Save anyway?");
}

QString GameFilePipeline::saveProblem(const storage::Outcome& outcome) const {
    switch (outcome.problem) {
    case storage::Problem::Busy:
        return QStringLiteral("Another program is saving \"%1\" right now. Save again when it has finished.")
            .arg(m_gameFile);
    case storage::Problem::Changed:
        return QStringLiteral("\"%1\" was changed by another program while Vestrel was saving it. Vestrel's "
                              "table was not saved; save again to decide what to keep.")
            .arg(m_gameFile);
    case storage::Problem::ReadOnly:
        return QStringLiteral("\"%1\" is read-only.").arg(m_gameFile);
    default:
        return QStringLiteral("Saving over \"%1\" failed: %2")
            .arg(m_gameFile, table_file::describe(outcome, false));
    }
}

void GameFilePipeline::Clear_Temp() {
    if (m_busy) {
        m_clearTempWhenIdle = true;
        return;
    }
    // Busy while it waits for another window's Open or Save to end.
    BusyScope running(*this);
    if (const WorkingFolder::Turn turn = m_folder.take(); turn.held())
        m_folder.clean();
}
