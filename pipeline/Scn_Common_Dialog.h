#pragma once

#include <QString>

#include <utility>
#include <vector>

class OpenFileDialog;
class QWidget;

// The open-file dialog of File > Open: turns a filter written with "|"
// separators into pairs of label and pattern, shows the dialog and gives back
// the chosen path, or "-1" when nothing was chosen. The pipeline makes a
// fresh one for every Open.
class Scn_Common_Dialog {
public:
    explicit Scn_Common_Dialog(OpenFileDialog& dialog) : m_dialog(dialog) {}

    // DirPath is the folder the dialog starts in. Paths of any length are
    // accepted: there is no fixed-size buffer to overflow.
    QString OpenFileName(QWidget* FrmName, const QString& DialogTitle, const QString& DirPath,
                         const QString& Filter);

    // The file-name part of Selected_Path: the text after its last separator
    // ("/" here, a backslash on Windows), cut before a NUL if it holds one.
    QString TitleName() const;

    // The path chosen in this object's last dialog that ended with a choice.
    QString Selected_Path() const { return m_selectedPath; }

    // "a|b|c|d" gives (a, b) and (c, d). A label without a pattern gets an
    // empty one; an empty label ends the list, as the Windows dialog reads it.
    static std::vector<std::pair<QString, QString>> filterPairs(const QString& Filter);

private:
    OpenFileDialog& m_dialog;
    QString m_selectedPath;
};
