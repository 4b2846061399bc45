#pragma once

#include <QString>

class Button_XP;
class QWidget;

// Creates one of the main window's two saved buttons, "Cmd_Zapisz" (Save) or
// "ADD" (Add), as a child of parent with its saved name, size and properties.
// The saved layout is built into the program, so this only fails for an
// unknown name; the button is then a new one named instanceName.
Button_XP* CreateSavedButton(QWidget* parent, const QString& instanceName);
