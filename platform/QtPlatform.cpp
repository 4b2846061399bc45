#include "platform/Platform.h"

#include "pipeline/storage/FileCalls.h"

#include <QApplication>
#include <QCursor>
#include <QDesktopServices>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QStringDecoder>
#include <QThread>
#include <QUrl>

#ifdef VESTREL_HAVE_MULTIMEDIA
#include <QSoundEffect>
#elif defined(Q_OS_WIN)
#include <QtCore/qt_windows.h>

#include <mmsystem.h>
#endif

#include <cerrno>
#ifndef Q_OS_WIN
#include <unistd.h>
#endif

namespace {

class QtMessageBoxes final : public MessageBoxes {
public:
    void show(QWidget* owner, const QString& text, const QString& caption, MessageIcon icon) override {
        QMessageBox box(owner);
        box.setWindowTitle(caption);
        box.setText(text);
        box.setTextFormat(Qt::PlainText);
        box.setStandardButtons(QMessageBox::Ok);
        switch (icon) {
        case MessageIcon::None:
            box.setIcon(QMessageBox::NoIcon);
            break;
        case MessageIcon::Information:
            box.setIcon(QMessageBox::Information);
            break;
        case MessageIcon::Critical:
            box.setIcon(QMessageBox::Critical);
            break;
        }
        box.exec();
    }
    bool ask(QWidget* owner, const QString& text, const QString& caption) override {
        QMessageBox box(owner);
        box.setWindowTitle(caption);
        box.setText(text);
        box.setTextFormat(Qt::PlainText);
        box.setIcon(QMessageBox::Warning);
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::No);
        box.setEscapeButton(QMessageBox::No);
        return box.exec() == QMessageBox::Yes;
    }
};

class QtOpenFileDialog final : public OpenFileDialog {
public:
    QString getOpenFileName(QWidget* owner, const QString& title, const QString& startFolder,
                            const std::vector<std::pair<QString, QString>>& filters) override {
        QStringList qtFilters;
        for (const auto& [label, pattern] : filters) {
            // Qt reads the patterns from the parentheses of each entry. "*.*"
            // means every file, as on Windows, not only names with a dot.
            QStringList patterns = pattern.split(u';', Qt::SkipEmptyParts);
            for (QString& each : patterns) {
                if (each.trimmed() == QStringLiteral("*.*"))
                    each = QStringLiteral("*");
            }
            const QString joined = patterns.isEmpty() ? QStringLiteral("*") : patterns.join(u' ');
            qtFilters << QStringLiteral("%1 (%2)").arg(label, joined);
        }
        // The chooser accepts names of files that do not exist; the caller checks.
        QFileDialog dialog(owner, title, startFolder);
        dialog.setNameFilters(qtFilters);
        // Each entry is then shown by its label alone, as the caller wrote it.
        dialog.setOption(QFileDialog::HideNameFilterDetails);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        // The chooser only chooses: no deleting, renaming or making folders
        // from its context menu or keys.
        dialog.setOption(QFileDialog::ReadOnly);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return {};
        if (const QString typed = typedName(dialog); !typed.isEmpty())
            return QDir::toNativeSeparators(dialog.directory().absoluteFilePath(typed));
        return QDir::toNativeSeparators(dialog.selectedFiles().constFirst());
    }

private:
    // Qt's chooser reads double quotes in a typed name as a list of quoted
    // names ("a" "b"), so that my "best".bin would come back as the file
    // best; one file is chosen here, so a typed name holding a quote is taken
    // as it stands and reaches the caller's own check. A name that is one
    // quoted name as a whole is left to Qt, which reads it right.
    static QString typedName(const QFileDialog& dialog) {
        const auto* edit = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        if (!edit)
            return {};
        const QString text = edit->text();
        const bool oneQuotedName =
            text.size() >= 2 && text.startsWith(u'"') && text.endsWith(u'"') && text.count(u'"') == 2;
        return text.contains(u'"') && !oneQuotedName ? text : QString();
    }
};

// Why a program could not be started. Qt's own text is not to be trusted
// here: when no pipe can be made for lack of file descriptors it says "No
// such file or directory", so the system is asked again.
QString startFailure(const QString& program, const QProcess& process) {
    const QFileInfo file(program);
    if (!file.exists())
        return qt_error_string(ENOENT);
    if (!file.isFile() || !file.isExecutable())
        return qt_error_string(EACCES);
#ifndef Q_OS_WIN
    // As many pipes as a start takes (the failed start has closed its own).
    int ends[4][2];
    int made = 0;
    int error = 0;
    for (; made < 4; ++made) {
        if (::pipe(ends[made]) != 0) {
            error = errno;
            break;
        }
    }
    for (int i = 0; i < made; ++i) {
        ::close(ends[i][0]);
        ::close(ends[i][1]);
    }
    if (error)
        return qt_error_string(error);
#endif
    return process.errorString();
}

class QtProcessRunner final : public ProcessRunner {
public:
    ProcessOutcome runAndWait(const QString& program, const QStringList& arguments) override {
        if (!QFileInfo(program).isFile())
            return {ProcessOutcome::End::NotStarted, -1, startFailure(program, QProcess())};
        QProcess process;
        process.setProgram(program);
        process.setArguments(arguments);
        process.setProcessChannelMode(QProcess::SeparateChannels);
        process.setStandardOutputFile(QProcess::nullDevice());
        process.setStandardInputFile(QProcess::nullDevice());
#ifdef Q_OS_WIN
        process.setCreateProcessArgumentsModifier([](QProcess::CreateProcessArguments* args) {
            args->flags |= 0x08000000; /* CREATE_NO_WINDOW */
        });
#endif
        // Only the end of the error output is kept: a reason is one line, and
        // a misbehaving program must not fill the memory.
        constexpr qsizetype keptErrorOutput = 4096;
        QByteArray errorOutput;
        const auto collect = [&] {
            errorOutput += process.readAllStandardError();
            if (errorOutput.size() > keptErrorOutput)
                errorOutput = errorOutput.right(keptErrorOutput);
        };
        // Wait on the process itself inside a local event loop, so that the
        // window keeps painting and the call returns as soon as the tool ends.
        QEventLoop loop;
        bool failedToStart = false;
        QObject::connect(&process, &QProcess::readyReadStandardError, &loop, collect);
        QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
        QObject::connect(&process, &QProcess::errorOccurred, &loop, [&](QProcess::ProcessError error) {
            if (error == QProcess::FailedToStart) {
                failedToStart = true;
                loop.quit();
            }
        });
        process.start();
        if (!failedToStart && process.state() != QProcess::NotRunning)
            loop.exec();
        // A quit of the application ends the loop early, and then runs no
        // further loop: the wait goes on without events, since a running
        // program has reported nothing yet and must not be killed mid-write.
        if (!failedToStart && process.state() != QProcess::NotRunning)
            process.waitForFinished(-1);
        if (failedToStart)
            return {ProcessOutcome::End::NotStarted, -1, startFailure(program, process)};
        collect();
        ProcessOutcome outcome;
        outcome.end = process.exitStatus() == QProcess::NormalExit ? ProcessOutcome::End::Exited
                                                                   : ProcessOutcome::End::Crashed;
        outcome.exitCode = outcome.end == ProcessOutcome::End::Exited ? process.exitCode() : -1;
#ifdef Q_OS_WIN
        // zlibtool writes its messages (and the paths in them) in UTF-8, which
        // the ANSI code page would garble; another program's output that is
        // not UTF-8 is read in that code page.
        // The kept end may start inside a letter.
        qsizetype start = 0;
        while (errorOutput.size() == keptErrorOutput && start < 3 && start < errorOutput.size() &&
               (uchar(errorOutput[start]) & 0xC0) == 0x80)
            ++start;
        QStringDecoder utf8(QStringDecoder::Utf8);
        outcome.errorOutput = utf8(QByteArrayView(errorOutput).sliced(start));
        if (utf8.hasError())
            outcome.errorOutput = QString::fromLocal8Bit(errorOutput);
#else
        outcome.errorOutput = QString::fromLocal8Bit(errorOutput);
#endif
        return outcome;
    }
};

class QtShell final : public Shell {
public:
    void shellExecute(QWidget*, const QString&, const QString& target, const QString&, const QString&,
                      int) override {
        QDesktopServices::openUrl(QUrl::fromUserInput(target));
    }
    void openUrl(const QString& address) override { QDesktopServices::openUrl(QUrl::fromUserInput(address)); }
};

#ifdef VESTREL_HAVE_MULTIMEDIA
// Sounds are loaded and played on a thread of their own. Loading a file and
// starting the audio output can take long or fail (no sound server, a sound
// that does not decode, a file-size limit on the output's shared memory), and
// a click must never wait for that: playAsync only hands the file over. A
// sound that fails is skipped without a word.
class SoundThread final : public QObject {
public:
    explicit SoundThread(QObject* parent) : QObject(parent) {
        m_thread.setObjectName(QStringLiteral("Vestrel sound"));
        m_worker->moveToThread(&m_thread);
        // The effect, a child of the worker, goes in the thread it lives in.
        connect(&m_thread, &QThread::finished, m_worker, &QObject::deleteLater);
        m_thread.start(QThread::LowPriority);
    }
    ~SoundThread() override {
        m_thread.quit();
        m_thread.wait();
    }

    void play(const QString& file) {
        QObject* worker = m_worker;
        QMetaObject::invokeMethod(
            worker,
            [worker, file] {
                auto* effect = worker->findChild<QSoundEffect*>(QString(), Qt::FindDirectChildrenOnly);
                if (!effect)
                    effect = new QSoundEffect(worker);
                effect->stop();
                effect->setSource(QUrl::fromLocalFile(file));
                effect->play();
            },
            Qt::QueuedConnection);
    }

private:
    QThread m_thread;
    QObject* m_worker = new QObject; // lives in m_thread
};
#endif

class QtSoundPlayer final : public SoundPlayer {
public:
    bool playAsync(const QString& path) override {
        const QFileInfo file(path);
        if (path.isEmpty() || !file.isFile())
            return false;
#ifdef VESTREL_HAVE_MULTIMEDIA
        // Owned by the application, so that it ends before the audio back-end does.
        if (!m_sounds && qApp)
            m_sounds = new SoundThread(qApp);
        if (!m_sounds)
            return false;
        m_sounds->play(file.absoluteFilePath());
        return true;
#elif defined(Q_OS_WIN)
        // Without Qt Multimedia, the system's own player; an asynchronous
        // sound replaces the one still playing, as the buttons expect.
        const QString native = QDir::toNativeSeparators(file.absoluteFilePath());
        return PlaySoundW(reinterpret_cast<const wchar_t*>(native.utf16()), nullptr,
                          SND_FILENAME | SND_ASYNC | SND_NODEFAULT);
#else
        return false;
#endif
    }

private:
#ifdef VESTREL_HAVE_MULTIMEDIA
    QPointer<SoundThread> m_sounds;
#endif
};

class QtPointerProbe final : public PointerProbe {
public:
    QPoint cursorPos() const override { return QCursor::pos(); }
    QWidget* widgetAt(const QPoint& globalPos) const override { return QApplication::widgetAt(globalPos); }
};

} // namespace

Platform& defaultPlatform() {
    static QtMessageBoxes messages;
    static QtOpenFileDialog fileDialog;
    static QtProcessRunner processes;
    static QtShell shell;
    static QtSoundPlayer sound;
    static QtPointerProbe pointer;
    static Platform platform{
        &messages, &fileDialog, &processes, &shell, &sound, &pointer, &storage::systemFileCalls()};
    return platform;
}
