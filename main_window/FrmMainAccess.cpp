#include "button_control/model/Button_XP.h"
#include "main_window/Artwork.h"
#include "main_window/BallList.h"
#include "main_window/FrameBox.h"
#include "main_window/FrmMain.h"
#include "main_window/ValueLabel.h"

#include <QApplication>
#include <QFocusEvent>
#include <QFocusFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QShortcut>

namespace {

// The caption of the frame a control sits in: what a sighted user reads as
// the control's name.
QString frameCaption(const QWidget* control) {
    const auto* frame = qobject_cast<const FrameBox*>(control->parentWidget());
    return frame ? frame->title() : QString();
}

} // namespace

void FrmMain::setUpKeyboardAndReaders() {
    QWidget* const boxes[] = {m_listView, m_txt[5], m_txt[0], m_txt[2], m_txt[1], m_txt[3], m_textID};
    for (QWidget* box : boxes)
        box->setAccessibleName(frameCaption(box));
    // The value names are no buddies of their boxes: a reader would take a
    // buddy's text ("Nike") as the box's name instead of its frame's caption.
    // They describe the boxes instead.
    for (QLabel* label : {m_label1, m_label2})
        describeBoxOf(label);

    // The picture opens the about box; from the keyboard too.
    m_image1->setFocusPolicy(Qt::StrongFocus);
    m_image1->setAccessibleName(QStringLiteral("About Vestrel"));

    // The list, the boxes as they are read (left to right, top to bottom),
    // Save, then the new ball's box and Add, then the picture.
    QWidget* const order[] = {m_listView, m_txt[5], m_txt[0], m_txt[2], m_txt[1],
                              m_txt[3],   m_save,   m_textID, m_add,    m_image1};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i)
        setTabOrder(order[i], order[i + 1]);
    m_listView->installEventFilter(this);
    for (QLineEdit* box : {m_txt[5], m_txt[0], m_txt[2], m_txt[1], m_txt[3], m_textID})
        box->installEventFilter(this);

    // An empty list or one without a current line shows no focus of its
    // own: a frame round it does.
    auto* listFocus = new QFocusFrame(m_listView);
    listFocus->setWidget(m_listView);
    listFocus->setVisible(m_listView->hasFocus());
    // Focus also moves while the window is taken down: only the list's
    // address is compared, nothing of the window is read.
    connect(qApp, &QApplication::focusChanged, listFocus,
            [list = m_listView, listFocus](QWidget*, QWidget* now) { listFocus->setVisible(now == list); });

    // The menus' captions carry no access keys: F10 opens the menu bar, as on
    // the desktops Vestrel runs on. The first menu opens as a popup, which
    // takes the keys while the focus stays where it was: a chosen command, or
    // Escape, leaves the user in the control they were in, as Alt does.
    auto* openMenus = new QShortcut(QKeySequence(Qt::Key_F10), this);
    connect(openMenus, &QShortcut::activated, this, [this] {
        if (!menuBar()->actions().isEmpty())
            menuBar()->setActiveAction(menuBar()->actions().constFirst());
    });
}

void FrmMain::describeBoxOf(QLabel* label) {
    // A reader announces the value's name together with its box.
    if (const auto* value = qobject_cast<ValueLabel*>(label); value && value->box())
        value->box()->setAccessibleDescription(label->text());
}

// Tab into a box selects its text, and for an empty box Qt reports that empty
// selection and a caret move to assistive technology before it reports the
// focus. Orca then takes the box as focused without naming it: "ID New Ball"
// was never spoken. An empty box has nothing to select, so it is entered as
// by any other means.
bool FrmMain::enterEmptyBoxQuietly(QObject* watched, QEvent* event) {
    auto* box = qobject_cast<QLineEdit*>(watched);
    if (!box || event->type() != QEvent::FocusIn || !box->text().isEmpty() || !box->inputMask().isEmpty())
        return false;
    const Qt::FocusReason reason = static_cast<const QFocusEvent*>(event)->reason();
    if (reason != Qt::TabFocusReason && reason != Qt::BacktabFocusReason && reason != Qt::ShortcutFocusReason)
        return false;
    QFocusEvent entered(QEvent::FocusIn, Qt::OtherFocusReason);
    QCoreApplication::sendEvent(box, &entered);
    return true;
}
