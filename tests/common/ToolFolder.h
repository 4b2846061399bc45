#pragma once

#include "common/BallFileBytes.h"
#include "common/ProgramFile.h"
#include "pipeline/compression/ZlibStream.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

// A throw-away application folder laid out as Vestrel expects beside itself:
// zlib/zlibtool (the built tool) and the working folder zlib/temp/,
// with helpers that make and read compressed game files through the same tool.

struct TestBall {
    QByteArray name; // the name field's bytes; keep it ASCII unless a test means otherwise
    std::int16_t id = 0;
    std::int16_t mode = 0;
    std::int16_t mode2 = 0;
    std::int16_t pole = 0;
};

// The decompressed ball file: the 32-byte header and one 72-byte record per ball.
inline QByteArray ballFileBytes(const std::vector<TestBall>& balls) {
    QByteArray bytes = BallFileBytes::header(std::int32_t(72 * balls.size()));
    for (const TestBall& ball : balls)
        bytes += BallFileBytes::record(ball.name.left(63), ball.id, ball.mode, ball.mode2, ball.pole);
    return bytes;
}

// count balls named "Ball 1", "Ball 2", ... with varied values.
inline std::vector<TestBall> numberedBalls(int count) {
    std::vector<TestBall> balls;
    balls.reserve(count);
    for (int i = 0; i < count; ++i)
        balls.push_back({"Ball " + QByteArray::number(i + 1), std::int16_t(i), std::int16_t(1 + i % 5),
                         std::int16_t(1 << (i % 11)), std::int16_t(-i)});
    return balls;
}

// count balls with names of 8 to 63 letters, digits and blanks drawn from a
// fixed seed, so that the table compresses about as badly as real names can.
inline std::vector<TestBall> variedBalls(int count, std::uint32_t seed = 1964) {
    static const char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789 -";
    std::vector<TestBall> balls;
    balls.reserve(count);
    std::uint32_t state = seed;
    const auto next = [&state] {
        state = state * 1664525u + 1013904223u;
        return state >> 8;
    };
    for (int i = 0; i < count; ++i) {
        TestBall ball;
        const int length = 8 + int(next() % 56);
        for (int k = 0; k < length; ++k)
            ball.name += letters[next() % (sizeof letters - 1)];
        ball.id = std::int16_t(next());
        ball.mode = std::int16_t(next());
        ball.mode2 = std::int16_t(next());
        ball.pole = std::int16_t(next());
        balls.push_back(std::move(ball));
    }
    return balls;
}

// Between Qt's byte arrays and zlibtool's bytes.
inline std::span<const unsigned char> bytesOf(const QByteArray& bytes) {
    return {reinterpret_cast<const unsigned char*>(bytes.constData()), std::size_t(bytes.size())};
}
inline QByteArray qtBytes(const compression::Bytes& bytes) {
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
}

// A game file holding ballFile in the given form, packed by zlibtool's own
// code; empty when it cannot be made.
inline QByteArray packedGameFile(const QByteArray& ballFile, const compression::Form& form = {}) {
    const compression::Result stream = compression::compress(bytesOf(ballFile));
    const auto whole = compression::inForm(form, stream.data, std::uint64_t(ballFile.size()));
    return stream.ok() && whole ? qtBytes(*whole) : QByteArray();
}

class ToolFolder {
public:
    // appFolderName: the application folder's name inside the throw-away
    // folder, so that tests can give it blanks or other awkward letters.
    explicit ToolFolder(const QString& appFolderName = QStringLiteral("app")) {
        if (!m_dir.isValid())
            return;
        m_appPath = m_dir.path() + u'/' + appFolderName + u'/';
        m_valid = QDir().mkpath(workingFolder()) && QDir().mkpath(scratch()) && placeTool();
    }

    static QString builtTool() {
        return programFile(QString::fromLocal8Bit(qgetenv("VESTREL_BUILD_DIR")) +
                           QStringLiteral("/zlib/zlibtool"));
    }

    bool isValid() const { return m_valid && QFileInfo(builtTool()).isExecutable(); }
    QString root() const { return m_dir.path(); }
    // These three have the platform's separators, as the pipeline's own paths do.
    QString appPath() const { return QDir::toNativeSeparators(m_appPath); }
    QString toolPath() const { return programFile(QDir::toNativeSeparators(m_appPath + "zlib/zlibtool")); }
    QString workingFolder() const { return QDir::toNativeSeparators(m_appPath + "zlib/temp/"); }
    // A folder of its own for the files a test makes, outside the working folder.
    QString scratch() const { return m_dir.path() + QStringLiteral("/scratch/"); }

    // The ordinary, visible files of the working folder.
    QStringList workingFiles() const { return QDir(workingFolder()).entryList(QDir::Files); }

    // Compresses ball file bytes with the tool into a game file at path.
    bool makeGameFile(const QString& path, const QByteArray& ballFile) const {
        const QString plain = scratch() + QStringLiteral(".make.unzlib");
        if (!BallFileBytes::writeFile(plain, ballFile) || !runTool({plain}))
            return false;
        QFile::remove(path);
        return QFile::rename(plain + QStringLiteral(".zlib"), path) && QFile::remove(plain);
    }

    // The ball file bytes inside a game file, or nothing when the tool fails on it.
    std::optional<QByteArray> unpackGameFile(const QString& path) const {
        const QString copy = scratch() + QStringLiteral(".unpack");
        QFile::remove(copy);
        QFile::remove(copy + QStringLiteral(".unzlib"));
        if (!QFile::copy(path, copy) || !runTool({copy, QStringLiteral("-d")}))
            return std::nullopt;
        QByteArray bytes = BallFileBytes::readFile(copy + QStringLiteral(".unzlib"));
        QFile::remove(copy);
        QFile::remove(copy + QStringLiteral(".unzlib"));
        return bytes;
    }

private:
    bool placeTool() const {
#ifdef Q_OS_WIN
        return QFile::copy(builtTool(), toolPath()); // no symbolic links there for ordinary users
#else
        return QFile::link(builtTool(), toolPath());
#endif
    }

    bool runTool(const QStringList& arguments) const {
        QProcess tool;
        tool.start(builtTool(), arguments);
        return tool.waitForFinished(60000) && tool.exitStatus() == QProcess::NormalExit &&
               tool.exitCode() == 0;
    }

    QTemporaryDir m_dir;
    QString m_appPath;
    bool m_valid = false;
};
