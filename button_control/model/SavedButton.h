#pragma once

#include <QByteArray>
#include <QString>

class Button_XP;

// Saved buttons of a window layout, as a JSON document:
//   { "<instance name>": { "ProgID": "Vestrel.Button_XP", "Width": w, "Height": h,
//                          "Properties": [ <PropertyBag::toJson> ] }, ... }
//
// Loads the named instance into button: its object name becomes the instance
// name, its size the saved one, and its properties are read from the saved
// values. On bad data returns false with the reason in errorMessage and leaves
// the button as it was.
bool LoadSavedButton(Button_XP& button, const QByteArray& layoutJson, const QString& instanceName,
                     QString* errorMessage = nullptr);
