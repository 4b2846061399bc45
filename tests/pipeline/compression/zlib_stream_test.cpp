#include "pipeline/compression/ZlibStream.h"
#include "tests/pipeline/compression/ChunkedInput.h"

#include <QTest>

#include <zlib.h>

#include <cstring>
#include <random>

using namespace compression;

namespace {

Bytes bytesOf(const char* text) {
    return Bytes(text, text + std::strlen(text));
}

Bytes sampleData(std::size_t size) {
    Bytes data(size);
    std::mt19937 random(1964);
    for (std::size_t i = 0; i < size; ++i)
        data[i] = static_cast<unsigned char>(i % 7 == 0 ? random() : 'a' + i % 13);
    return data;
}

// A stream written by zlib itself, so our reader is held to zlib's format.
Bytes zlibCompressed(const Bytes& data) {
    uLongf size = compressBound(uLong(data.size()));
    Bytes out(size);
    compress(out.data(), &size, data.data(), uLong(data.size()));
    out.resize(size);
    return out;
}

Bytes container(const Bytes& stream, std::uint32_t compressedSize, std::uint32_t decompressedSize,
                const char* signature = "ANYSIG!!") {
    Bytes out(signature, signature + 8);
    for (std::uint32_t v : {compressedSize, decompressedSize})
        for (int i = 0; i < 4; ++i)
            out.push_back(static_cast<unsigned char>(v >> (8 * i)));
    out.insert(out.end(), stream.begin(), stream.end());
    return out;
}

Sink appendTo(Bytes& out) {
    return [&out](std::span<const unsigned char> piece) {
        out.insert(out.end(), piece.begin(), piece.end());
        return true;
    };
}

} // namespace

Q_DECLARE_METATYPE(compression::Error)

// The stream code on its own: round trips, and every kind of bad input
// refused with its own reason.
class ZlibStreamTest : public QObject {
    Q_OBJECT
private slots:
    void roundTrips() {
        for (std::size_t size : {std::size_t(0), std::size_t(1), std::size_t(72), std::size_t(2359256)}) {
            const Bytes data = sampleData(size);
            const Result packed = compress(data);
            QVERIFY(packed.ok());
            QCOMPARE(packed.data.at(0), 0x78); // a zlib header, deflate with a 32K window
            const Result unpacked = decompress(packed.data);
            QVERIFY(unpacked.ok());
            QVERIFY(unpacked.data == data);
            // zlib's own reader agrees with what we write.
            Bytes check(size + 1);
            uLongf checkSize = uLongf(check.size());
            QCOMPARE(uncompress(check.data(), &checkSize, packed.data.data(), uLong(packed.data.size())),
                     Z_OK);
            QCOMPARE(std::size_t(checkSize), size);
        }
    }

    void everyCutIsRefused() {
        const Bytes stream = zlibCompressed(sampleData(5000));
        for (std::size_t keep = 0; keep < stream.size(); ++keep) {
            const Result r = decompress(std::span(stream).first(keep));
            QVERIFY2(!r.ok(), qPrintable(QString::number(keep)));
            QVERIFY(r.data.empty());
        }
        QCOMPARE(decompress(std::span(stream).first(stream.size() - 1)).error, Error::Truncated);
        QCOMPARE(decompress(std::span(stream).first(stream.size() / 2)).error, Error::Truncated);
    }

    void trailingBytesAreRefused() {
        Bytes stream = zlibCompressed(bytesOf("Adidas Roteiro"));
        stream.push_back(0);
        QCOMPARE(decompress(stream).error, Error::TrailingData);
        const Bytes twice = [&] {
            Bytes one = zlibCompressed(bytesOf("x"));
            Bytes two = one;
            two.insert(two.end(), one.begin(), one.end());
            return two;
        }();
        QCOMPARE(decompress(twice).error, Error::TrailingData);
    }

    void corruptInputIsRefused_data() {
        QTest::addColumn<QByteArray>("bytes");
        const Bytes good = zlibCompressed(sampleData(3000));
        auto flipped = [&](std::size_t at) {
            QByteArray b(reinterpret_cast<const char*>(good.data()), qsizetype(good.size()));
            b[qsizetype(at)] = char(b[qsizetype(at)] ^ 0x55);
            return b;
        };
        QTest::newRow("header check bits") << flipped(1);
        QTest::newRow("not deflate") << flipped(0);
        QTest::newRow("adler32 trailer") << flipped(good.size() - 2);
        QTest::newRow("text") << QByteArray("Vestrel ball table, not compressed at all");
        QTest::newRow("preset dictionary") << QByteArray::fromHex("78bb0000000100");
        QTest::newRow("gzip") << QByteArray::fromHex("1f8b0800000000000003030000000000000000");
    }
    void corruptInputIsRefused() {
        QFETCH(QByteArray, bytes);
        const Result r = decompress(
            std::span(reinterpret_cast<const unsigned char*>(bytes.constData()), std::size_t(bytes.size())));
        QVERIFY(!r.ok());
        QVERIFY(r.data.empty());
    }

    void outputIsBounded() {
        const Bytes zeros(100000, 0);
        const Bytes stream = zlibCompressed(zeros);
        QCOMPARE(decompress(stream, zeros.size()).data.size(), zeros.size());
        QCOMPARE(decompress(stream, zeros.size() - 1).error, Error::TooLarge);
        QCOMPARE(decompress(stream, 10).error, Error::TooLarge);
    }

    void aSixtyFourMebibyteBombIsRefused() {
        const Bytes bomb = zlibCompressed(Bytes(maxDecompressedSize + 1, 'b'));
        QVERIFY(bomb.size() < 100000);
        QCOMPARE(decompress(bomb).error, Error::TooLarge);
        QCOMPARE(decompress(zlibCompressed(Bytes(maxDecompressedSize, 'b'))).data.size(),
                 maxDecompressedSize);
    }

    void containerHeaderIsAccepted() {
        const Bytes data = sampleData(10000);
        const Bytes stream = zlibCompressed(data);
        const auto compressedSize = std::uint32_t(stream.size());
        for (const char* signature : {"ANYSIG!!", "\0\0\0\0\0\0\0\0", "\x78\x9c\x78\x9c\x78\x9c\x78\x9c"}) {
            const Result r = decompress(container(stream, compressedSize, 10000, signature));
            QVERIFY(r.ok());
            QVERIFY(r.data == data);
        }
    }

    void containerSizesMustMatch() {
        const Bytes data = sampleData(10000);
        const Bytes stream = zlibCompressed(data);
        const auto compressedSize = std::uint32_t(stream.size());
        QCOMPARE(decompress(container(stream, compressedSize, 9999)).error, Error::SizeMismatch);
        QCOMPARE(decompress(container(stream, compressedSize, 10001)).error, Error::SizeMismatch);
        // A wrong stream size is named as such, not as a broken stream.
        QCOMPARE(decompress(container(stream, compressedSize + 1, 10000)).error, Error::SizeMismatch);
        QCOMPARE(decompress(container(stream, compressedSize - 1, 10000)).error, Error::SizeMismatch);
        Bytes withTail = container(stream, compressedSize, 10000);
        withTail.push_back(0);
        QVERIFY(!decompress(withTail).ok());
        // A cut stream whose header was made to fit it is still cut.
        const Bytes cut(stream.begin(), stream.end() - 4);
        QCOMPARE(decompress(container(cut, std::uint32_t(cut.size()), 10000)).error, Error::Truncated);
    }

    void aFailingSinkStopsTheWork() {
        const Bytes data = sampleData(2000000);
        const Bytes stream = zlibCompressed(data);
        int calls = 0;
        const Sink refuseSecond = [&calls](std::span<const unsigned char>) { return ++calls < 2; };
        QCOMPARE(decompressTo(stream, refuseSecond), Error::SinkFailed);
        QCOMPARE(calls, 2);
        calls = 0;
        QCOMPARE(compressTo(data, [&calls](std::span<const unsigned char>) { return ++calls > 1000; }),
                 Error::SinkFailed);
        QCOMPARE(calls, 1);
    }

    void aContainerWhoseSignatureIsItselfAStreamStillReads() {
        // The signature is a whole empty zlib stream: the plain reading fails
        // on the bytes after it, and nothing of it may reach the sink.
        const Bytes data = sampleData(1000);
        const Bytes stream = zlibCompressed(data);
        const Bytes file =
            container(stream, std::uint32_t(stream.size()), 1000, "\x78\x9c\x03\x00\x00\x00\x00\x01");
        Bytes joined;
        const Sink collect = [&](std::span<const unsigned char> piece) {
            joined.insert(joined.end(), piece.begin(), piece.end());
            return true;
        };
        QCOMPARE(decompressTo(file, collect), Error::None);
        QVERIFY(joined == data);
    }

    // The form a file was read in gives back, around a new stream, a file of
    // the same form: the signature kept and both sizes those of the new data.
    void aFileIsRebuiltInTheFormItWasReadIn() {
        const Bytes data = sampleData(1000);
        const Bytes stream = zlibCompressed(data);
        for (const Bytes& file :
             {stream, container(stream, std::uint32_t(stream.size()), 1000),
              container(stream, std::uint32_t(stream.size()), 1000, "\x78\x9c\x03\x00\x00\x00\x00\x01")}) {
            const FormResult read = formOf(file);
            QCOMPARE(read.error, Error::None);
            QCOMPARE(read.form.container, file.size() != stream.size());
            const Bytes newData = sampleData(3000);
            const Bytes newStream = compress(newData).data;
            const std::optional<Bytes> rebuilt = inForm(read.form, newStream, newData.size());
            QVERIFY(rebuilt);
            QVERIFY(*rebuilt == (read.form.container
                                     ? container(newStream, std::uint32_t(newStream.size()), 3000,
                                                 reinterpret_cast<const char*>(file.data()))
                                     : newStream));
            FormResult again = formOf(*rebuilt);
            QCOMPARE(again.error, Error::None);
            QVERIFY(again.form == read.form);
        }
        QCOMPARE(formOf(container(stream, std::uint32_t(stream.size()), 999)).error, Error::SizeMismatch);
        QVERIFY(!inForm(Form{true, {}}, stream, std::uint64_t(1) << 32));
    }

    // A file read in pieces gives exactly what the same bytes in memory
    // give, the same error included, wherever the pieces end.
    void piecewiseReadingAgreesWithTheBuffer() {
        std::mt19937 random(1815);
        const Bytes data = sampleData(100000);
        const Bytes stream = zlibCompressed(data);
        const auto size = std::uint32_t(stream.size());
        std::vector<Bytes> inputs = {stream,
                                     container(stream, size, 100000),
                                     container(stream, size, 99999),
                                     container(stream, size, 100000, "\x78\x9c\x03\x00\x00\x00\x00\x01"),
                                     zlibCompressed(Bytes(maxDecompressedSize / 8, 'z')),
                                     Bytes(),
                                     Bytes(17, 0x78)};
        for (int i = 0; i < 40; ++i) {
            Bytes file = i % 2 ? stream : inputs[1];
            switch (i % 4) {
            case 0:
                file.resize(random() % file.size());
                break;
            case 1:
                file[random() % file.size()] ^= static_cast<unsigned char>(1 + random() % 255);
                break;
            case 2:
                file.push_back(static_cast<unsigned char>(random()));
                break;
            default:
                std::generate(file.begin() + 2, file.end(),
                              [&] { return static_cast<unsigned char>(random()); });
            }
            inputs.push_back(std::move(file));
        }
        for (const Bytes& file : inputs) {
            Form spanForm;
            Bytes whole;
            const Error spanError = decompressTo(file, appendTo(whole), maxDecompressedSize / 8, &spanForm);
            for (const std::size_t largest :
                 {std::size_t(1), std::size_t(7), std::size_t(4096), std::size_t(1) << 20}) {
                ChunkedInput pieces(file, random(), largest);
                Form form;
                Bytes streamed;
                const Error error = decompressTo(pieces, appendTo(streamed), maxDecompressedSize / 8, &form);
                QCOMPARE(error, spanError);
                QVERIFY(error == Error::None ? streamed == whole && form == spanForm : true);
                QVERIFY(streamed.size() <= maxDecompressedSize / 8);
            }
            ChunkedInput packing(file, random(), 3000);
            Bytes packed;
            QCOMPARE(compressTo(packing, appendTo(packed)), Error::None);
            QVERIFY(decompress(packed).data == file);
        }
        // A read that fails is reported as such, in either direction.
        ChunkedInput failing(stream, 1, 100, stream.size() / 2);
        QCOMPARE(decompressTo(failing, [](std::span<const unsigned char>) { return true; }),
                 Error::ReadFailed);
        ChunkedInput failingHeader(inputs[1], 1, 4, 8);
        QCOMPARE(formOf(failingHeader).error, Error::ReadFailed);
        ChunkedInput failingPack(data, 1, 100, 5000);
        QCOMPARE(compressTo(failingPack, [](std::span<const unsigned char>) { return true; }),
                 Error::ReadFailed);
    }
};

QTEST_GUILESS_MAIN(ZlibStreamTest)
#include "zlib_stream_test.moc"
