#include "WindowHarness.h"

#include "button_control/model/Button_XP.h"
#include "main_window/FrameBox.h"
#include "main_window/WindowFonts.h"
#include "platform/Platform.h"

#include <QApplication>
#include <QFontDatabase>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>

namespace {

// The fonts a system without "MS Sans Serif" and without Liberation Sans
// has: the usual configuration with Liberation Sans taken out, so that the
// face can only come from Vestrel's own resources.
void hideLiberationSans(const QString& folder) {
    QFile config(folder + QStringLiteral("/fonts.conf"));
    if (!config.open(QIODevice::WriteOnly))
        return;
    config.write(QStringLiteral(R"(<?xml version="1.0"?>
<!DOCTYPE fontconfig SYSTEM "fonts.dtd">
<fontconfig>
  <include ignore_missing="yes">/etc/fonts/fonts.conf</include>
  <selectfont><rejectfont><pattern>
    <patelt name="family"><string>Liberation Sans</string></patelt>
  </pattern></rejectfont></selectfont>
  <cachedir>%1/cache</cachedir>
</fontconfig>
)")
                     .arg(folder)
                     .toUtf8());
    config.close();
    qputenv("FONTCONFIG_FILE", config.fileName().toLocal8Bit());
}

} // namespace

// Where the design's "MS Sans Serif" is missing, every text of the window is
// in the face Vestrel carries, bold where the design says bold.
class WindowFontsTest : public QObject {
    Q_OBJECT
private slots:
    void everyTextIsInTheFallbackFace() {
        if (QFontDatabase::hasFamily(QStringLiteral("MS Sans Serif")))
            QSKIP("this system has MS Sans Serif, the design's own font");
        WindowHarness h;
        QStringList wrong;
        const auto check = [&](const QString& what, const QFont& font, bool bold) {
            const QFontInfo shown(font);
            // A real bold face, not a regular one thickened, where the system
            // names the face it chose (Windows names none).
            const bool named = !shown.styleName().isEmpty();
            if (shown.family() != WindowFonts::fallbackFamily || shown.bold() != bold ||
                (named && (shown.styleName() == QLatin1String("Bold")) != bold))
                wrong << QStringLiteral("%1: %2 %3").arg(what, shown.family(), shown.styleName());
        };

        for (FrameBox* frame : h.window->findChildren<FrameBox*>()) {
            const QString name = frame->objectName();
            check(name, frame->font(), name != QLatin1String("Frame1") && name != QLatin1String("Frame2"));
        }
        for (const char* label : {"Label1", "Label2"})
            check(QLatin1String(label), h.find<QLabel>(label)->font(), true);
        for (QLineEdit* box : h.window->findChildren<QLineEdit*>())
            check(box->objectName(), box->font(), false);
        check(QStringLiteral("List1"), h.list()->font(), false);
        for (Button_XP* button : h.window->findChildren<Button_XP*>())
            check(button->objectName(), button->font(), false);
        check(QStringLiteral("the menu bar"), h.window->menuBar()->font(), false);
        for (QMenu* menu : h.window->findChildren<QMenu*>())
            check(menu->objectName(), menu->font(), false);
        // The artwork's title names the family itself.
        QVERIFY(QFontDatabase::hasFamily(WindowFonts::fallbackFamily));

        // A message box as the window shows it.
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box) {
                wrong << QStringLiteral("no message box");
                return;
            }
            check(QStringLiteral("a message"),
                  box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"))->font(), false);
            box->accept();
        });
        defaultPlatform().messages->show(h.window.get(), QStringLiteral("Wystąpił błąd"),
                                         QStringLiteral("Vestrel"), MessageIcon::Critical);
        QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join(QStringLiteral("; "))));
    }
};

int main(int argc, char** argv) {
    // Before anything asks the system for its fonts.
    const QTemporaryDir folder;
    hideLiberationSans(folder.path());
    QApplication app(argc, argv);
    WindowFontsTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "window_fonts_test.moc"
