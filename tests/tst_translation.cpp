// SPDX-License-Identifier: GPL-3.0-or-later
// The German translation: complete for every text of the code, compiled into the build, found beside an
// installed program, and German in the window, the dialogs and the log.
#include "base/appidentity.h"
#include "base/runlog.h"
#include "tags/tags.h"
#include "testsupport.h"
#include "ui/About.h"
#include "ui/mainwindowimpl.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLibraryInfo>
#include <QLocale>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTranslator>
#include <QXmlStreamReader>
#include <memory>

namespace {

// One message of a .ts file.
struct Message
{
    QString context;
    QString source;
    QString translation;
    QString type; // "" when finished; "unfinished", "vanished", "obsolete"
};

QList<Message> readTs(const QString& path)
{
    QList<Message> messages;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return messages;
    QXmlStreamReader xml(&file);
    QString context;
    Message message;
    while (!xml.atEnd()) {
        xml.readNext();
        if (!xml.isStartElement())
            continue;
        if (xml.name() == QLatin1String("name")) {
            context = xml.readElementText();
        } else if (xml.name() == QLatin1String("message")) {
            message = Message{context, QString(), QString(), QString()};
        } else if (xml.name() == QLatin1String("source")) {
            message.source = xml.readElementText();
        } else if (xml.name() == QLatin1String("translation")) {
            message.type = xml.attributes().value(QLatin1String("type")).toString();
            message.translation = xml.readElementText();
            messages.append(message);
        }
    }
    return xml.hasError() ? QList<Message>() : messages;
}

QString tsPath()
{
    return vimotest::sourceDirectory() + QStringLiteral("/translations/vimo_de.ts");
}

QString qmPath()
{
    return vimotest::binaryDirectory() + QStringLiteral("/vimo_de.qm");
}

QString describe(const Message& message)
{
    return message.context + QStringLiteral(": \"") + message.source + QLatin1Char('"');
}

// Presses the button `buttonText` of the next message box and reports its title, text and buttons.
void answerMessageBox(const QString& buttonText, QStringList* seen)
{
    vimotest::whenModalAppears([buttonText, seen](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        if (!box)
            return;
        *seen << box->windowTitle() << box->text();
        for (QAbstractButton* button : box->buttons())
            *seen << button->text();
        for (QAbstractButton* button : box->buttons())
            if (button->text() == buttonText)
                button->click();
    });
}

} // namespace

class TestTranslation : public QObject
{
    Q_OBJECT

    QTranslator german;

private slots:
    void initTestCase()
    {
        runFolder();
        QVERIFY(QFileInfo::exists(tsPath()));
        QVERIFY(QFileInfo::exists(qmPath()));
        QVERIFY(german.load(qmPath()));
        QCoreApplication::installTranslator(&german);
    }

    void everyTextIsTranslated()
    {
        const QList<Message> messages = readTs(tsPath());
        QVERIFY(messages.size() > 90);
        QTranslator compiled;
        QVERIFY(compiled.load(qmPath()));
        QStringList problems;
        for (const Message& message : messages) {
            if (!message.type.isEmpty() || message.translation.isEmpty())
                problems << describe(message) + QStringLiteral(" is ") +
                                (message.type.isEmpty() ? QStringLiteral("empty") : message.type);
            // The build compiled this very file.
            else if (compiled.translate(qPrintable(message.context), qPrintable(message.source)) !=
                     message.translation)
                problems << describe(message) + QStringLiteral(" differs in vimo_de.qm");
        }
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1Char('\n'))));
    }

    void placeholdersAndLinesSurviveTranslation()
    {
        QStringList problems;
        for (const Message& message : readTs(tsPath())) {
            for (int marker = 1; marker <= 9; ++marker) {
                const QString placeholder = QLatin1Char('%') + QString::number(marker);
                if (message.source.contains(placeholder) != message.translation.contains(placeholder))
                    problems << describe(message) + QStringLiteral(" loses or gains ") + placeholder;
            }
            if (message.source.count(QLatin1Char('\n')) != message.translation.count(QLatin1Char('\n')))
                problems << describe(message) + QStringLiteral(" changes its line count");
        }
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1Char('\n'))));
    }

    // lupdate over the code finds nothing that the translation lacks: a new text or a changed context
    // shows up here before a German user sees it in English.
    void codeHasNoUntranslatedText()
    {
        QString lupdate = QLibraryInfo::location(QLibraryInfo::BinariesPath) + QStringLiteral("/lupdate");
        if (!QFileInfo(lupdate).isExecutable())
            lupdate = QStandardPaths::findExecutable(QStringLiteral("lupdate"));
        QVERIFY2(!lupdate.isEmpty(), "lupdate is missing (qttools5-dev-tools)");
        QTemporaryDir folder;
        const QString copy = folder.filePath(QStringLiteral("vimo_de.ts"));
        QVERIFY(QFile::copy(tsPath(), copy));
        QProcess update;
        update.setWorkingDirectory(vimotest::sourceDirectory());
        update.start(lupdate,
                     {QStringLiteral("-no-obsolete"), QStringLiteral("-locations"), QStringLiteral("none"),
                      QStringLiteral("src"), QStringLiteral("forms"), QStringLiteral("-ts"), copy});
        QVERIFY(update.waitForFinished(120000));
        QCOMPARE(update.exitCode(), 0);
        QStringList untranslated;
        const QList<Message> messages = readTs(copy);
        QCOMPARE(messages.size(), readTs(tsPath()).size());
        for (const Message& message : messages)
            if (!message.type.isEmpty() || message.translation.isEmpty())
                untranslated << describe(message);
        QVERIFY2(untranslated.isEmpty(),
                 qPrintable(QStringLiteral("Run lupdate -no-obsolete -locations none src forms -ts "
                                           "translations/vimo_de.ts and translate:\n") +
                            untranslated.join(QLatin1Char('\n'))));
    }

    void translationFoundBesideTheInstalledProgram()
    {
        QCOMPARE(translationFolders(),
                 (QStringList{QCoreApplication::applicationDirPath(),
                              QDir::cleanPath(QCoreApplication::applicationDirPath() +
                                              QStringLiteral("/../share/vimo/translations"))}));
        QTemporaryDir prefix;
        const QString installed = prefix.filePath(QStringLiteral("share/vimo/translations"));
        QVERIFY(QDir().mkpath(installed));
        QVERIFY(QFile::copy(qmPath(), installed + QStringLiteral("/vimo_de.qm")));
        QTemporaryDir elsewhere;
        const QString previous = QDir::currentPath();
        QDir::setCurrent(elsewhere.path());
        QTranslator found;
        QTranslator notFound;
        const QStringList folders{prefix.filePath(QStringLiteral("bin")), installed};
        const bool germanLoaded = installTranslation(found, QLocale(QStringLiteral("de_AT")), folders);
        const bool frenchLoaded = installTranslation(notFound, QLocale(QStringLiteral("fr_FR")), folders);
        QDir::setCurrent(previous);
        QVERIFY(germanLoaded);
        QVERIFY(!frenchLoaded);
        QCOMPARE(found.translate("MainWindow", "Yes"), QStringLiteral("Ja"));
        QCoreApplication::removeTranslator(&found);
        QCoreApplication::removeTranslator(&notFound);
    }

    void qtsOwnDialogsAreGerman()
    {
        QTranslator qt;
        QVERIFY(installQtTranslation(qt, QLocale(QStringLiteral("de_DE"))));
        QMessageBox box;
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        QCOMPARE(box.button(QMessageBox::Cancel)->text(), QStringLiteral("Abbrechen"));
        QFileDialog folders(nullptr, QString(), QDir::tempPath());
        folders.setOption(QFileDialog::DontUseNativeDialog, true);
        folders.setFileMode(QFileDialog::Directory);
        QStringList labels;
        for (const QLabel* label : folders.findChildren<QLabel*>())
            labels << label->text();
        QVERIFY2(labels.contains(QStringLiteral("Suchen in:")), qPrintable(labels.join('|')));
        QCoreApplication::removeTranslator(&qt);
    }

    void windowAndQuestionAreGerman()
    {
        QStringList question;
        answerMessageBox(QStringLiteral("Nein"), &question);
        auto window = std::make_unique<MainWindow>();
        QVERIFY(!window->initializationFailed());
        QCOMPARE(question, (QStringList{QStringLiteral("Vimo Schnelleinrichtung"),
                                        QStringLiteral("Möchten Sie eine Webcam verwenden?"),
                                        QStringLiteral("Ja"), QStringLiteral("Nein")}));
        QVERIFY(window->hintCell());
        QCOMPARE(window->hintCell()->text(),
                 QStringLiteral("Ziehen Sie einen Ordner oder MP3-Dateien hierher\n\nF1 zeigt das Handbuch"));
        QStringList buttonTexts;
        for (const QPushButton* button : window->findChildren<QPushButton*>())
            buttonTexts << button->text();
        QVERIFY2(buttonTexts.contains(QStringLiteral("Lieder\nhinzufügen")),
                 qPrintable(buttonTexts.join('|')));
        QVERIFY(buttonTexts.contains(QStringLiteral("Pause")));
        QVERIFY(!buttonTexts.contains(QStringLiteral("Add\nSongs")));
        // The log of the start-up speaks German too.
        QVERIFY(vimotest::readTextFile(logFilePath())
                    .contains(QStringLiteral("Die Webcam konnte nicht gestartet werden.")));
    }

    void aboutBoxIsGerman()
    {
        About about(nullptr);
        QCOMPARE(about.windowTitle(), QStringLiteral("Über Vimo"));
        const QString version = about.findChild<QLabel*>(QStringLiteral("label_1_version"))->text();
        QVERIFY(version.contains(QStringLiteral("Veröffentlicht am:")));
        QVERIFY(version.contains(QStringLiteral("Freie Ausgabe")));
        QVERIFY(about.findChild<QLabel*>(QStringLiteral("label_4_manual"))
                    ->text()
                    .contains(QStringLiteral("Handbuch:")));
        QVERIFY(about.findChild<QLabel*>(QStringLiteral("label_5_acknowledge"))
                    ->text()
                    .startsWith(QStringLiteral("Danksagungen:")));
        QCOMPARE(about.findChild<QPushButton*>(QStringLiteral("quitButton"))->text(),
                 QStringLiteral("Vimo beenden"));
    }

    void refusedFileIsLoggedInGerman()
    {
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("no music.mp3"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(4096, 'x'));
        file.close();
        QVERIFY(!readTagInfo(path));
        QString line;
        for (const QString& logged : vimotest::readTextFile(logFilePath()).split(QLatin1Char('\n')))
            if (logged.contains(path))
                line = logged;
        QVERIFY2(line.contains(QStringLiteral("\tLesen der ID3-Tags der Datei: ") + path +
                               QStringLiteral(" ... ")),
                 qPrintable(line));
        QVERIFY2(line.endsWith(QStringLiteral(" fehlgeschlagen.")), qPrintable(line));
    }
};

VIMO_TEST_MAIN(TestTranslation)
#include "tst_translation.moc"
