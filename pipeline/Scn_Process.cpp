#include "pipeline/Scn_Process.h"

#include "platform/Platform.h"

namespace {

bool isBlank(QChar c) {
    return c == u' ' || c == u'\t';
}

} // namespace

QStringList Scn_Process::splitCommandLine(const QString& commandLine) {
    QStringList pieces;
    const qsizetype length = commandLine.size();
    qsizetype i = 0;

    // The program name: up to the closing quote, or up to the first blank.
    QString program;
    if (i < length && commandLine[i] == u'"') {
        ++i;
        while (i < length && commandLine[i] != u'"')
            program += commandLine[i++];
        if (i < length)
            ++i;
    } else {
        while (i < length && !isBlank(commandLine[i]))
            program += commandLine[i++];
    }
    if (program.isEmpty() && i == 0)
        return pieces;
    pieces << program;

    while (true) {
        while (i < length && isBlank(commandLine[i]))
            ++i;
        if (i >= length)
            break;
        QString argument;
        bool quoted = false;
        while (i < length && (quoted || !isBlank(commandLine[i]))) {
            const QChar c = commandLine[i];
            if (c == u'\\') {
                qsizetype backslashes = 0;
                while (i < length && commandLine[i] == u'\\') {
                    ++backslashes;
                    ++i;
                }
                if (i < length && commandLine[i] == u'"') {
                    // Pairs of backslashes before a quote stand for one each;
                    // an odd one left over makes the quote a literal one.
                    argument += QString(backslashes / 2, u'\\');
                    if (backslashes % 2 == 1) {
                        argument += u'"';
                        ++i;
                    }
                } else {
                    argument += QString(backslashes, u'\\');
                }
            } else if (c == u'"') {
                if (quoted && i + 1 < length && commandLine[i + 1] == u'"') {
                    // Two quotes inside a quoted part give one literal quote.
                    argument += u'"';
                    i += 2;
                } else {
                    quoted = !quoted;
                    ++i;
                }
            } else {
                argument += c;
                ++i;
            }
        }
        pieces << argument;
    }
    return pieces;
}

int Scn_Process::Run_Process(const QString& Path, int WindowStyle) {
    Q_UNUSED(WindowStyle);
    return run(Path).code();
}

ProcessOutcome Scn_Process::run(const QString& commandLine) {
    QStringList pieces = splitCommandLine(commandLine);
    if (pieces.isEmpty() || pieces.constFirst().isEmpty())
        return {};
    const QString program = pieces.takeFirst();
    return m_runner.runAndWait(program, pieces);
}
