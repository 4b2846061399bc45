#include "platform/Platform.h"

#include <QApplication>
#include <QCursor>
#include <QDesktopServices>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QUrl>

#ifdef VESTREL_HAVE_MULTIMEDIA
#include <QSoundEffect>
#elif defined(Q_OS_WIN)
#include <QtCore/qt_windows.h>

#include <mmsystem.h>
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
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return {};
        return QDir::toNativeSeparators(dialog.selectedFiles().constFirst());
    }
};

class QtProcessRunner final : public ProcessRunner {
public:
    int runAndWait(const QString& program, const QStringList& arguments) override {
        if (!QFileInfo(program).isFile())
            return -1;
        QProcess process;
        process.setProgram(program);
        process.setArguments(arguments);
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.setStandardOutputFile(QProcess::nullDevice());
        process.setStandardInputFile(QProcess::nullDevice());
#ifdef Q_OS_WIN
        process.setCreateProcessArgumentsModifier([](QProcess::CreateProcessArguments* args) {
            args->flags |= 0x08000000; /* CREATE_NO_WINDOW */
        });
#endif
        // Wait on the process itself inside a local event loop, so that the
        // window keeps painting and the call returns as soon as the tool ends.
        QEventLoop loop;
        bool failedToStart = false;
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
        if (failedToStart || process.exitStatus() != QProcess::NormalExit)
            return -1;
        return process.exitCode();
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

class QtSoundPlayer final : public SoundPlayer {
public:
    bool playAsync(const QString& path) override {
        const QFileInfo file(path);
        if (path.isEmpty() || !file.isFile())
            return false;
#ifdef VESTREL_HAVE_MULTIMEDIA
        // Owned by the application, so that it goes before the audio backend does.
        if (!m_effect)
            m_effect = new QSoundEffect(qApp);
        m_effect->stop();
        m_effect->setSource(QUrl::fromLocalFile(file.absoluteFilePath()));
        m_effect->play();
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
    QPointer<QSoundEffect> m_effect;
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
    static Platform platform{&messages, &fileDialog, &processes, &shell, &sound, &pointer};
    return platform;
}
