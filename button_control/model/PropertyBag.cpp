#include "button_control/model/PropertyBag.h"

#include <QBuffer>
#include <QJsonObject>
#include <QJsonValue>
#include <QStringList>

#include <cmath>
#include <limits>

namespace {

// Numbers saved under one integer type and read as another are converted when
// they fit; anything else falls back to the read's default.
std::optional<std::int64_t> asWholeNumber(const PropertyValue& value) {
    if (const auto* b = std::get_if<bool>(&value))
        return *b ? -1 : 0; // a saved True is -1
    if (const auto* i = std::get_if<std::int16_t>(&value))
        return *i;
    if (const auto* l = std::get_if<std::int32_t>(&value))
        return *l;
    return std::nullopt;
}

const char* typeName(const PropertyValue& value) {
    switch (value.index()) {
    case 0:
        return "Boolean";
    case 1:
        return "Integer";
    case 2:
        return "Long";
    case 3:
        return "String";
    case 4:
        return "Picture";
    default:
        return "Font";
    }
}

QJsonValue pictureToJson(const PictureRef& picture) {
    if (!picture)
        return QJsonValue::Null;
    QJsonObject object;
    switch (picture->kind) {
    case Picture::Kind::Empty:
        object.insert(QStringLiteral("Kind"), QStringLiteral("Empty"));
        return object;
    case Picture::Kind::Bitmap:
        object.insert(QStringLiteral("Kind"), QStringLiteral("Bitmap"));
        break;
    case Picture::Kind::Icon:
        object.insert(QStringLiteral("Kind"), QStringLiteral("Icon"));
        break;
    }
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!picture->image.isNull())
        picture->image.save(&buffer, "PNG");
    object.insert(QStringLiteral("Png"), QString::fromLatin1(png.toBase64()));
    return object;
}

std::optional<PictureRef> pictureFromJson(const QJsonValue& json, QString& error) {
    if (json.isNull())
        return PictureRef{};
    if (!json.isObject()) {
        error = QStringLiteral("a picture must be null or an object");
        return std::nullopt;
    }
    const QJsonObject object = json.toObject();
    const QString kind = object.value(QStringLiteral("Kind")).toString();
    if (kind == QLatin1String("Empty"))
        return PictureRef{Picture{}};
    if (kind != QLatin1String("Bitmap") && kind != QLatin1String("Icon")) {
        error = QStringLiteral("unknown picture kind \"%1\"").arg(kind);
        return std::nullopt;
    }
    const QByteArray png = QByteArray::fromBase64(object.value(QStringLiteral("Png")).toString().toLatin1());
    QImage image;
    if (!png.isEmpty() && !image.loadFromData(png, "PNG")) {
        error = QStringLiteral("the picture is not a readable PNG image");
        return std::nullopt;
    }
    if (kind == QLatin1String("Bitmap"))
        return PictureRef{
            Picture::bitmap(image.isNull() ? image : image.convertToFormat(QImage::Format_RGB32))};
    return PictureRef{Picture::icon(image.isNull() ? image : image.convertToFormat(QImage::Format_ARGB32))};
}

QJsonObject fontToJson(const ButtonFont& font) {
    QJsonObject object;
    object.insert(QStringLiteral("Name"), font.name);
    object.insert(QStringLiteral("Size"), font.size);
    object.insert(QStringLiteral("Bold"), font.bold);
    object.insert(QStringLiteral("Italic"), font.italic);
    object.insert(QStringLiteral("Underline"), font.underline);
    object.insert(QStringLiteral("Strikethrough"), font.strikethrough);
    object.insert(QStringLiteral("Weight"), font.weight);
    object.insert(QStringLiteral("Charset"), font.charset);
    return object;
}

std::optional<ButtonFont> fontFromJson(const QJsonValue& json, QString& error) {
    if (!json.isObject()) {
        error = QStringLiteral("a font must be an object");
        return std::nullopt;
    }
    const QJsonObject object = json.toObject();
    if (!object.value(QStringLiteral("Name")).isString() ||
        !object.value(QStringLiteral("Size")).isDouble()) {
        error = QStringLiteral("a font needs a \"Name\" and a \"Size\"");
        return std::nullopt;
    }
    ButtonFont font;
    font.name = object.value(QStringLiteral("Name")).toString();
    font.size = object.value(QStringLiteral("Size")).toDouble();
    font.bold = object.value(QStringLiteral("Bold")).toBool(false);
    font.italic = object.value(QStringLiteral("Italic")).toBool(false);
    font.underline = object.value(QStringLiteral("Underline")).toBool(false);
    font.strikethrough = object.value(QStringLiteral("Strikethrough")).toBool(false);
    font.weight = object.value(QStringLiteral("Weight")).toInt(font.bold ? 700 : 400);
    font.charset = object.value(QStringLiteral("Charset")).toInt(0);
    return font;
}

std::optional<std::int64_t> integerFromJson(const QJsonValue& json, std::int64_t low, std::int64_t high) {
    if (!json.isDouble())
        return std::nullopt;
    const double number = json.toDouble();
    if (number != std::floor(number) || number < static_cast<double>(low) ||
        number > static_cast<double>(high))
        return std::nullopt;
    return static_cast<std::int64_t>(number);
}

} // namespace

const PropertyValue* PropertyBag::find(const QString& key) const {
    for (const auto& [name, value] : m_entries)
        if (name == key)
            return &value;
    return nullptr;
}

QStringList PropertyBag::keys() const {
    QStringList result;
    for (const auto& entry : m_entries)
        result << entry.first;
    return result;
}

bool PropertyBag::ReadBoolean(const QString& key, bool defaultValue) const {
    const PropertyValue* value = find(key);
    if (!value)
        return defaultValue;
    const auto number = asWholeNumber(*value);
    return number ? *number != 0 : defaultValue;
}

std::int16_t PropertyBag::ReadInteger(const QString& key, std::int16_t defaultValue) const {
    const PropertyValue* value = find(key);
    if (!value)
        return defaultValue;
    const auto number = asWholeNumber(*value);
    if (!number || *number < std::numeric_limits<std::int16_t>::min() ||
        *number > std::numeric_limits<std::int16_t>::max())
        return defaultValue;
    return static_cast<std::int16_t>(*number);
}

std::int32_t PropertyBag::ReadLong(const QString& key, std::int32_t defaultValue) const {
    const PropertyValue* value = find(key);
    if (!value)
        return defaultValue;
    const auto number = asWholeNumber(*value);
    return number ? static_cast<std::int32_t>(*number) : defaultValue;
}

QString PropertyBag::ReadString(const QString& key, const QString& defaultValue) const {
    const PropertyValue* value = find(key);
    if (!value)
        return defaultValue;
    if (const auto* text = std::get_if<QString>(value))
        return *text;
    if (const auto number = asWholeNumber(*value))
        return QString::number(*number);
    return defaultValue;
}

PictureRef PropertyBag::ReadPicture(const QString& key, const PictureRef& defaultValue) const {
    const PropertyValue* value = find(key);
    if (const auto* picture = value ? std::get_if<PictureRef>(value) : nullptr)
        return *picture;
    return defaultValue;
}

ButtonFont PropertyBag::ReadFont(const QString& key, const ButtonFont& defaultValue) const {
    const PropertyValue* value = find(key);
    if (const auto* font = value ? std::get_if<ButtonFont>(value) : nullptr)
        return *font;
    return defaultValue;
}

void PropertyBag::write(const QString& key, PropertyValue value, const PropertyValue& defaultValue) {
    // A key written again replaces its earlier value in place; written equal
    // to its default it disappears, as if it had never been saved.
    for (auto it = m_entries.begin(); it != m_entries.end(); ++it) {
        if (it->first != key)
            continue;
        if (value == defaultValue)
            m_entries.erase(it);
        else
            it->second = std::move(value);
        return;
    }
    if (value != defaultValue)
        m_entries.emplace_back(key, std::move(value));
}

void PropertyBag::WriteBoolean(const QString& key, bool value, bool defaultValue) {
    write(key, value, defaultValue);
}
void PropertyBag::WriteInteger(const QString& key, std::int16_t value, std::int16_t defaultValue) {
    write(key, value, defaultValue);
}
void PropertyBag::WriteLong(const QString& key, std::int32_t value, std::int32_t defaultValue) {
    write(key, value, defaultValue);
}
void PropertyBag::WriteString(const QString& key, const QString& value, const QString& defaultValue) {
    write(key, value, defaultValue);
}
void PropertyBag::WritePicture(const QString& key, const PictureRef& value, const PictureRef& defaultValue) {
    write(key, value, defaultValue);
}
void PropertyBag::WriteFont(const QString& key, const ButtonFont& value, const ButtonFont& defaultValue) {
    write(key, value, defaultValue);
}

QJsonArray PropertyBag::toJson() const {
    QJsonArray array;
    for (const auto& [key, value] : m_entries) {
        QJsonObject entry;
        entry.insert(QStringLiteral("Key"), key);
        entry.insert(QStringLiteral("Type"), QLatin1String(typeName(value)));
        QJsonValue json;
        if (const auto* b = std::get_if<bool>(&value))
            json = *b;
        else if (const auto number = asWholeNumber(value))
            json = static_cast<qint64>(*number);
        else if (const auto* text = std::get_if<QString>(&value))
            json = *text;
        else if (const auto* picture = std::get_if<PictureRef>(&value))
            json = pictureToJson(*picture);
        else
            json = fontToJson(std::get<ButtonFont>(value));
        entry.insert(QStringLiteral("Value"), json);
        array.append(entry);
    }
    return array;
}

std::optional<PropertyBag> PropertyBag::fromJson(const QJsonArray& array, QString* errorMessage) {
    PropertyBag bag;
    auto fail = [&](int index, const QString& key, const QString& why) -> std::optional<PropertyBag> {
        if (errorMessage) {
            *errorMessage = key.isEmpty() ? QStringLiteral("property %1: %2").arg(index + 1).arg(why)
                                          : QStringLiteral("property \"%1\": %2").arg(key, why);
        }
        return std::nullopt;
    };
    for (int i = 0; i < array.size(); ++i) {
        if (!array.at(i).isObject())
            return fail(i, {}, QStringLiteral("not an object"));
        const QJsonObject entry = array.at(i).toObject();
        const QString key = entry.value(QStringLiteral("Key")).toString();
        if (key.isEmpty())
            return fail(i, {}, QStringLiteral("no \"Key\""));
        if (bag.contains(key))
            return fail(i, key, QStringLiteral("saved twice"));
        const QString type = entry.value(QStringLiteral("Type")).toString();
        const QJsonValue json = entry.value(QStringLiteral("Value"));
        QString error;
        PropertyValue value;
        if (type == QLatin1String("Boolean")) {
            if (!json.isBool())
                return fail(i, key, QStringLiteral("a Boolean must be true or false"));
            value = json.toBool();
        } else if (type == QLatin1String("Integer")) {
            const auto number = integerFromJson(json, std::numeric_limits<std::int16_t>::min(),
                                                std::numeric_limits<std::int16_t>::max());
            if (!number)
                return fail(i, key, QStringLiteral("an Integer must be a whole number from -32768 to 32767"));
            value = static_cast<std::int16_t>(*number);
        } else if (type == QLatin1String("Long")) {
            // Colours are saved as the unsigned 0x800000nn; they are Longs all the same.
            const auto number = integerFromJson(json, std::numeric_limits<std::int32_t>::min(),
                                                std::numeric_limits<std::uint32_t>::max());
            if (!number)
                return fail(i, key, QStringLiteral("a Long must be a 32-bit whole number"));
            value = static_cast<std::int32_t>(static_cast<std::uint32_t>(*number));
        } else if (type == QLatin1String("String")) {
            if (!json.isString())
                return fail(i, key, QStringLiteral("a String must be text"));
            value = json.toString();
        } else if (type == QLatin1String("Picture")) {
            auto picture = pictureFromJson(json, error);
            if (!picture)
                return fail(i, key, error);
            value = std::move(*picture);
        } else if (type == QLatin1String("Font")) {
            auto font = fontFromJson(json, error);
            if (!font)
                return fail(i, key, error);
            value = std::move(*font);
        } else {
            return fail(i, key, QStringLiteral("unknown type \"%1\"").arg(type));
        }
        bag.m_entries.emplace_back(key, std::move(value));
    }
    return bag;
}
