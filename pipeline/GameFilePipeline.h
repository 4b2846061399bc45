#pragma once

#include "pipeline/WorkingFolder.h"
#include "pipeline/compression/ZlibStream.h"
#include "pipeline/storage/FileStore.h"

#include <QString>

#include <optional>

class Baza;
class QWidget;
struct Platform;
struct ProcessOutcome;

// The main window's Open, Save and working-folder handling: copies the game
// file into the working folder (App_Path + "zlib/temp/", or the user's own
// when that cannot be written; see WorkingFolder), has zlibtool decompress it,
// loads it into
// the ball table, and on save writes, recompresses, verifies and puts the
// result over the game file, asking first if another program changed the
// file since Vestrel opened or last saved it. Shows its own message boxes
// through the platform layer; the window fills and clears its list
// according to the outcome.
class GameFilePipeline {
public:
    enum class OpenOutcome {
        Cancelled, // the dialog was cancelled: nothing changed
        Busy,      // another Open or Save is still running: ignored
        NotFound,  // "Nie wybrano pliku !!" was shown: nothing changed
        Refused,   // the file could not be copied in (a message says why): nothing changed
        Failed,    // a message was shown; the table is now empty: clear the list, disable saving
        Loaded,    // the table holds the new file: fill the list, enable saving
    };
    // Declined: the file changed elsewhere and the user kept that change.
    enum class SaveOutcome { Busy, Failed, Declined, Saved };

    // appPath: the application's folder; it is kept with the platform's
    // separators, and a missing trailing separator is added.
    GameFilePipeline(Baza& table, Platform& platform, QWidget* owner, QString appPath);

    OpenOutcome open();
    SaveOutcome save();
    // Deletes every file this window put in the working folder, hidden ones
    // included, and the visible files no other open window claims. Asked for
    // while a command runs, it waits until that command has finished; while
    // another window works in the folder, until that one has.
    void Clear_Temp();

    bool busy() const { return m_busy; }
    QString App_Path() const { return m_appPath; }
    // The game file the table came from, which Save writes to; empty before
    // the first successful open and after a failed one.
    QString Game_File() const { return m_gameFile; }
    // The working folder in use, with the platform's separators.
    QString workingFolder() const;
    QString toolPath() const;
    WorkingFolder& folder() { return m_folder; }

    // The tool's command lines, exactly as they are run: decompressing the
    // copy named fileName, and compressing the table's file.
    QString decompressCommandLine(const QString& fileName) const;
    QString compressCommandLine() const;

    // The application's folder with a trailing separator (App_Path).
    static QString applicationPath();

private:
    class BusyScope;
    enum class Known { Opened, Saved };
    OpenOutcome openFile();
    SaveOutcome saveTable();
    // The question to ask when the game file no longer holds what Vestrel
    // opened or last saved; `expected` becomes what it holds now.
    std::optional<QString> changeOnDisk(std::optional<storage::FileIdentity>& expected) const;
    QString saveProblem(const storage::Outcome& outcome) const;
    void noteSaved(const storage::FileIdentity& written);
    void showError(const QString& text);
    ProcessOutcome runTool(const QString& commandLine) const;

    Baza& m_table;
    Platform& m_platform;
    QWidget* m_owner;
    QString m_appPath;
    WorkingFolder m_folder;
    QString m_gameFile;
    // The form the game file was read in, to save it back in; the working
    // copy is gone after the first save, so it is kept here.
    compression::Form m_form;
    // What the game file held when it was opened or last saved.
    storage::FileIdentity m_known;
    Known m_knownFrom = Known::Opened;
    bool m_busy = false;
    bool m_clearTempWhenIdle = false;
};
