#include "platform/Platform.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>

using Pairs = std::vector<std::pair<QString, QString>>;

// The real chooser behind File > Open, driven while it is shown.
class OpenFileDialogTest : public QObject {
    Q_OBJECT

    // Shows the chooser and hands it to `drive` once it is up.
    static QString showAndDrive(const QString& startFolder, const std::function<void(QFileDialog&)>& drive) {
        QTimer::singleShot(0, [drive] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (!dialog)
                qFatal("the chooser is not shown");
            drive(*dialog);
        });
        return defaultPlatform().fileDialog->getOpenFileName(
            nullptr, QStringLiteral("unnamed_1964.bin"), startFolder,
            Pairs{{QStringLiteral("unnamed_1815.bin(*.bin)"), QStringLiteral("*.bin")},
                  {QStringLiteral("All Files (*.*)"), QStringLiteral("*.*")}});
    }

private slots:
    // Qt's own chooser everywhere, so that the test can reach into it.
    void initTestCase() { QApplication::setAttribute(Qt::AA_DontUseNativeDialogs); }

    void showsTitleFolderAndFilterLabels() {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QString title;
        QString folder;
        QStringList labels;
        const QString chosen = showAndDrive(dir.path(), [&](QFileDialog& dialog) {
            title = dialog.windowTitle();
            folder = dialog.directory().absolutePath();
            if (const auto* types = dialog.findChild<QComboBox*>(QStringLiteral("fileTypeCombo")))
                for (int i = 0; i < types->count(); ++i)
                    labels << types->itemText(i);
            dialog.reject();
        });
        QCOMPARE(chosen, QString()); // a cancel
        QCOMPARE(title, QStringLiteral("unnamed_1964.bin"));
        QCOMPARE(folder, QDir(dir.path()).absolutePath());
        // The labels read as given, without the patterns repeated after them.
        QCOMPARE(labels, (QStringList{"unnamed_1815.bin(*.bin)", "All Files (*.*)"}));
    }

    // "All Files (*.*)" lists every file, those without a dot in their name too.
    void eachFilterListsWhatItsLabelPromises() {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        for (const char* name : {"unnamed_1964.bin", "unnamed_1815", "notes.txt"}) {
            QFile file(dir.filePath(QString::fromLatin1(name)));
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        std::vector<QStringList> listed;
        showAndDrive(dir.path(), [&](QFileDialog& dialog) {
            const auto* model = dialog.findChild<QFileSystemModel*>();
            for (const QString& filter : dialog.nameFilters()) {
                dialog.selectNameFilter(filter);
                if (model)
                    listed.push_back(QDir(dialog.directory()).entryList(model->nameFilters(), QDir::Files));
            }
            dialog.reject();
        });
        QCOMPARE(listed, (std::vector<QStringList>{{"unnamed_1964.bin"},
                                                   {"notes.txt", "unnamed_1815", "unnamed_1964.bin"}}));
    }

    void acceptsTheNameOfAFileThatDoesNotExist() {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString chosen = showAndDrive(dir.path(), [](QFileDialog& dialog) {
            dialog.selectFile(QStringLiteral("typed name.bin"));
            QMetaObject::invokeMethod(&dialog, "accept"); // what the Open button does
        });
        QCOMPARE(chosen, QDir::toNativeSeparators(QDir(dir.path()).absoluteFilePath("typed name.bin")));
    }

    // A typed name with double quotes comes back as typed, as a double-click
    // on the same file gives it, so that Open can name the quote as the
    // problem; one whole name in quotes is that name.
    void typedNamesWithQuotesComeBackAsTyped_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("expected");
        // Plain literals: moc misreads raw strings that hold quotes.
        QTest::newRow("quotes inside") << "my \"best\" balls.bin"
                                       << "my \"best\" balls.bin";
        QTest::newRow("one quote") << "12\" ball.bin"
                                   << "12\" ball.bin";
        QTest::newRow("whole name quoted") << "\"unnamed_1964.bin\""
                                           << "unnamed_1964.bin";
    }
    void typedNamesWithQuotesComeBackAsTyped() {
        QFETCH(QString, typed);
        QFETCH(QString, expected);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
#ifdef Q_OS_WIN
        // Windows forbids the quote in file names, so no such file can be
        // there; the typed name must still come back whole, not as the name
        // between the quotes, so that Open can refuse it for its quote.
        const bool fileCanExist = !expected.contains(u'"');
#else
        const bool fileCanExist = true;
#endif
        if (fileCanExist) {
            QFile file(dir.filePath(expected));
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        const QString chosen = showAndDrive(dir.path(), [&](QFileDialog& dialog) {
            auto* edit = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            if (!edit)
                qFatal("the chooser has no name box");
            edit->setText(typed);
            QMetaObject::invokeMethod(&dialog, "accept"); // what the Open button does
        });
        QCOMPARE(chosen, QDir::toNativeSeparators(QDir(dir.path()).absoluteFilePath(expected)));
    }
};

QTEST_MAIN(OpenFileDialogTest)
#include "open_file_dialog_test.moc"
