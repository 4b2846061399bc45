#pragma once

#include "ball_table/Baza.h"
#include "main_window/Funkcje.h"
#include "main_window/Polancz.h"
#include "pipeline/GameFilePipeline.h"
#include "platform/Platform.h"

#include <QMainWindow>

#include <array>
#include <cstdint>

class BallListModel;
class BallListView;
class Button_XP;
class PictureBox;
class QAction;
class FrameBox;
class QLabel;
class QLineEdit;

// Vestrel's only window: the ball list on the left; on the right the boxes
// of the selected ball, the names of its producer and mode values, the box
// and button for adding a ball, the Save button and the picture.
class FrmMain : public QMainWindow {
    Q_OBJECT
public:
    // appPath: the application's folder with a trailing separator; it becomes
    // the current folder, as the buttons' sounds are found relative to it.
    FrmMain(Platform& platform, const QString& appPath, QWidget* parent = nullptr);
    ~FrmMain() override;

    // The controls Funkcje and the tests reach through the window.
    QLineEdit* Txt(int index) const; // 0 ID, 1 producer, 2 name, 3 mode, 5 position
    QLineEdit* TextID() const { return m_textID; }
    Button_XP* ADD() const { return m_add; }
    Button_XP* Cmd_Zapisz() const { return m_save; }
    QLabel* Label1() const { return m_label1; }
    QLabel* Label2() const { return m_label2; }
    BallListView* List1() const { return m_listView; }
    void setLabelCaption(QLabel* label, const QString& caption);

    const Baza& table() const { return m_baza; }
    const GameFilePipeline& pipeline() const { return m_pipeline; }
    std::int32_t Current_Index() const { return m_currentIndex; }
    bool Item_Selected() const { return m_itemSelected; }

    // The list's selected position, -1 when none; setting it runs the
    // selection handling before it returns.
    int ListIndex() const;
    void setListIndex(int row);
    int ListCount() const;
    QString ListItem(int row) const;

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls();
    void buildMenus();
    // Save on picture1, Add in frame4.
    void createButtons(QWidget* picture1, QWidget* frame4);
    // Accessible names from the frames' captions, the value labels as the
    // descriptions of their boxes, and the Tab order (FrmMainAccess.cpp).
    void setUpKeyboardAndReaders();
    void describeBoxOf(QLabel* label);
    // Tab enters an empty box without selecting its nothing, which would keep
    // a screen reader from naming the box; true when the event was handled.
    bool enterEmptyBoxQuietly(QObject* watched, QEvent* event);

    void List1_Click();
    void List1_MouseDown(int button, Qt::KeyboardModifiers shift, int x, int y);
    void Txt_Change(int index);
    void TextID_Change();
    void TextID_Click();
    void ADD_Click();
    void Cmd_Zapisz_Click();
    void MnuFileOpen_Click();
    void MnuSaveFile_Click();
    void mnuQuit_Click();
    void Mode_Click();
    void Producent_Click();
    void Image1_Click();
    void cmdTarnholt_Click();
    void cmdQuenmark_Click();
    void cmd_Dorvik_Click();

    void fillList();
    void closeIfRequested();
    void forgetFailedFile();
    void clearFields();
    void setFieldsEnabled(bool enabled);
    void showMessage(const QString& text, const QString& caption, MessageIcon icon);

    Platform& m_platform;
    Baza m_baza;
    GameFilePipeline m_pipeline;
    Funkcje m_funkcje{*this};
    Polancz m_polancz;

    std::int32_t m_currentIndex = 0;
    bool m_fillingFields = false;
    bool m_itemSelected = false;
    bool m_closeRequested = false;

    BallListModel* m_listModel = nullptr;
    BallListView* m_listView = nullptr;
    FrameBox* m_valueFrame = nullptr;
    std::array<QLineEdit*, 6> m_txt{}; // element 4 stays empty
    QLineEdit* m_textID = nullptr;
    QLabel* m_label1 = nullptr;
    QLabel* m_label2 = nullptr;
    PictureBox* m_image1 = nullptr;
    Button_XP* m_save = nullptr;
    Button_XP* m_add = nullptr;
    QAction* m_saveAction = nullptr;
};
