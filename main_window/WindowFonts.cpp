#include "main_window/WindowFonts.h"

#include <QApplication>
#include <QFontDatabase>

// At global scope, where Q_INIT_RESOURCE must be used. The faces live in this
// static library; this makes sure the linker keeps them.
static void keepCarriedFaces() {
    Q_INIT_RESOURCE(WindowFonts);
}

namespace {

const QString designFamily = QStringLiteral("MS Sans Serif");

void addCarriedFaces() {
    keepCarriedFaces();
    for (const char* face : {"Regular", "Bold"}) {
        const QString path =
            QStringLiteral(":/main_window/fonts/LiberationSans-%1.ttf").arg(QLatin1String(face));
        if (QFontDatabase::addApplicationFont(path) < 0)
            qWarning("Vestrel: the font %s could not be loaded", qPrintable(path));
    }
}

} // namespace

namespace WindowFonts {

void install() {
    static const bool installed = [] {
        addCarriedFaces();
        QFont::insertSubstitution(designFamily, fallbackFamily);
        QApplication::setFont(regular());
        return true;
    }();
    Q_UNUSED(installed);
}

QFont regular() {
    QFont font;
    font.setFamilies({designFamily, fallbackFamily});
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(8.25);
    // Set outright, or a box would take the bold of the frame it sits in.
    font.setBold(false);
    return font;
}

QFont bold() {
    QFont font = regular();
    font.setBold(true);
    return font;
}

} // namespace WindowFonts
