#pragma once

#include <QString>

class QWidget;
class Shell;

// The web pages of the About > Visit menu, in one place: the makers' site,
// the partner league's site, and the author's page on the makers' site.
namespace WebLinks {
inline const QString makersSite = QStringLiteral("http://www.tarnholt.example/");
inline const QString leagueSite = QStringLiteral("http://www.quenmark.example/");
inline const QString authorPage = QStringLiteral("http://www.tarnholt.example/team/dorvik");

// The address as a menu caption: its host, without scheme or path.
QString captionOf(const QString& address);
} // namespace WebLinks

// Opens the Visit menu's pages in the user's browser through the shell.
// Nothing is checked or reported: without a browser the entry does nothing.
class Polancz {
public:
    Polancz(QWidget& mainWindow, Shell* shell) : m_mainWindow(mainWindow), m_shell(shell) {}

    void Tarnholt_Click();
    void Quenmark_Click();
    void Dorvik_Click();

private:
    void open(const QString& address);

    QWidget& m_mainWindow;
    Shell* m_shell;
};
