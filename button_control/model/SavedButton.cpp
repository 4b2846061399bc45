#include "button_control/model/SavedButton.h"

#include "button_control/model/Button_XP.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

bool LoadSavedButton(Button_XP& button, const QByteArray& layoutJson, const QString& instanceName,
                     QString* errorMessage) {
    auto fail = [&](const QString& why) {
        if (errorMessage)
            *errorMessage = why;
        return false;
    };
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(layoutJson, &parseError);
    if (document.isNull())
        return fail(
            QStringLiteral("The saved buttons are not valid JSON: %1.").arg(parseError.errorString()));
    if (!document.isObject())
        return fail(QStringLiteral("The saved buttons must be a JSON object of instances."));
    const QJsonValue instance = document.object().value(instanceName);
    if (!instance.isObject())
        return fail(QStringLiteral("There is no saved button \"%1\".").arg(instanceName));
    const QJsonObject saved = instance.toObject();
    const QString progId = saved.value(QStringLiteral("ProgID")).toString();
    if (progId != Button_XP::ProgID)
        return fail(QStringLiteral("The saved control \"%1\" is a \"%2\", not a \"%3\".")
                        .arg(instanceName, progId, Button_XP::ProgID));
    const int width = saved.value(QStringLiteral("Width")).toInt(0);
    const int height = saved.value(QStringLiteral("Height")).toInt(0);
    if (width <= 0 || height <= 0)
        return fail(QStringLiteral("The saved button \"%1\" has no size.").arg(instanceName));
    QString bagError;
    const auto bag = PropertyBag::fromJson(saved.value(QStringLiteral("Properties")).toArray(), &bagError);
    if (!bag)
        return fail(QStringLiteral("The saved button \"%1\" has a bad %2.").arg(instanceName, bagError));

    // The name first: it is the default caption the saved values are read against.
    button.setObjectName(instanceName);
    button.resize(width, height);
    button.ReadProperties(*bag);
    return true;
}
