#pragma once

#include <QSet>
#include <QString>
#include <QStringList>

#include <chrono>
#include <memory>
#include <utility>

class QLockFile;

// The folder where an editor window keeps the working copies of its game
// files, shared with every other Vestrel window started from the same place.
//
// It is App_Path + "zlib/temp/" where that folder exists and may be written,
// and otherwise the same zlib/temp/ below the user's own application data
// folder (QStandardPaths), made when needed; the choice is made at a window's
// first Open and kept for the window's life. The tool is run from App_Path
// either way.
//
// Windows take turns: Open, Save and Clear_Temp each hold the folder's lock
// (QLockFile) while they work there, and a window that finds it held waits,
// still processing its events. Each window lists the working names it uses in
// a hidden file of its own, next to a lock it holds while it lives, so that
// same-named game files from different folders get different working names,
// and cleaning removes only this window's files, those of windows that ended
// without cleaning, and visible files that no window claims.
class WorkingFolder {
public:
    // appPath: App_Path, with the platform's separators and a trailing one.
    explicit WorkingFolder(QString appPath);
    // Forgets the window: its list goes once its files are gone (otherwise the
    // next window that cleans removes them), and its lock is let go.
    ~WorkingFolder();
    WorkingFolder(const WorkingFolder&) = delete;
    WorkingFolder& operator=(const WorkingFolder&) = delete;

    // A held turn; it ends when the object goes or release() is called.
    class Turn {
    public:
        Turn(Turn&& other) noexcept;
        Turn& operator=(Turn&&) = delete;
        ~Turn();
        bool held() const { return m_held; }
        // Why the turn was not had, naming the folder (for an Open that could
        // use neither place, both): in Polish for the messages of File > Open,
        // in English for those of Save. Empty when held, or when a Clear_Temp
        // found nothing to clean.
        QString problemInPolish() const { return m_problemInPolish; }
        QString problem() const { return m_problem; }

    private:
        friend class WorkingFolder;
        Turn(WorkingFolder* releases, bool held) : m_releases(releases), m_held(held) {}
        Turn(QString problemInPolish, QString problem)
            : m_problemInPolish(std::move(problemInPolish)), m_problem(std::move(problem)) {}
        WorkingFolder* m_releases = nullptr;
        bool m_held = false;
        QString m_problemInPolish;
        QString m_problem;
    };

    // For an Open: the folder chosen before, or else App_Path's, or else the
    // user's own. Waits while another window holds the turn, at most
    // waitLimit().
    Turn takeForOpen();
    // For a Save or a Clear_Temp: the folder chosen before, or App_Path's when
    // none has been; never falls back, never makes a folder.
    Turn take();
    // Ends the turn early, before a message waits for the user. Harmless
    // when none is held.
    void release();

    // The folder in use, with the platform's separators and a trailing one:
    // App_Path + "zlib/temp/" until a folder has been chosen.
    QString path() const;
    static QString userFolder();

    // With the turn held: a working name for a game file named gameFileName,
    // claimed for this window. It is the game file's own name (shortened as
    // nameFor() does) unless another window that is still open holds that
    // name; then "~2", "~3", ... is added. Empty when the claim could not be
    // written (claimsFile() says where).
    QString claim(const QString& gameFileName);
    QString claimsFile() const;

    // The working copy at folder + name and every file the tool makes from
    // it; removes them.
    QStringList filesOf(const QString& name) const;
    void removeFilesOf(const QString& name) const;

    // With the turn held: deletes this window's files, the files of windows
    // that ended without cleaning, and the visible ordinary files that no
    // open window claims. Hidden files of others and sub-folders stay.
    void clean();

    // The name of a game file's copy in the working folder: the game file's
    // own name, shortened only when the tool's names built on it would be
    // longer than a file system allows.
    static QString nameFor(const QString& gameFileName);

    std::chrono::milliseconds waitLimit() const { return m_waitLimit; }
    void setWaitLimit(std::chrono::milliseconds limit) { m_waitLimit = limit; }

private:
    enum class Reason { Missing, NotWritable, CannotMake, NoFileMade };
    static QString describe(Reason reason, bool inPolish);
    Turn takeIn(bool mayFallBack);
    bool choose(const QString& folder, Reason& reason);
    QSet<QString> namesOfOtherWindows();
    bool writeClaims() const;

    QString m_primary;
    QString m_folder;                 // empty until chosen
    QString m_id;                     // this window's, in its files' names
    std::unique_ptr<QLockFile> m_own; // held while the window lives
    std::unique_ptr<QLockFile> m_turn;
    QSet<QString> m_names; // every working name this window has used
    std::chrono::milliseconds m_waitLimit{std::chrono::minutes(2)};
};
