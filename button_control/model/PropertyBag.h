#pragma once

#include "button_control/drawing/ButtonFace.h"
#include "button_control/model/ButtonFont.h"

#include <QByteArray>
#include <QJsonArray>
#include <QString>

#include <cstdint>
#include <optional>
#include <utility>
#include <variant>
#include <vector>

// The typed value of one saved property. Boolean, Integer (16 bit), Long
// (32 bit), String, Picture (none, empty or an image) and Font.
using PropertyValue = std::variant<bool, std::int16_t, std::int32_t, QString, PictureRef, ButtonFont>;

// A control's saved layout data: named, typed values in the order they were
// written. Reading an absent key yields the default given with the read;
// writing a value equal to the default given with the write leaves the key out,
// so a saved layout holds only what differs from a new instance.
class PropertyBag {
public:
    bool ReadBoolean(const QString& key, bool defaultValue) const;
    std::int16_t ReadInteger(const QString& key, std::int16_t defaultValue) const;
    std::int32_t ReadLong(const QString& key, std::int32_t defaultValue) const;
    QString ReadString(const QString& key, const QString& defaultValue) const;
    PictureRef ReadPicture(const QString& key, const PictureRef& defaultValue) const;
    ButtonFont ReadFont(const QString& key, const ButtonFont& defaultValue) const;

    void WriteBoolean(const QString& key, bool value, bool defaultValue);
    void WriteInteger(const QString& key, std::int16_t value, std::int16_t defaultValue);
    void WriteLong(const QString& key, std::int32_t value, std::int32_t defaultValue);
    void WriteString(const QString& key, const QString& value, const QString& defaultValue);
    void WritePicture(const QString& key, const PictureRef& value, const PictureRef& defaultValue);
    void WriteFont(const QString& key, const ButtonFont& value, const ButtonFont& defaultValue);

    bool contains(const QString& key) const { return find(key) != nullptr; }
    const PropertyValue* find(const QString& key) const;
    const std::vector<std::pair<QString, PropertyValue>>& entries() const { return m_entries; }
    QStringList keys() const;
    bool isEmpty() const { return m_entries.empty(); }

    // Stored form: a JSON array of {"Key", "Type", "Value"} objects in write
    // order. Pictures are PNG in base64, fonts an object of their attributes.
    QJsonArray toJson() const;
    // Reads what toJson wrote. On malformed data returns no bag and says why
    // in errorMessage; nothing is half-read.
    static std::optional<PropertyBag> fromJson(const QJsonArray& array, QString* errorMessage = nullptr);

    friend bool operator==(const PropertyBag&, const PropertyBag&) = default;

private:
    void write(const QString& key, PropertyValue value, const PropertyValue& defaultValue);

    std::vector<std::pair<QString, PropertyValue>> m_entries;
};
