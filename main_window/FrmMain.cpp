#include "main_window/FrmMain.h"

#include "ball_table/EditRules.h"
#include "ball_table/NumberText.h"
#include "button_control/model/Button_XP.h"
#include "main_window/Artwork.h"
#include "main_window/BallList.h"
#include "main_window/FrameBox.h"
#include "main_window/FrmMainButtons.h"
#include "main_window/ValueLabel.h"
#include "main_window/ValueSchemes.h"
#include "main_window/WindowFonts.h"

#include <QAction>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QDir>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QValidator>

#include <algorithm>

namespace {

const QString applicationTitle = QStringLiteral("Vestrel");

void paintWhite(QWidget* widget) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, Qt::white);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

FrameBox* frame(QWidget* container, const char* name, const QString& caption, const QRect& geometry,
                const QFont& font) {
    auto* box = new FrameBox(caption, container);
    box->setObjectName(QLatin1String(name));
    box->setGeometry(geometry);
    box->setFont(font);
    return box;
}

QLineEdit* textBox(QWidget* container, const QString& name, const QRect& geometry, Qt::Alignment alignment) {
    auto* box = new QLineEdit(container);
    box->setObjectName(name);
    box->setGeometry(geometry);
    box->setFont(WindowFonts::regular());
    box->setAlignment(alignment);
    return box;
}

QLabel* valueLabel(QWidget* container, const char* name, QLineEdit* box) {
    auto* label = new ValueLabel(QStringLiteral("..."), box, container);
    label->setObjectName(QLatin1String(name));
    label->setFont(WindowFonts::bold());
    label->move(48, 16);
    label->setAutoFillBackground(false);
    label->setAttribute(Qt::WA_TranslucentBackground);
    label->adjustSize();
    return label;
}

// The name box takes only what a name field can hold, as it is typed or
// pasted: a decomposed accent joins its letter, a line break becomes a space,
// other control characters are left out, and a character the code page
// cannot represent turns into '?' as it would on saving, so the box shows
// exactly what Save writes.
class StorableNameValidator final : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int& pos) const override {
        const QString kept = typedName(input);
        if (kept != input) {
            // The cursor stays after what was before it, however that changed.
            pos = static_cast<int>(std::min(typedName(QStringView(input).left(pos)).size(), kept.size()));
            input = kept;
        }
        return Acceptable;
    }
};

} // namespace

FrmMain::FrmMain(Platform& platform, const QString& appPath, QWidget* parent)
    : QMainWindow(parent), m_platform(platform),
      m_baza([this] { return m_textID ? m_textID->text() : QString(); }),
      m_pipeline(m_baza, platform, this, appPath), m_polancz(*this, platform.shell) {
    QDir::setCurrent(appPath);
    // Before anything is drawn or measured in them.
    WindowFonts::install();
    setObjectName(QStringLiteral("FrmMain"));
    setWindowTitle(QStringLiteral("Vestrel  v 1.0.2"));
    setWindowIcon(Artwork::windowIcon());
    setFont(WindowFonts::regular());
    buildControls();
    buildMenus();
    setUpKeyboardAndReaders();
    // The controls have fixed places: the window keeps the size they need.
    layout()->setSizeConstraint(QLayout::SetFixedSize);
}

FrmMain::~FrmMain() = default;

void FrmMain::buildControls() {
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("ClientArea"));
    client->setFixedSize(814, 411);
    paintWhite(client);
    setCentralWidget(client);

    auto* frame1 = frame(client, "Frame1", QStringLiteral("List"), {8, 8, 353, 393}, WindowFonts::regular());
    m_listModel = new BallListModel(this);
    m_listView = new BallListView(frame1);
    m_listView->setObjectName(QStringLiteral("List1"));
    m_listView->setGeometry(8, 16, 337, 368);
    m_listView->setFont(WindowFonts::regular());
    m_listView->setModel(m_listModel);
    connect(m_listView->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { List1_Click(); });
    connect(m_listView, &BallListView::mouseDown, this, &FrmMain::List1_MouseDown);

    m_valueFrame =
        frame(client, "Frame2", QStringLiteral("Value"), {368, 8, 441, 393}, WindowFonts::regular());
    auto* picture1 = new QWidget(m_valueFrame);
    picture1->setObjectName(QStringLiteral("Picture1"));
    picture1->setGeometry(8, 16, 425, 369);
    paintWhite(picture1);

    const QFont bold = WindowFonts::bold();
    const QRect numberBox(8, 16, 41, 19);
    auto* frame7 = frame(picture1, "Frame7", QStringLiteral("Index"), {8, 8, 57, 41}, bold);
    m_txt[5] = textBox(frame7, QStringLiteral("Txt5"), numberBox, Qt::AlignCenter);
    auto* frameId = frame(picture1, "Frame3_0", QStringLiteral("ID Ball"), {72, 8, 57, 41}, bold);
    m_txt[0] = textBox(frameId, QStringLiteral("Txt0"), numberBox, Qt::AlignCenter);
    auto* frameName = frame(picture1, "Frame3_2", QStringLiteral("Name Ball"), {8, 56, 377, 41}, bold);
    m_txt[2] = textBox(frameName, QStringLiteral("Txt2"), {8, 16, 361, 21}, Qt::AlignLeft | Qt::AlignVCenter);
    m_txt[2]->setMaxLength(maxNameBytes);
    m_txt[2]->setValidator(new StorableNameValidator(m_txt[2]));

    auto* frame8 = frame(picture1, "Frame8", QStringLiteral("Mode"), {8, 104, 305, 105}, bold);
    auto* frame9 = frame(frame8, "Frame9", QStringLiteral("Producent Ball"), {8, 16, 289, 41}, bold);
    m_txt[1] = textBox(frame9, QStringLiteral("Txt1"), {8, 16, 33, 19}, Qt::AlignCenter);
    m_label1 = valueLabel(frame9, "Label1", m_txt[1]);
    auto* frame10 = frame(frame8, "Frame10", QStringLiteral("Mode"), {8, 56, 289, 41}, bold);
    m_txt[3] = textBox(frame10, QStringLiteral("Txt3"), {8, 16, 33, 19}, Qt::AlignCenter);
    m_label2 = valueLabel(frame10, "Label2", m_txt[3]);

    for (const int index : {0, 1, 2, 3, 5})
        connect(m_txt[index], &QLineEdit::textChanged, this, [this, index] { Txt_Change(index); });

    auto* frame4 = frame(picture1, "Frame4", QStringLiteral("Add Ball"), {312, 104, 105, 105}, bold);
    auto* frame5 = frame(frame4, "Frame5", QStringLiteral("ID New Ball"), {8, 16, 89, 41}, bold);
    m_textID = textBox(frame5, QStringLiteral("TextID"), {8, 16, 73, 19}, Qt::AlignCenter);
    connect(m_textID, &QLineEdit::textChanged, this, [this] { TextID_Change(); });
    m_textID->installEventFilter(this);

    m_image1 = new PictureBox(picture1);
    m_image1->setObjectName(QStringLiteral("Image1"));
    m_image1->setGeometry(64, 200, Artwork::pictureSize.width(), Artwork::pictureSize.height());
    m_image1->setArtwork(&Artwork::ballPicture);
    connect(m_image1, &PictureBox::clicked, this, [this] { Image1_Click(); });

    createButtons(picture1, frame4);
    // The picture lies under the Add frame's lower edge; the frames and the
    // buttons stay on top of it.
    m_image1->lower();
}

void FrmMain::createButtons(QWidget* picture1, QWidget* frame4) {
    // Both buttons come from their saved values (name, size, style, font,
    // pointer, Add disabled); the window only places them and takes Click.
    const auto place = [this](QWidget* container, const char* name, const QPoint& position) {
        Button_XP* button = CreateSavedButton(container, QLatin1String(name));
        button->setPlatform(m_platform);
        button->move(position);
        return button;
    };

    m_save = place(picture1, "Cmd_Zapisz", {152, 24});
    connect(m_save, &Button_XP::Click, this, [this] { Cmd_Zapisz_Click(); });
    m_add = place(frame4, "ADD", {8, 64});
    connect(m_add, &Button_XP::Click, this, [this] { ADD_Click(); });
}

void FrmMain::buildMenus() {
    auto addAction = [this](QMenu* menu, const char* name, const QString& caption) {
        QAction* action = menu->addAction(caption);
        action->setObjectName(QLatin1String(name));
        return action;
    };
    auto addSeparator = [](QMenu* menu, const char* name) {
        menu->addSeparator()->setObjectName(QLatin1String(name));
    };

    QMenu* file = menuBar()->addMenu(QStringLiteral("File"));
    file->setObjectName(QStringLiteral("MnuFile"));
    QAction* open = addAction(file, "MnuFileOpen", QStringLiteral("&Open"));
    open->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    connect(open, &QAction::triggered, this, [this] { MnuFileOpen_Click(); });
    addSeparator(file, "mnuSep1");
    m_saveAction = addAction(file, "MnuSaveFile", QStringLiteral("&Save"));
    m_saveAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    m_saveAction->setEnabled(false);
    connect(m_saveAction, &QAction::triggered, this, [this] { MnuSaveFile_Click(); });
    addSeparator(file, "MnuSep2");
    QAction* quit = addAction(file, "mnuQuit", QStringLiteral("&Quit"));
    quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    connect(quit, &QAction::triggered, this, [this] { mnuQuit_Click(); });

    QMenu* info = menuBar()->addMenu(QStringLiteral("Info"));
    info->setObjectName(QStringLiteral("Info"));
    QMenu* description = info->addMenu(QStringLiteral("Description"));
    description->setObjectName(QStringLiteral("Description"));
    connect(addAction(description, "Mode", QStringLiteral("Mode")), &QAction::triggered, this,
            [this] { Mode_Click(); });
    addSeparator(description, "MnuSep3");
    connect(addAction(description, "Producent", QStringLiteral("Producent Ball")), &QAction::triggered, this,
            [this] { Producent_Click(); });

    QMenu* about = menuBar()->addMenu(QStringLiteral("About"));
    about->setObjectName(QStringLiteral("About"));
    QMenu* visit = about->addMenu(QStringLiteral("Visit"));
    visit->setObjectName(QStringLiteral("Visit"));
    connect(addAction(visit, "cmdTarnholt", WebLinks::captionOf(WebLinks::makersSite)), &QAction::triggered,
            this, [this] { cmdTarnholt_Click(); });
    addSeparator(visit, "MnuSep4");
    connect(addAction(visit, "cmdQuenmark", WebLinks::captionOf(WebLinks::leagueSite)), &QAction::triggered,
            this, [this] { cmdQuenmark_Click(); });
    addSeparator(visit, "MnuSep5");
    connect(addAction(visit, "cmd_Dorvik", QStringLiteral("Developed by Dorvik")), &QAction::triggered, this,
            [this] { cmd_Dorvik_Click(); });
}

QLineEdit* FrmMain::Txt(int index) const {
    return index >= 0 && index < static_cast<int>(m_txt.size()) ? m_txt[index] : nullptr;
}

void FrmMain::setLabelCaption(QLabel* label, const QString& caption) {
    if (label->text() == caption)
        return;
    label->setText(caption);
    label->adjustSize();
    describeBoxOf(label);
}

int FrmMain::ListIndex() const {
    const QModelIndexList selected = m_listView->selectionModel()->selectedRows();
    return selected.isEmpty() ? -1 : selected.constFirst().row();
}

void FrmMain::setListIndex(int row) {
    if (row < 0 || row >= m_listModel->count()) {
        m_listView->selectionModel()->clear();
        return;
    }
    const QModelIndex item = m_listModel->index(row);
    m_listView->selectionModel()->setCurrentIndex(item, QItemSelectionModel::ClearAndSelect);
    m_listView->scrollTo(item);
}

int FrmMain::ListCount() const {
    return m_listModel->count();
}

QString FrmMain::ListItem(int row) const {
    return m_listModel->line(row);
}

void FrmMain::List1_Click() {
    const int selected = ListIndex();
    if (selected < 0)
        return;
    if (m_valueFrame->isHidden())
        m_valueFrame->show();
    m_currentIndex = selected;
    setFieldsEnabled(true);
    m_fillingFields = true;
    m_txt[0]->setText(QString::number(m_baza.Get_ID(m_currentIndex)));
    m_txt[1]->setText(QString::number(m_baza.Get_Mode(m_currentIndex)));
    m_txt[2]->setText(m_baza.Get_Nazwa(m_currentIndex));
    m_txt[3]->setText(QString::number(m_baza.Get_Mode2(m_currentIndex)));
    m_txt[5]->setText(QString::number(selected + 1));
    m_funkcje.NB_ID();
    m_funkcje.Schemat();
    m_fillingFields = false;
    m_itemSelected = true;
}

void FrmMain::List1_MouseDown(int button, Qt::KeyboardModifiers, int, int) {
    // The summary is of the ball the boxes show; a newly opened list shows
    // none until one is picked.
    if (!m_itemSelected || ListIndex() < 0 || button != 2)
        return;
    const QString summary =
        QStringList{
            QStringLiteral("Index = ") + m_txt[5]->text(),
            QStringLiteral("ID = ") + m_txt[0]->text(),
            QStringLiteral("Name = ") + m_txt[2]->text(),
            QStringLiteral("Producent Ball = ") + m_label1->text(),
        }
            .join(QStringLiteral("\r\n"));
    showMessage(summary, applicationTitle, MessageIcon::None);
}

void FrmMain::Txt_Change(int) {
    if (m_fillingFields)
        return;
    // Only the selected ball of the list on show is edited: before the first
    // selection in a freshly loaded list the boxes belong to no ball of it.
    const int selected = ListIndex();
    if (selected >= 0) {
        const std::int16_t id = fieldValue(m_txt[0]->text());
        const std::int16_t producer = fieldValue(m_txt[1]->text());
        // A name read with control characters shows them as spaces in the
        // box; until the user edits it, the table keeps the name's own bytes.
        const QString stored = m_baza.Get_Nazwa(m_currentIndex);
        const QString name = m_txt[2]->text() == typedName(stored) ? stored : m_txt[2]->text();
        const std::int16_t mode = fieldValue(m_txt[3]->text());
        if (m_baza.Zmien_Dane(m_currentIndex, id, name, producer, mode)) {
            // The line shows the name as the table holds it, which Save writes.
            const QString line = listLine(selected + 1, m_baza.Get_Nazwa(m_currentIndex));
            if (m_listModel->line(m_currentIndex) != line)
                m_listModel->setLine(m_currentIndex, line);
        }
    }
    m_funkcje.Schemat();
}

void FrmMain::TextID_Change() {
    m_funkcje.NB_ID();
}

void FrmMain::TextID_Click() {
    m_funkcje.NB_ID();
}

void FrmMain::ADD_Click() {
    // An add while the tool works on the table's files would race the open
    // or save that is still running.
    if (m_pipeline.busy())
        return;
    // Positions are 16-bit: a full list takes no further ball.
    const std::int16_t added = m_listModel->count() < maxBallCount ? m_baza.Dodaj_Nowy() : 0;
    if (added < 1) {
        showMessage(QStringLiteral("Add Function Error"), QStringLiteral("ID"), MessageIcon::Critical);
        return;
    }
    m_listModel->append(QString::number(added));
    setListIndex(m_listModel->count() - 1);
    m_txt[1]->setText(QString::number(newBallProducer));
    m_txt[3]->setText(QString::number(newBallMode));
}

void FrmMain::Cmd_Zapisz_Click() {
    m_pipeline.save();
    closeIfRequested();
}

void FrmMain::MnuFileOpen_Click() {
    switch (m_pipeline.open()) {
    case GameFilePipeline::OpenOutcome::Loaded:
        m_saveAction->setEnabled(true);
        fillList();
        clearFields();
        break;
    case GameFilePipeline::OpenOutcome::Failed:
        forgetFailedFile();
        break;
    case GameFilePipeline::OpenOutcome::Cancelled:
    case GameFilePipeline::OpenOutcome::Busy:
    case GameFilePipeline::OpenOutcome::NotFound:
    case GameFilePipeline::OpenOutcome::Refused:
        break;
    }
    closeIfRequested();
}

void FrmMain::closeIfRequested() {
    if (m_closeRequested && !m_pipeline.busy()) {
        m_closeRequested = false;
        close();
    }
}

void FrmMain::MnuSaveFile_Click() {
    Cmd_Zapisz_Click();
}

void FrmMain::mnuQuit_Click() {
    close();
}

void FrmMain::fillList() {
    QStringList lines;
    const std::int32_t count = m_baza.Count();
    lines.reserve(count);
    for (std::int32_t record = 0; record < count; ++record)
        lines.append(listLine(record + 1, m_baza.Get_Nazwa(record)));
    m_listModel->setLines(std::move(lines));
}

// The table is empty after a failed open: nothing of the earlier file may be
// shown, edited or saved over the newly chosen one.
void FrmMain::forgetFailedFile() {
    m_saveAction->setEnabled(false);
    m_listModel->clear();
    clearFields();
}

// A new list has no ball selected: the boxes show none and stay greyed out
// until one is picked, so nothing can be typed that no ball would receive.
void FrmMain::clearFields() {
    m_fillingFields = true;
    for (QLineEdit* box : m_txt) {
        if (box)
            box->clear();
    }
    m_fillingFields = false;
    setLabelCaption(m_label1, QStringLiteral("..."));
    setLabelCaption(m_label2, QStringLiteral("..."));
    setFieldsEnabled(false);
}

void FrmMain::setFieldsEnabled(bool enabled) {
    for (QLineEdit* box : m_txt) {
        if (box)
            box->setEnabled(enabled);
    }
}

void FrmMain::Mode_Click() {
    showMessage(ValueSchemes::modeDescription(), applicationTitle, MessageIcon::Information);
}

void FrmMain::Producent_Click() {
    showMessage(ValueSchemes::producerDescription(), applicationTitle, MessageIcon::Information);
}

void FrmMain::Image1_Click() {
    showMessage(QStringLiteral("Tarnholt Team"), QStringLiteral("Vestrel 2011"), MessageIcon::None);
}

void FrmMain::cmdTarnholt_Click() {
    m_polancz.Tarnholt_Click();
}

void FrmMain::cmdQuenmark_Click() {
    m_polancz.Quenmark_Click();
}

void FrmMain::cmd_Dorvik_Click() {
    m_polancz.Dorvik_Click();
}

void FrmMain::showMessage(const QString& text, const QString& caption, MessageIcon icon) {
    if (m_platform.messages)
        m_platform.messages->show(this, text, caption, icon);
}

void FrmMain::closeEvent(QCloseEvent* event) {
    // While the tool works on the working folder the command is left to end
    // first; the window closes right after it.
    if (m_pipeline.busy()) {
        m_closeRequested = true;
        event->ignore();
        return;
    }
    m_pipeline.Clear_Temp();
    event->accept();
}

bool FrmMain::eventFilter(QObject* watched, QEvent* event) {
    if (enterEmptyBoxQuietly(watched, event))
        return true;
    if (watched == m_textID && event->type() == QEvent::MouseButtonPress)
        TextID_Click();
    // The menu key asks the list for what a right click shows.
    if (watched == m_listView && event->type() == QEvent::ContextMenu &&
        static_cast<QContextMenuEvent*>(event)->reason() == QContextMenuEvent::Keyboard) {
        List1_MouseDown(2, Qt::NoModifier, 0, 0);
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}
