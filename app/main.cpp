#include <QApplication>
#include <QLabel>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QLabel placeholder(QStringLiteral("Vestrel: the main window is not built yet."));
    placeholder.setWindowTitle(QStringLiteral("Vestrel"));
    placeholder.show();
    return app.exec();
}
