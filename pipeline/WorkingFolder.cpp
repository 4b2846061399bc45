#include "pipeline/WorkingFolder.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLockFile>
#include <QRandomGenerator>
#include <QSaveFile>
#include <QStandardPaths>
#include <QSysInfo>
#include <QThread>
#include <QTimer>

#ifdef Q_OS_WIN
#include <string>

#include <windows.h>
#endif

namespace {

// Every file the folder's bookkeeping uses starts so; none is a working file.
const QString ownPrefix = QStringLiteral(".vestrel-");
const QString turnFileName = QStringLiteral(".vestrel-turn.lock");
const QString windowPrefix = QStringLiteral(".vestrel-window-");
const QString lockSuffix = QStringLiteral(".lock");
const QString claimsSuffix = QStringLiteral(".names");

QString withSeparator(QString folder) {
    folder = QDir::toNativeSeparators(folder);
    if (!folder.endsWith(QDir::separator()))
        folder += QDir::separator();
    return folder;
}

// A dot hides a file on POSIX systems only; elsewhere the attribute does.
void hide([[maybe_unused]] const QString& path) {
#ifdef Q_OS_WIN
    const std::wstring native = QDir::toNativeSeparators(path).toStdWString();
    const DWORD attributes = GetFileAttributesW(native.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES)
        SetFileAttributesW(native.c_str(), attributes | FILE_ATTRIBUTE_HIDDEN);
#endif
}

// A lock that only its holder's end makes stale: a save may take long, and a
// window lives for hours.
std::unique_ptr<QLockFile> lockFile(const QString& path) {
    auto lock = std::make_unique<QLockFile>(path);
    lock->setStaleLockTime(0);
    return lock;
}

// Takes a lock that is free. A lock file of this machine whose holder cannot
// be told (one killed between making the file and writing its name in it, or
// a crash that cut the file short) would otherwise hold for ever: it goes,
// but only where no live process holds it, as its maker does from the start.
bool tryLockNow(QLockFile& lock) {
    if (lock.tryLock(0))
        return true;
    qint64 pid = 0;
    QString host, program;
    if (lock.error() != QLockFile::LockFailedError ||
        (lock.getLockInfo(&pid, &host, &program) && !host.isEmpty() && host != QSysInfo::machineHostName()))
        return false;
    return lock.removeStaleLockFile() && lock.tryLock(0);
}

bool removeIfPresent(const QString& path) {
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink())
        return true;
    return QFile::remove(path);
}

QStringList readClaims(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList names;
    for (const QJsonValue& name : QJsonDocument::fromJson(file.readAll()).array()) {
        // Only plain names: a damaged list must not send a deletion elsewhere.
        const QString text = name.toString();
        if (!text.isEmpty() && !text.contains(u'/') && !text.contains(u'\\') &&
            text != QStringLiteral("..") && text != QStringLiteral("."))
            names << text;
    }
    return names;
}

// A short wait that keeps the window painting and answering, as the wait for
// the tool does.
void waitBriefly() {
    constexpr auto step = std::chrono::milliseconds(50);
    if (!QCoreApplication::instance()) {
        QThread::msleep(step.count());
        return;
    }
    QEventLoop loop;
    QTimer::singleShot(step, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace

WorkingFolder::Turn::Turn(Turn&& other) noexcept
    : m_releases(std::exchange(other.m_releases, nullptr)), m_held(other.m_held),
      m_problemInPolish(std::move(other.m_problemInPolish)), m_problem(std::move(other.m_problem)) {}

WorkingFolder::Turn::~Turn() {
    if (m_releases)
        m_releases->release();
}

QString WorkingFolder::describe(Reason reason, bool inPolish) {
    switch (reason) {
    case Reason::Missing:
        return inPolish ? QStringLiteral("folder nie istnieje") : QStringLiteral("it does not exist");
    case Reason::NotWritable:
        return inPolish ? QStringLiteral("brak prawa zapisu") : QStringLiteral("it may not be written to");
    case Reason::CannotMake:
        return inPolish ? QStringLiteral("nie można go utworzyć") : QStringLiteral("it cannot be made");
    case Reason::NoFileMade:
        break;
    }
    return inPolish ? QStringLiteral("nie można w nim utworzyć pliku")
                    : QStringLiteral("no file can be made in it");
}

WorkingFolder::WorkingFolder(QString appPath)
    : m_primary(withSeparator(appPath) + QStringLiteral("zlib") + QDir::separator() + QStringLiteral("temp") +
                QDir::separator()),
      m_id(QString::number(QRandomGenerator::global()->generate64(), 16).rightJustified(16, u'0')) {}

WorkingFolder::~WorkingFolder() {
    release();
    if (!m_own)
        return;
    bool filesLeft = false;
    for (const QString& name : std::as_const(m_names)) {
        for (const QString& path : filesOf(name))
            filesLeft = filesLeft || QFileInfo::exists(path);
    }
    if (!filesLeft)
        QFile::remove(claimsFile());
    m_own->unlock();
}

QString WorkingFolder::userFolder() {
    const QString data = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
    if (data.isEmpty())
        return {};
    return withSeparator(data + QStringLiteral("/zlib/temp"));
}

QString WorkingFolder::path() const {
    return m_folder.isEmpty() ? m_primary : m_folder;
}

QString WorkingFolder::claimsFile() const {
    return path() + windowPrefix + m_id + claimsSuffix;
}

WorkingFolder::Turn WorkingFolder::takeForOpen() {
    return takeIn(true);
}

WorkingFolder::Turn WorkingFolder::take() {
    return takeIn(false);
}

bool WorkingFolder::choose(const QString& folder, Reason& reason) {
    if (!QFileInfo(folder).isDir()) {
        reason = Reason::Missing;
        return false;
    }
    // Making this window's own lock is the test that the folder can be used.
    auto own = lockFile(folder + windowPrefix + m_id + lockSuffix);
    if (!own->tryLock(0)) {
        reason = own->error() == QLockFile::PermissionError ? Reason::NotWritable : Reason::NoFileMade;
        return false;
    }
    hide(own->fileName());
    m_own = std::move(own);
    m_folder = folder;
    return true;
}

WorkingFolder::Turn WorkingFolder::takeIn(bool mayFallBack) {
    if (m_turn)
        return Turn(nullptr, true); // the caller's caller holds it and ends it
    if (m_folder.isEmpty()) {
        Reason appReason = Reason::Missing;
        if (!choose(m_primary, appReason)) {
            if (!mayFallBack)
                return Turn(QString(), QString());
            const QString user = userFolder();
            Reason userReason = Reason::CannotMake;
            if (user.isEmpty() || !QDir().mkpath(user) || !choose(user, userReason))
                return Turn(
                    QStringLiteral("Nie można pracować ani w folderze roboczym „%1” (%2), ani w folderze "
                                   "„%3” (%4).")
                        .arg(m_primary, describe(appReason, true), user, describe(userReason, true)),
                    QStringLiteral("Vestrel can work neither in the working folder \"%1\" (%2) nor in "
                                   "\"%3\" (%4).")
                        .arg(m_primary, describe(appReason, false), user, describe(userReason, false)));
        }
    }

    auto turn = lockFile(m_folder + turnFileName);
    const QDeadlineTimer deadline(m_waitLimit);
    while (!tryLockNow(*turn)) {
        if (turn->error() != QLockFile::LockFailedError) {
            const Reason reason = !QFileInfo(m_folder).isDir()                  ? Reason::Missing
                                  : turn->error() == QLockFile::PermissionError ? Reason::NotWritable
                                                                                : Reason::NoFileMade;
            return Turn(QStringLiteral("Nie można pracować w folderze roboczym „%1” (%2).")
                            .arg(m_folder, describe(reason, true)),
                        QStringLiteral("The working folder \"%1\" cannot be used (%2).")
                            .arg(m_folder, describe(reason, false)));
        }
        if (deadline.hasExpired()) {
            qint64 pid = 0;
            QString host;
            QString program;
            const bool known = turn->getLockInfo(&pid, &host, &program);
            const QString seconds =
                QString::number(std::chrono::duration_cast<std::chrono::seconds>(m_waitLimit).count());
            const QString polishWho = known ? QStringLiteral(" (proces %1)").arg(pid) : QString();
            const QString who = known ? QStringLiteral(" (process %1)").arg(pid) : QString();
            return Turn(
                QStringLiteral(
                    "Inne okno programu Vestrel%1 pracuje w folderze roboczym „%2” już ponad %3 s. "
                    "Spróbuj ponownie, gdy skończy.")
                    .arg(polishWho, m_folder, seconds),
                QStringLiteral("Another Vestrel window%1 has been working in the working folder \"%2\" for "
                               "over %3 seconds. Try again when it has finished.")
                    .arg(who, m_folder, seconds));
        }
        waitBriefly();
    }
    hide(turn->fileName());
    m_turn = std::move(turn);
    return Turn(this, true);
}

void WorkingFolder::release() {
    m_turn.reset();
}

QStringList WorkingFolder::filesOf(const QString& name) const {
    const QString copy = path() + name;
    QStringList paths{copy};
    // The last is what the check run of earlier versions made; it may still lie there.
    for (const char* suffix : {".unzlib", ".unzlib.zlib", ".unzlib.zlib.unzlib"})
        paths << copy + QLatin1String(suffix);
    return paths;
}

void WorkingFolder::removeFilesOf(const QString& name) const {
    for (const QString& file : filesOf(name))
        removeIfPresent(file);
}

QSet<QString> WorkingFolder::namesOfOtherWindows() {
    const QDir folder(path());
    QSet<QString> ids;
    // The lock, the list, and a new list that a window killed while writing
    // it left under a name of its own (ids hold no dot).
    for (const QString& file :
         folder.entryList({windowPrefix + u'*'}, QDir::Files | QDir::Hidden | QDir::System))
        ids.insert(file.mid(windowPrefix.size()).section(u'.', 0, 0));
    ids.remove(m_id);
    QSet<QString> names;
    for (const QString& id : std::as_const(ids)) {
        const QString claims = path() + windowPrefix + id + claimsSuffix;
        auto lock = lockFile(path() + windowPrefix + id + lockSuffix);
        if (tryLockNow(*lock)) {
            // That window has ended without cleaning: its files are nobody's.
            for (const QString& name : readClaims(claims))
                removeFilesOf(name);
            QFile::remove(claims);
            for (const QString& unfinished :
                 folder.entryList({windowPrefix + id + claimsSuffix + QStringLiteral(".*")},
                                  QDir::Files | QDir::Hidden | QDir::System))
                QFile::remove(folder.filePath(unfinished));
            lock->unlock();
        } else {
            for (const QString& name : readClaims(claims))
                names.insert(name);
        }
    }
    return names;
}

bool WorkingFolder::writeClaims() const {
    QJsonArray names;
    for (const QString& name : std::as_const(m_names))
        names.append(name);
    QSaveFile file(claimsFile());
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(QJsonDocument(names).toJson(QJsonDocument::Compact)) < 0 || !file.commit())
        return false;
    hide(claimsFile());
    return true;
}

QString WorkingFolder::claim(const QString& gameFileName) {
    const QSet<QString> taken = namesOfOtherWindows();
    QString name = nameFor(gameFileName);
    for (int variant = 2; taken.contains(name); ++variant)
        name = nameFor(gameFileName + u'~' + QString::number(variant));
    if (m_names.contains(name))
        return name;
    m_names.insert(name);
    if (!writeClaims()) {
        m_names.remove(name);
        return {};
    }
    return name;
}

void WorkingFolder::clean() {
    const QDir folder(path());
    if (!folder.exists())
        return;
    const QSet<QString> others = namesOfOtherWindows();
    for (const QString& name : std::as_const(m_names))
        removeFilesOf(name);
    QSet<QString> othersFiles;
    for (const QString& name : others) {
        for (const QString& file : filesOf(name))
            othersFiles.insert(QFileInfo(file).fileName());
    }
    for (const QString& file : folder.entryList(QDir::Files)) {
        if (!file.startsWith(ownPrefix) && !othersFiles.contains(file))
            QFile::remove(folder.filePath(file));
    }
}

QString WorkingFolder::nameFor(const QString& gameFileName) {
    // Every name built on it fits in 255 bytes, the usual limit for one
    // name: the longest is what earlier versions' check run made (19 bytes
    // longer), and 22 bytes more are left to spare, the room the tool's
    // temporary names once took. Counted in UTF-8, the most a
    // name takes on any system: Windows counts UTF-16 units, never more, but
    // its programs may also write to a file system that counts UTF-8 bytes.
    constexpr qsizetype longestSuffix = 19 + 22;
    constexpr qsizetype nameLimit = 255;
    constexpr qsizetype allowed = nameLimit - longestSuffix;
    if (gameFileName.toUtf8().size() <= allowed)
        return gameFileName;
    // The start of the name stays readable; the digest keeps two long names
    // that start alike apart.
    const QString digest = QString::fromLatin1(
        QCryptographicHash::hash(gameFileName.toUtf8(), QCryptographicHash::Sha256).toHex().left(16));
    QString start = gameFileName;
    while (!start.isEmpty() && start.toUtf8().size() > allowed - 1 - digest.size()) {
        start.chop(1);
        if (!start.isEmpty() && start.back().isHighSurrogate())
            start.chop(1);
    }
    return start + u'~' + digest;
}
