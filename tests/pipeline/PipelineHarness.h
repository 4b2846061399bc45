#pragma once

#include "ball_table/Baza.h"
#include "common/FakePlatform.h"
#include "common/ToolFolder.h"
#include "pipeline/GameFilePipeline.h"

#include <QDir>

// The pipeline on a throw-away application folder with the real tool, a
// recording platform and game files in either form.
struct PipelineHarness {
    ToolFolder tools;
    FakePlatform fake;
    Baza table;
    GameFilePipeline pipeline{table, fake.platform, nullptr, tools.appPath()};

    // A game file holding ballFile, in the given form.
    QString game(const QString& name, const QByteArray& ballFile, const compression::Form& form = {}) const {
        const QByteArray whole = packedGameFile(ballFile, form);
        const QString path = tools.scratch() + name;
        return !whole.isEmpty() && BallFileBytes::writeFile(path, whole) ? path : QString();
    }
    GameFilePipeline::OpenOutcome openPath(const QString& path) {
        fake.fileDialog.answers.push_back(path);
        return pipeline.open();
    }
    QString lastMessage() const {
        return fake.messages.shown.empty() ? QString() : fake.messages.shown.back().text;
    }
    // Every entry of the working folder, hidden ones included, but for the
    // list and lock the open pipeline keeps there while it lives.
    QStringList everyWorkingEntry() const {
        QStringList entries =
            QDir(tools.workingFolder())
                .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
        entries.removeIf(
            [](const QString& entry) { return entry.startsWith(QStringLiteral(".vestrel-window-")); });
        return entries;
    }
};

// A container form with a signature no zlib stream starts with.
inline compression::Form containerForm() {
    return {true, {'V', 'S', 'T', 0x01, 0xFE, 0x00, 'b', '!'}};
}
