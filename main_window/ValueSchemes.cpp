#include "main_window/ValueSchemes.h"

#include <QStringList>

#include <array>
#include <utility>

namespace ValueSchemes {
namespace {

using Entry = std::pair<const char*, const char*>;

constexpr std::array producers{
    Entry{"1", "Adidas"}, Entry{"2", "Nike"},     Entry{"3", "Puma"},
    Entry{"4", "Umbro"},  Entry{"5", "Standard"}, Entry{"261", "Extra Konami Ball"},
};

constexpr std::array modes{
    Entry{"1", "Acting The Mode Exibition"},
    Entry{"3", "Acting The Mode Exibition and League?"},
    Entry{"16", "CL Finale 2010"},
    Entry{"96", "EL Official Ball"},
    Entry{"128", "Libertadores Official Ball"},
    Entry{"256", "CL League PowerOrange"},
    Entry{"268", "CL Finale 10"},
    Entry{"512", "SUPER CUP Official Ball"},
    Entry{"1024", "Ligue 1 Official Ball"},
};

template <std::size_t N>
std::optional<QString> lookUp(const std::array<Entry, N>& scheme, const QString& boxText) {
    for (const auto& [value, name] : scheme) {
        if (boxText == QLatin1String(value))
            return QString::fromLatin1(name);
    }
    return std::nullopt;
}

const QString lineBreak = QStringLiteral("\r\n");

} // namespace

std::optional<QString> producerName(const QString& boxText) {
    return lookUp(producers, boxText);
}

std::optional<QString> modeName(const QString& boxText) {
    return lookUp(modes, boxText);
}

QString modeDescription() {
    return QStringList{
        QStringLiteral("#Description of the Value "),
        QStringLiteral(" "),
        QStringLiteral("16 - CL Finale 2010"),
        QStringLiteral("96 - EL Official Ball"),
        QStringLiteral("128 - Libertadores Official Ball"),
        QStringLiteral("256 - CL League PowerOrange"),
        QStringLiteral("268 - CL Finale 10"),
        QStringLiteral("512 - SUPER CUP Official Ball"),
        QStringLiteral("1024 - Ligue 1 Official Ball"),
    }
        .join(lineBreak);
}

QString producerDescription() {
    return QStringList{
        QStringLiteral("#Producent Ball of the Value "),
        QStringLiteral(" "),
        QStringLiteral("1-Adidas"),
        QStringLiteral("2-Nike"),
        QStringLiteral("3-Puma"),
        QStringLiteral("4-Umbro"),
        QStringLiteral("5-Standard"),
        QStringLiteral(" "),
        QStringLiteral("#EXTRA"),
        QStringLiteral(" "),
        QStringLiteral("261-Extra Konami Ball"),
    }
        .join(lineBreak);
}

} // namespace ValueSchemes
