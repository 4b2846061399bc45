#include "pipeline/Scn_Common_Dialog.h"

#include "platform/Platform.h"

#include <QFileInfo>

namespace {

QString beforeNul(const QString& text) {
    const qsizetype nul = text.indexOf(QChar(u'\0'));
    return nul < 0 ? text : text.left(nul);
}

} // namespace

std::vector<std::pair<QString, QString>> Scn_Common_Dialog::filterPairs(const QString& Filter) {
    std::vector<std::pair<QString, QString>> pairs;
    const QStringList pieces = Filter.split(u'|');
    for (qsizetype i = 0; i < pieces.size(); i += 2) {
        if (pieces[i].isEmpty())
            break;
        pairs.emplace_back(pieces[i], i + 1 < pieces.size() ? pieces[i + 1] : QString());
    }
    return pairs;
}

QString Scn_Common_Dialog::OpenFileName(QWidget* FrmName, const QString& DialogTitle, const QString& DirPath,
                                        const QString& Filter) {
    const QString chosen = m_dialog.getOpenFileName(FrmName, DialogTitle, DirPath, filterPairs(Filter));
    // Taken as the dialog gives it, blanks included: a file name may end in a
    // blank here, and trimming would name another file.
    const QString path = beforeNul(chosen);
    if (path.isEmpty())
        return QStringLiteral("-1");
    m_selectedPath = path;
    return m_selectedPath;
}

QString Scn_Common_Dialog::TitleName() const {
    // QFileInfo knows every separator of the platform: on Windows a path may
    // hold "/" as well as "\\".
    return beforeNul(QFileInfo(m_selectedPath).fileName());
}
