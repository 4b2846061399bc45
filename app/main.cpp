#include "main_window/FrmMain.h"
#include "pipeline/GameFilePipeline.h"
#include "platform/Platform.h"

#include <QApplication>

int main(int argc, char** argv) {
    // Before anything starts a thread or writes a file: a file-size limit
    // must fail a write, never end the program holding the user's edits.
    ignoreFileSizeSignal();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vestrel"));
    FrmMain window(defaultPlatform(), GameFilePipeline::applicationPath());
    window.show();
    return QApplication::exec();
}
