#pragma once

#include <QPoint>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <utility>
#include <vector>

class QWidget;
namespace storage {
class FileCalls;
}

// Vestrel's stand-ins for the few Windows facilities it uses. Each is a small
// interface with a Qt implementation; tests install recording ones instead of
// opening real dialogs, processes, browsers or sounds.

enum class MessageIcon { None, Information, Critical };

class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    // A modal box with one OK button.
    virtual void show(QWidget* owner, const QString& text, const QString& caption, MessageIcon icon) = 0;
    // A modal warning with Yes and No, No the default (Enter) and Escape's
    // answer; true for Yes.
    virtual bool ask(QWidget* owner, const QString& text, const QString& caption) = 0;
};

class OpenFileDialog {
public:
    virtual ~OpenFileDialog() = default;
    // filters: pairs of label and pattern ("All Files (*.*)", "*.*"); a pattern
    // may be empty. Returns the chosen full path, or an empty text on cancel.
    virtual QString getOpenFileName(QWidget* owner, const QString& title, const QString& startFolder,
                                    const std::vector<std::pair<QString, QString>>& filters) = 0;
};

// How a program run ended, with what it wrote to its error output (its last
// few kilobytes), so that a caller can show the program's own reason; for a
// program that could not be started, the system's reason.
struct ProcessOutcome {
    enum class End { Exited, NotStarted, Crashed };
    End end = End::NotStarted;
    int exitCode = -1; // meaningful when end is Exited
    QString errorOutput;

    // The exit code, or -1 when nothing could be started or it did not end normally.
    int code() const { return end == End::Exited ? exitCode : -1; }
    static ProcessOutcome exited(int code, QString errorOutput = {}) {
        return {End::Exited, code, std::move(errorOutput)};
    }
};

class ProcessRunner {
public:
    virtual ~ProcessRunner() = default;
    // Runs program with arguments, window hidden, and returns once it has
    // ended while the GUI keeps processing its events.
    virtual ProcessOutcome runAndWait(const QString& program, const QStringList& arguments) = 0;
};

class Shell {
public:
    virtual ~Shell() = default;
    // Hands a target to the desktop (ShellExecute's role): verb "Open"/"open".
    virtual void shellExecute(QWidget* owner, const QString& verb, const QString& target,
                              const QString& parameters, const QString& directory, int showCommand) = 0;
    // Opens an address in the system's browser (the hyperlink service).
    virtual void openUrl(const QString& address) = 0;
};

class SoundPlayer {
public:
    virtual ~SoundPlayer() = default;
    // Starts playing a wave file and returns at once; a sound started this way
    // replaces one still playing. A missing file plays nothing. True if started.
    virtual bool playAsync(const QString& path) = 0;
};

class PointerProbe {
public:
    virtual ~PointerProbe() = default;
    virtual QPoint cursorPos() const = 0;                         // GetCursorPos, global pixels
    virtual QWidget* widgetAt(const QPoint& globalPos) const = 0; // WindowFromPoint
};

// The classic Windows colour scheme, fixed so that drawing is the same on
// every machine. Index is the system colour index (COLOR_BTNFACE = 15, ...);
// the result is 0x00BBGGRR. In a namespace of its own because Windows'
// winuser.h declares the live GetSysColor with the same signature.
namespace classic {
std::uint32_t GetSysColor(int index);
}

struct Platform {
    MessageBoxes* messages = nullptr;
    OpenFileDialog* fileDialog = nullptr;
    ProcessRunner* processes = nullptr;
    Shell* shell = nullptr;
    SoundPlayer* sound = nullptr;
    PointerProbe* pointer = nullptr;
    storage::FileCalls* files = nullptr; // the calls beneath reading and replacing a game file
};

// The Qt implementations, alive for the whole program.
Platform& defaultPlatform();

// Called once at start-up: a write beyond a file-size limit (RLIMIT_FSIZE)
// then fails with EFBIG, reported like any other failed write, instead of
// ending Vestrel with SIGXFSZ. Nothing to do where there is no such signal.
void ignoreFileSizeSignal();
