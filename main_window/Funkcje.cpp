#include "main_window/Funkcje.h"

#include "button_control/model/Button_XP.h"
#include "main_window/FrmMain.h"
#include "main_window/ValueSchemes.h"

#include <QLabel>
#include <QLineEdit>

void Funkcje::NB_ID() {
    m_window.ADD()->setEnabled(!m_window.TextID()->text().isEmpty());
}

void Funkcje::Schemat() {
    if (const auto producer = ValueSchemes::producerName(m_window.Txt(1)->text()))
        m_window.setLabelCaption(m_window.Label1(), *producer);
    if (const auto mode = ValueSchemes::modeName(m_window.Txt(3)->text()))
        m_window.setLabelCaption(m_window.Label2(), *mode);
}
