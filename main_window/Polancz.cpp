#include "main_window/Polancz.h"

#include "platform/Platform.h"

#include <QUrl>

QString WebLinks::captionOf(const QString& address) {
    return QUrl(address).host();
}

void Polancz::Tarnholt_Click() {
    open(WebLinks::makersSite);
}

void Polancz::Quenmark_Click() {
    open(WebLinks::leagueSite);
}

void Polancz::Dorvik_Click() {
    open(WebLinks::authorPage);
}

void Polancz::open(const QString& address) {
    if (m_shell)
        m_shell->shellExecute(&m_mainWindow, QStringLiteral("Open"), address, QString(), QString(), -1);
}
