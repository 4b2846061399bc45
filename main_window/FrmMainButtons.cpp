#include "main_window/FrmMainButtons.h"

#include "button_control/model/Button_XP.h"
#include "button_control/model/SavedButton.h"

#include <QFile>

namespace {

QByteArray savedButtonsLayout() {
    QFile file(QStringLiteral(":/main_window/FrmMainButtons.json"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

} // namespace

Button_XP* CreateSavedButton(QWidget* parent, const QString& instanceName) {
    // The layout lives in this static library; make sure the linker keeps it.
    Q_INIT_RESOURCE(FrmMainButtons);
    auto* button = new Button_XP(parent);
    if (!LoadSavedButton(*button, savedButtonsLayout(), instanceName)) {
        button->setObjectName(instanceName);
        button->setCaption(instanceName);
    }
    return button;
}
