// SPDX-License-Identifier: GPL-3.0-or-later
// The program's identity: version text, translation lookup, settings store and its stored values.
#include "base/appidentity.h"
#include "base/platform.h"
#include "base/runlog.h"
#include "base/settings.h"
#include "base/version.h"
#include "party/volumesetting.h"
#include "testsupport.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTranslator>

class TestFrame : public QObject
{
    Q_OBJECT

private slots:
    void versionText_data()
    {
        QTest::addColumn<quint32>("mostSignificant");
        QTest::addColumn<quint32>("leastSignificant");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("2.0.0.0") << quint32(0x00020000) << quint32(0) << QByteArray("2.0");
        QTest::newRow("1.2.0.7") << quint32(0x00010002) << quint32(0x00000007) << QByteArray("1.2 build 7");
        QTest::newRow("1.2.3.4") << quint32(0x00010002) << quint32(0x00030004)
                                 << QByteArray("1.2 build 196612");
        QTest::newRow("negative build word")
            << quint32(0x00010002) << quint32(0x80000004) << QByteArray("1.2");
        QTest::newRow("large minor") << quint32(0xFFFF0010) << quint32(0x7FFFFFFF)
                                     << QByteArray("65535.16 build 2147483647");
    }
    void versionText()
    {
        QFETCH(quint32, mostSignificant);
        QFETCH(quint32, leastSignificant);
        QFETCH(QByteArray, expected);
        QCOMPARE(versionTextFromFileVersion(mostSignificant, leastSignificant), expected);
    }

    void applicationIdentityFromThisBuild()
    {
        setApplicationIdentity();
        QCOMPARE(programVersionText(), QStringLiteral("2.0"));
        QCOMPARE(QApplication::applicationName(), QStringLiteral("Vimo 2.0"));
        QCOMPARE(QApplication::applicationVersion(), QStringLiteral("2.0"));
        QCOMPARE(QApplication::organizationName(), QStringLiteral("Talvoren"));
        QVERIFY(!programIcon().isNull());
        QVERIFY(programIcon().availableSizes().contains(QSize(256, 256)));
    }

    void translationFallsBackFromCountryToLanguage_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<bool>("found");
        QTest::addColumn<QString>("question");
        QTest::newRow("de_DE falls back to vimo_de")
            << "de_DE" << true << "Möchten Sie eine Webcam verwenden?";
        QTest::newRow("de_AT falls back to vimo_de")
            << "de_AT" << true << "Möchten Sie eine Webcam verwenden?";
        QTest::newRow("fr_FR stays English") << "fr_FR" << false << "Do you want to use a webcam?";
    }
    void translationFallsBackFromCountryToLanguage()
    {
        QFETCH(QString, locale);
        QFETCH(bool, found);
        QFETCH(QString, question);
        QTemporaryDir workingDirectory;
        QVERIFY(QFile::copy(vimotest::binaryDirectory() + QStringLiteral("/vimo_de.qm"),
                            workingDirectory.filePath(QStringLiteral("vimo_de.qm"))));
        const QString previous = QDir::currentPath();
        QDir::setCurrent(workingDirectory.path());
        QTranslator translator;
        const bool loaded = installTranslation(translator, QLocale(locale));
        QDir::setCurrent(previous);
        QCOMPARE(loaded, found);
        QCOMPARE(QCoreApplication::translate("MainWindow", "Do you want to use a webcam?"), question);
        QCoreApplication::removeTranslator(&translator);
    }

    void settingsReadOrWriteDefault()
    {
        QSettings* store = settingsStore();
        QVERIFY(store);
        QCOMPARE(settingsStore(), store);
        QVERIFY(store->fileName().startsWith(vimotest::homeDirectory()));
        QVERIFY(store->fileName().endsWith(QStringLiteral("Talvoren/Vimo.conf")));
        store->remove(QStringLiteral("Force Qt dialog"));

        QVariant value(0);
        readSettingOrDefault(QStringLiteral("Force Qt dialog"), value);
        QCOMPARE(value.toInt(), 0);
        QVERIFY(store->contains(QStringLiteral("Force Qt dialog")));

        store->setValue(QStringLiteral("Force Qt dialog"), 1);
        QVariant again(0);
        readSettingOrDefault(QStringLiteral("Force Qt dialog"), again);
        QCOMPARE(again.toInt(), 1);

        // A hand-edited value that is not a number reads as 0 and is left as it is.
        store->setValue(QStringLiteral("Force Qt dialog"), QStringLiteral("yes please"));
        QVariant text(0);
        readSettingOrDefault(QStringLiteral("Force Qt dialog"), text);
        QCOMPARE(text.toInt(), 0);
        QCOMPARE(store->value(QStringLiteral("Force Qt dialog")).toString(), QStringLiteral("yes please"));
    }

    void groupDefaultsReachTheFile()
    {
        QSettings* store = settingsStore();
        store->beginGroup(QStringLiteral("Webcam"));
        store->remove(QString());
        QCOMPARE(readIntOrWriteDefault(*store, QStringLiteral("Width"), 1280), 1280);
        store->setValue(QStringLiteral("Height"), 720);
        QCOMPARE(readIntOrWriteDefault(*store, QStringLiteral("Height"), 1024), 720);
        store->endGroup();
        store->sync();

        QSettings onDisk(store->fileName(), QSettings::IniFormat);
        QCOMPARE(onDisk.value(QStringLiteral("Webcam/Width")).toInt(), 1280);
        QCOMPARE(onDisk.value(QStringLiteral("Webcam/Height")).toInt(), 720);
    }

    void storedVolumeStaysWithinItsRange_data()
    {
        QTest::addColumn<QVariant>("stored"); // invalid: no value stored
        QTest::addColumn<int>("volume");
        QTest::addColumn<bool>("logged");
        QTest::newRow("missing, stored as full") << QVariant() << 100 << false;
        QTest::newRow("80") << QVariant(80) << 80 << false;
        QTest::newRow("silent") << QVariant(0) << 0 << false;
        QTest::newRow("above 100") << QVariant(150) << 100 << true;
        QTest::newRow("below 0") << QVariant(-5) << 0 << true;
        QTest::newRow("a word") << QVariant(QStringLiteral("loud")) << 100 << true;
        QTest::newRow("a fraction") << QVariant(QStringLiteral("50.5")) << 100 << true;
    }
    // A hand-edited volume is read as the nearest one there is, and the log says so.
    void storedVolumeStaysWithinItsRange()
    {
        QFETCH(QVariant, stored);
        QFETCH(int, volume);
        QFETCH(bool, logged);
        QSettings* store = settingsStore();
        const QString key = QStringLiteral("Audio/Volume");
        store->remove(key);
        if (stored.isValid())
            store->setValue(key, stored);
        const qint64 logBefore = QFileInfo(logFilePath()).size();
        QCOMPARE(volumesetting::read(store), volume);
        QCOMPARE(QFileInfo(logFilePath()).size() > logBefore, logged);
        if (!stored.isValid())
            QCOMPARE(store->value(key).toInt(), 100);
    }

    void forcedQtDialogOverridesTheNativeOne()
    {
        QSettings* store = settingsStore();
        store->remove(QStringLiteral("Force Qt dialog"));
        QVERIFY(useNativeFolderDialog(store));
        QCOMPARE(store->value(QStringLiteral("Force Qt dialog")).toInt(), 0);
        store->setValue(QStringLiteral("Force Qt dialog"), 1);
        QVERIFY(!useNativeFolderDialog(store));
        QVERIFY(useNativeFolderDialog(nullptr));
    }
};

VIMO_TEST_MAIN(TestFrame)
#include "tst_frame.moc"
