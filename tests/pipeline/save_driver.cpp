// The window's Open and Save for the kill and writers tests: opens a game
// file through the pipeline with the real zlibtool, changes the table and
// saves it, printing a line at each step so that the killer knows where it
// struck. The game file's names are varied, so that the compressed file, and
// the time it takes to write, is large.
//
//   save_driver make <game file> <balls> <zlibtool>   writes a game file of varied balls
//   save_driver save <application folder> <game file> opens, changes, saves
//   save_driver edit <application folder> <game file> <position> <name> yes|no [ms]
//       opens, names the ball at <position> (1 for the first) <name> and,
//       after ms milliseconds as a user would take, saves, answering the
//       question about a file changed elsewhere as told
//   save_driver open <application folder> <game file> opens only
//
// Each step line is "<step> <steady clock in ns>", written straight to the
// file descriptor so that nothing is lost in a buffer when the process dies;
// "asked" marks the question. Messages and questions go to stderr. Exit
// codes: 0 opened (and saved), 1 the open or save failed, 3 the user kept
// the other change.

#include "ball_table/Baza.h"
#include "common/ToolFolder.h"
#include "pipeline/GameFilePipeline.h"
#include "platform/Platform.h"

#include <QCoreApplication>
#include <QProcess>
#include <QThread>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>

namespace {

void step(const char* name) {
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    const std::string line =
        std::string(name) + ' ' +
        std::to_string(std::chrono::duration_cast<std::chrono::nanoseconds>(now).count()) + '\n';
    [[maybe_unused]] const auto written = ::write(STDOUT_FILENO, line.data(), line.size());
}

class AnsweringDialog final : public OpenFileDialog {
public:
    explicit AnsweringDialog(QString path) : m_path(std::move(path)) {}
    QString getOpenFileName(QWidget*, const QString&, const QString&,
                            const std::vector<std::pair<QString, QString>>&) override {
        return m_path;
    }

private:
    QString m_path;
};

class StepRunner final : public ProcessRunner {
public:
    ProcessOutcome runAndWait(const QString& program, const QStringList& arguments) override {
        step("tool-start");
        ProcessOutcome outcome = defaultPlatform().processes->runAndWait(program, arguments);
        step("tool-end");
        return outcome;
    }
};

class PrintedMessages final : public MessageBoxes {
public:
    explicit PrintedMessages(bool answer = false) : m_answer(answer) {}
    void show(QWidget*, const QString& text, const QString&, MessageIcon) override {
        step("message");
        std::fprintf(stderr, "%s\n", qPrintable(text));
    }
    bool ask(QWidget*, const QString& text, const QString&) override {
        step("asked");
        std::fprintf(stderr, "%s\n", qPrintable(text));
        return m_answer;
    }

private:
    bool m_answer;
};

int make(const QString& gameFile, int balls, const QString& tool) {
    const QString plain = gameFile + QStringLiteral(".unzlib");
    if (!BallFileBytes::writeFile(plain, ballFileBytes(variedBalls(balls))))
        return 1;
    QProcess process;
    process.start(tool, {plain});
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0)
        return 1;
    QFile::remove(gameFile);
    return QFile::rename(plain + QStringLiteral(".zlib"), gameFile) && QFile::remove(plain) ? 0 : 1;
}

enum class Edit { None, KillTest, Name };

int openAndSave(const QString& appPath, const QString& gameFile, Edit edit, int position = 0,
                const QString& name = {}, bool answer = false, int thinkMs = 0) {
    AnsweringDialog dialog(gameFile);
    StepRunner runner;
    PrintedMessages messages(answer);
    Platform platform{&messages, &dialog, &runner, nullptr, nullptr, nullptr};
    Baza table;
    GameFilePipeline pipeline(table, platform, nullptr, appPath);
    if (pipeline.open() != GameFilePipeline::OpenOutcome::Loaded)
        return 1;
    step("loaded");
    if (edit == Edit::None)
        return 0;
    if (edit == Edit::KillTest) {
        table.Zmien_Dane(0, 4242, QStringLiteral("Saved while being killed"), 261, 1024);
        table.Zmien_Dane(table.Count() - 1, -7, QStringLiteral("Last ball"), 3, 96);
    } else {
        const int index = position - 1;
        if (index < 0 || index >= table.Count())
            return 2;
        table.Zmien_Dane(index, table.Get_ID(index), name, table.Get_Mode(index), table.Get_Mode2(index));
        QThread::msleep(unsigned(std::max(0, thinkMs)));
    }
    step("saving");
    const GameFilePipeline::SaveOutcome outcome = pipeline.save();
    step("done");
    switch (outcome) {
    case GameFilePipeline::SaveOutcome::Saved:
        return 0;
    case GameFilePipeline::SaveOutcome::Declined:
        return 3;
    default:
        return 1;
    }
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 5 && args[1] == QStringLiteral("make"))
        return make(args[2], args[3].toInt(), args[4]);
    if (args.size() == 4 && args[1] == QStringLiteral("save"))
        return openAndSave(args[2], args[3], Edit::KillTest);
    if ((args.size() == 7 || args.size() == 8) && args[1] == QStringLiteral("edit"))
        return openAndSave(args[2], args[3], Edit::Name, args[4].toInt(), args[5],
                           args[6] == QStringLiteral("yes"), args.value(7).toInt());
    if (args.size() == 4 && args[1] == QStringLiteral("open"))
        return openAndSave(args[2], args[3], Edit::None);
    std::fprintf(stderr,
                 "usage: save_driver make <game file> <balls> <zlibtool>\n"
                 "       save_driver save <application folder> <game file>\n"
                 "       save_driver edit <application folder> <game file> <position> <name> yes|no [ms]\n"
                 "       save_driver open <application folder> <game file>\n");
    return 2;
}
