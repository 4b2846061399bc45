#pragma once

#include "common/FailingFileCalls.h"
#include "platform/Platform.h"

#include <QPoint>
#include <QStringList>

#include <deque>
#include <functional>
#include <utility>
#include <vector>

// Recording stand-ins for the platform layer: tests see every message box,
// dialog, process, shell call and sound instead of getting real ones.

struct ShownMessage {
    QString text;
    QString caption;
    MessageIcon icon;
};

class RecordingMessageBoxes final : public MessageBoxes {
public:
    void show(QWidget*, const QString& text, const QString& caption, MessageIcon icon) override {
        shown.push_back({text, caption, icon});
        if (onShow)
            onShow(shown.back());
    }
    // A question is recorded in `asked` and answered from `answers`, No when
    // they run out.
    bool ask(QWidget*, const QString& text, const QString&) override {
        asked << text;
        if (onAsk)
            onAsk(text);
        if (answers.empty())
            return false;
        const bool answer = answers.front();
        answers.pop_front();
        return answer;
    }
    std::vector<ShownMessage> shown;
    std::function<void(const ShownMessage&)> onShow;
    QStringList asked;
    std::function<void(const QString&)> onAsk;
    std::deque<bool> answers;
};

class ScriptedFileDialog final : public OpenFileDialog {
public:
    QString getOpenFileName(QWidget*, const QString& title, const QString& startFolder,
                            const std::vector<std::pair<QString, QString>>& filters) override {
        lastTitle = title;
        lastStartFolder = startFolder;
        lastFilters = filters;
        ++calls;
        if (answers.empty())
            return {};
        QString answer = answers.front();
        answers.pop_front();
        return answer;
    }
    std::deque<QString> answers; // an empty text stands for a cancel
    QString lastTitle;
    QString lastStartFolder;
    std::vector<std::pair<QString, QString>> lastFilters;
    int calls = 0;
};

struct RecordedRun {
    QString program;
    QStringList arguments;
};

// Records every run and hands it to a real runner (or to a test's own
// function), so tests can check the exact command and still get the result.
// A replacement gives an exit code (-1: the program did not end normally);
// a fullReplacement gives the whole outcome, error output included.
class RecordingProcessRunner final : public ProcessRunner {
public:
    explicit RecordingProcessRunner(ProcessRunner* forwardTo = nullptr) : m_forwardTo(forwardTo) {}
    ProcessOutcome runAndWait(const QString& program, const QStringList& arguments) override {
        runs.push_back({program, arguments});
        if (fullReplacement)
            return fullReplacement(program, arguments);
        if (replacement) {
            const int code = replacement(program, arguments);
            return code == -1 ? ProcessOutcome{ProcessOutcome::End::Crashed, -1, {}}
                              : ProcessOutcome::exited(code);
        }
        return m_forwardTo ? m_forwardTo->runAndWait(program, arguments) : ProcessOutcome{};
    }
    std::vector<RecordedRun> runs;
    std::function<int(const QString&, const QStringList&)> replacement;
    std::function<ProcessOutcome(const QString&, const QStringList&)> fullReplacement;

private:
    ProcessRunner* m_forwardTo;
};

struct ShellCall {
    QString verb;
    QString target;
    QString parameters;
    QString directory;
    int showCommand;
};

class RecordingShell final : public Shell {
public:
    void shellExecute(QWidget*, const QString& verb, const QString& target, const QString& parameters,
                      const QString& directory, int showCommand) override {
        executed.push_back({verb, target, parameters, directory, showCommand});
    }
    void openUrl(const QString& address) override { openedUrls << address; }
    std::vector<ShellCall> executed;
    QStringList openedUrls;
};

class RecordingSoundPlayer final : public SoundPlayer {
public:
    bool playAsync(const QString& path) override {
        played << path;
        return false;
    }
    QStringList played;
};

// A pointer the test moves by hand, over a widget the test names.
class VirtualPointer final : public PointerProbe {
public:
    QPoint cursorPos() const override { return position; }
    QWidget* widgetAt(const QPoint&) const override { return widgetUnderPointer; }
    QPoint position;
    QWidget* widgetUnderPointer = nullptr;
};

// All of the above in one place; processes go to the real runner unless a
// test replaces them, and file calls to the system's unless a test makes
// one of them fail.
struct FakePlatform {
    RecordingMessageBoxes messages;
    ScriptedFileDialog fileDialog;
    RecordingProcessRunner processes{defaultPlatform().processes};
    RecordingShell shell;
    RecordingSoundPlayer sound;
    VirtualPointer pointer;
    FailingFileCalls files;
    Platform platform{&messages, &fileDialog, &processes, &shell, &sound, &pointer, &files};
};
