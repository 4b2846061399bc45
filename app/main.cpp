#include "main_window/FrmMain.h"
#include "pipeline/GameFilePipeline.h"
#include "platform/Platform.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vestrel"));
    FrmMain window(defaultPlatform(), GameFilePipeline::applicationPath());
    window.show();
    return QApplication::exec();
}
