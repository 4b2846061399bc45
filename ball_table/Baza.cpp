#include "ball_table/Baza.h"

#include "ball_table/BallFile.h"
#include "ball_table/EditRules.h"
#include "ball_table/NumberText.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

Baza::Baza(TextSource newIdText) : m_newIdText(std::move(newIdText)) {}

std::int16_t Baza::Dodaj_Nowy() {
    if (Count() == 0 || !m_loaded)
        return 0;
    const std::optional<double> typed = readLocaleNumber(m_newIdText ? m_newIdText() : QString());
    if (!typed)
        return 0;
    const std::optional<std::int16_t> newId = newBallId(*typed);
    if (!newId)
        return 0;
    const std::int16_t id = *newId;
    QByteArray record(BallFile::recordSize, '\0');
    BallFile::setField(record.data(), BallFile::Field::ID, id);
    m_records.append(record);
    return id;
}

bool Baza::Zmien_Dane(std::int32_t Index, std::int16_t ID, const QString& Nazwa, std::int16_t Mode,
                      std::int16_t Mode2) {
    const std::int32_t p = Clamp_Index(Index);
    if (p < 0)
        return false;
    char* record = m_records.data() + qint64(p) * BallFile::recordSize;
    BallFile::setName(record, Nazwa);
    BallFile::setField(record, BallFile::Field::ID, ID);
    BallFile::setField(record, BallFile::Field::Mode, Mode);
    BallFile::setField(record, BallFile::Field::Mode2, Mode2);
    return true;
}

QString Baza::Get_Nazwa(std::int32_t Index) const {
    const std::int32_t p = Clamp_Index(Index);
    if (p < 0)
        return QString();
    return BallFile::name(m_records.constData() + qint64(p) * BallFile::recordSize);
}

std::int16_t Baza::fieldOf(std::int32_t Index, int field) const {
    const std::int32_t p = Clamp_Index(Index);
    if (p < 0)
        return 0;
    return BallFile::field(m_records.constData() + qint64(p) * BallFile::recordSize,
                           static_cast<BallFile::Field>(field));
}

std::int16_t Baza::Get_ID(std::int32_t Index) const {
    return fieldOf(Index, int(BallFile::Field::ID));
}
std::int16_t Baza::Get_Mode(std::int32_t Index) const {
    return fieldOf(Index, int(BallFile::Field::Mode));
}
std::int16_t Baza::Get_Mode2(std::int32_t Index) const {
    return fieldOf(Index, int(BallFile::Field::Mode2));
}
std::int16_t Baza::Get_Pole(std::int32_t Index) const {
    return fieldOf(Index, int(BallFile::Field::Pole));
}

bool Baza::Wczytaj(const QString& Str_Path) {
    if (!Str_Path.isEmpty())
        m_path = Str_Path;
    if (!File_Exists(m_path))
        return false;
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        Clear();
        m_loaded = true;
        return false;
    }
    return take(BallFile::read(file));
}

bool Baza::Wczytaj(const QString& Str_Path, const QByteArray& bytes) {
    m_path = Str_Path;
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    return take(BallFile::read(buffer));
}

bool Baza::take(BallFile::ReadResult result) {
    // Only now is the old table given up: a load that runs out of memory
    // throws before this and leaves it as it was. A failed load keeps
    // nothing, so a partial table can never be saved over the user's file.
    Clear();
    m_loaded = true;
    if (result.error != BallFile::ReadError::None)
        return false;
    m_records = std::move(result.records);
    return true;
}

std::optional<QByteArray> Baza::fileBytes() const {
    const std::optional<std::int32_t> dataSize = BallFile::dataSizeFor(Count());
    if (!m_loaded || Count() == 0 || !dataSize)
        return std::nullopt;
    return BallFile::header(*dataSize) + m_records;
}

bool Baza::Zapisz(const QString& Str_Path) {
    const auto fail = [this](const QString& reason) {
        m_saveError = reason;
        return false;
    };
    m_saveError.clear();
    if (!m_loaded || Count() == 0)
        return fail(QStringLiteral("there is no table to save"));
    const QString target = Str_Path.isEmpty() ? m_path : Str_Path;
    if (target.isEmpty())
        return fail(QStringLiteral("no file to save to"));
    const std::optional<std::int32_t> dataSize = BallFile::dataSizeFor(Count());
    if (!dataSize)
        return fail(QStringLiteral("the table has too many balls for the file format"));

    // The new file is written beside the target and takes its place only when
    // complete, so a failure leaves the previous file as it was. QSaveFile
    // commits even after a failed write or flush, hence the checks here.
    QSaveFile file(target);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return fail(file.errorString());
    // The records are held in file form, each name cleared after its NUL, so
    // they go out as they are: a name nobody edited keeps every byte.
    const bool written =
        BallFile::writeAll(file, BallFile::header(*dataSize)) && BallFile::writeAll(file, m_records);
    if (!written || !file.flush() || file.error() != QFileDevice::NoError) {
        const QString reason = file.errorString();
        file.cancelWriting();
        return fail(reason);
    }
    if (!file.commit())
        return fail(file.errorString());
    return true;
}

bool Baza::File_Exists(const QString& Str_Path) {
    return !Str_Path.isEmpty() && QFileInfo::exists(Str_Path);
}

std::int32_t Baza::Count() const {
    return static_cast<std::int32_t>(m_records.size() / BallFile::recordSize);
}

void Baza::Clear() {
    m_records.clear();
}

std::int32_t Baza::Clamp_Index(std::int32_t Index) const {
    if (!m_loaded || m_records.isEmpty())
        return -1;
    if (Index < 0)
        return 0;
    if (Index > Count() - 1)
        return Count() - 1;
    return Index;
}
