#pragma once

#include <QPushButton>

// Interim push button with the interface the main window uses (Click,
// Enabled, Caption), until the owner-drawn control replaces it.
class Button_XP : public QPushButton {
    Q_OBJECT
public:
    explicit Button_XP(QWidget* parent = nullptr) : QPushButton(parent) {
        connect(this, &QPushButton::clicked, this, &Button_XP::Click);
    }

    QString Caption() const { return text(); }
    void setCaption(const QString& New_Caption) { setText(New_Caption); }
    bool Enabled() const { return isEnabled(); }

signals:
    void Click();
};
