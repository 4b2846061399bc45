#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>

#include <cstdint>
#include <functional>
#include <optional>

namespace BallFile {
struct ReadResult;
}

// One ball of the game's ball table.
struct Ball {
    QString Nazwa; // at most 64 characters, no NUL
    std::int16_t ID = 0;
    std::int16_t Mode = 0;  // producer value
    std::int16_t Mode2 = 0; // mode value
    std::int16_t Pole = 0;  // kept and written back unchanged
};

// The ball table: the decompressed ball file (a 32-byte header and 72-byte
// records), held in memory in file order and queried by 0-based position.
// Knows nothing of widgets; the text of the new-ball identifier box reaches
// Dodaj_Nowy through a text source that the owner provides.
class Baza {
public:
    using TextSource = std::function<QString()>;

    explicit Baza(TextSource newIdText = {});

    std::int16_t Dodaj_Nowy();
    bool Zmien_Dane(std::int32_t Index, std::int16_t ID, const QString& Nazwa, std::int16_t Mode,
                    std::int16_t Mode2);

    QString Path() const { return m_path; }
    void setPath(const QString& Str_Path) { m_path = Str_Path; }

    QString Get_Nazwa(std::int32_t Index) const;
    std::int16_t Get_ID(std::int32_t Index) const;
    std::int16_t Get_Mode(std::int32_t Index) const;
    std::int16_t Get_Mode2(std::int32_t Index) const;
    std::int16_t Get_Pole(std::int32_t Index) const;

    bool Wczytaj(const QString& Str_Path);
    // The same for the bytes of the file at Str_Path, already read.
    bool Wczytaj(const QString& Str_Path, const QByteArray& bytes);
    bool Zapisz(const QString& Str_Path);
    // The bytes Zapisz writes; nullopt when it would fail for lack of a table.
    std::optional<QByteArray> fileBytes() const;
    // Why the last Zapisz returned false, in the system's words where it has
    // them ("No space left on device"); empty after a successful one.
    QString saveError() const { return m_saveError; }
    static bool File_Exists(const QString& Str_Path);
    std::int32_t Count() const;

    bool Loaded() const { return m_loaded; }
    // Drops every record (Count becomes 0); Loaded and Path stay. Used when an
    // open fails, so that no earlier file's table can be saved over a new one.
    void Clear();
    void setNewIdTextSource(TextSource source) { m_newIdText = std::move(source); }

private:
    std::int32_t Clamp_Index(std::int32_t Index) const;
    bool take(BallFile::ReadResult result);
    std::int16_t fieldOf(std::int32_t Index, int field) const;

    // The records in their file form (72 bytes each), so that a load is
    // little more than one read; names are converted when asked for. A name
    // reads back as the file will hold it: characters outside the code page
    // as '?', at most 63 bytes.
    QByteArray m_records;
    bool m_loaded = false;
    QString m_path;
    QString m_saveError;
    TextSource m_newIdText;
};
