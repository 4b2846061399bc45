#pragma once

#include <QFont>
#include <QString>

// The button's own font object: the attributes a saved button carries. Qt's
// QFont has no character set, and the button must keep the one it was loaded
// with even when another font is assigned, so the attributes live here and
// the widget's QFont is made from them.
struct ButtonFont {
    QString name = QStringLiteral("MS Sans Serif");
    double size = 8.25; // points
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strikethrough = false;
    int weight = 400; // 100 (thin) to 900 (black)
    int charset = 0;

    // Bold and weight describe the same thing; switching bold moves the weight
    // to the regular or the bold value, as a font object does.
    void setBold(bool newBold) {
        if (newBold != bold)
            weight = newBold ? 700 : 400;
        bold = newBold;
    }

    QFont toQFont() const;
    static ButtonFont fromQFont(const QFont& font);

    friend bool operator==(const ButtonFont&, const ButtonFont&) = default;
};
