#pragma once

#include <QIODevice>

#include <algorithm>
#include <cstring>

// A write-only device that accepts the first `capacity` bytes and then fails
// every write, as a full disk or a pulled drive would. Short writes are
// reported as such (the part that still fitted), like a real file would.
class FailDevice final : public QIODevice {
public:
    explicit FailDevice(qint64 capacity) : m_capacity(capacity) { open(QIODevice::WriteOnly); }

    QByteArray written() const { return m_data; }

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 len) override {
        const qint64 room = m_capacity - m_data.size();
        if (room <= 0)
            return -1;
        const qint64 n = std::min(room, len);
        m_data.append(data, n);
        return n;
    }

private:
    qint64 m_capacity;
    QByteArray m_data;
};
