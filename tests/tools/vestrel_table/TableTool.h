#pragma once

#include "common/BallFileBytes.h"
#include "common/ProgramFile.h"
#include "pipeline/compression/ZlibStream.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>

#include <functional>
#include <vector>

// Runs the built vestrel-table as a user would, in the C locale.
namespace TableTool {

struct Run {
    int code = -1;
    QByteArray out;
    QByteArray err;
};

inline QString program() {
    return programFile(qEnvironmentVariable("VESTREL_BUILD_DIR") + QStringLiteral("/vestrel-table"));
}

// `input` is what the program reads on standard input.
// `inChild` runs in the started process before the program, to set limits.
inline Run run(const QStringList& arguments, const QByteArray& input = {},
               const std::function<void()>& inChild = {}) {
    QProcess process;
#ifdef Q_OS_UNIX
    if (inChild)
        process.setChildProcessModifier(inChild);
#else
    Q_UNUSED(inChild)
#endif
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    process.setProcessEnvironment(environment);
    process.start(program(), arguments);
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
        return {};
    return {process.exitCode(), process.readAllStandardOutput(), process.readAllStandardError()};
}

struct RawBall {
    QByteArray name; // the name field's bytes before the padding
    std::int16_t id = 1, producer = 5, mode = 1, pole = 0;
};

inline QByteArray table(const std::vector<RawBall>& balls) {
    QByteArray bytes = BallFileBytes::header(std::int32_t(balls.size() * 72));
    for (const RawBall& b : balls)
        bytes += BallFileBytes::record(b.name, b.id, b.producer, b.mode, b.pole);
    return bytes;
}

enum class Form { Table, Stream, Container };

// The table in a game file's form, compressed as the editor compresses.
inline QByteArray inForm(Form form, const QByteArray& table) {
    if (form == Form::Table)
        return table;
    const auto data = reinterpret_cast<const unsigned char*>(table.constData());
    const compression::Result stream = compression::compress({data, std::size_t(table.size())});
    compression::Form zform;
    if (form == Form::Container) {
        zform.container = true;
        zform.signature = {'V', 'B', 'A', 'L', 'L', 0x02, 0x00, 0x7F};
    }
    const auto file = compression::inForm(zform, stream.data, std::uint64_t(table.size()));
    return file ? QByteArray(reinterpret_cast<const char*>(file->data()), qsizetype(file->size()))
                : QByteArray();
}

} // namespace TableTool
