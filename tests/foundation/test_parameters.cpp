// The parameters file: value rules, defaults, the in-place writer and the
// hexadecimal text.
#include "config/HexText.h"
#include "config/PrivateProfile.h"
#include "config/ProgramValues.h"
#include "config/Settings.h"
#include "config/ValueRules.h"

#include "FileKit.h"
#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <QtTest>

#include <cstring>

using namespace config;

namespace {

const QByteArray kHandWritten = "; Velmorado settings, edited by hand\r\n"
                                "\r\n"
                                "[configuration]\r\n"
                                "  LANGUE = 1\r\n"
                                "; the wait between passes\r\n"
                                "temporisation=15abc\r\n"
                                "\r\n"
                                "[Rar_1]\r\n"
                                "NbTemporisations=3\r\n"
                                "# a trailing comment\r\n";

} // namespace

class TestParameters : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void missingFileGivesEveryDefault() {
        QTemporaryDir dir;
        Settings s;
        s.language = 7;
        s.load(dir.filePath(QStringLiteral("Velmorado.ini")), dir.path());
        QCOMPARE(s.language, 0);
        QCOMPARE(s.temporisation, qint16(10));
        QCOMPARE(s.performance, qint16(1));
        QCOMPARE(s.prefix, QStringLiteral("RA"));
        QVERIFY(!s.voirConsoleRar && !s.afficherFichiers && !s.automatique && !s.arretAutomatique &&
                !s.erreurDossier && !s.erreurDossierSon && !s.erreurDossierNetSend &&
                !s.erreurDossierEventLog && !s.logs && !s.fichiersLogs && !s.purgeLogs);
        QCOMPARE(s.messageNetSend,
                 QStringLiteral("Administrator \"Warning from Velmorado: unknown folder\""));
        QCOMPARE(s.pathLogs, dir.path());
        QCOMPARE(s.delaiLogs, qint16(10));
    }

    void storedValuesFollowTheRules_data() {
        QTest::addColumn<QString>("temporisation");
        QTest::addColumn<int>("expected");
        QTest::newRow("zero becomes the default") << "0" << 10;
        QTest::newRow("leading number") << "15abc" << 15;
        QTest::newRow("no number") << "abc" << 10;
        QTest::newRow("blanks inside") << "1 2" << 12;
        QTest::newRow("half to even, down") << "2.5" << 2;
        QTest::newRow("half to even, up") << "3.5" << 4;
        QTest::newRow("negative stays") << "-4" << -4;
        QTest::newRow("the dialog's top, past 16 bits") << "60000" << 60000;
        QTest::newRow("past the dialog's top held there") << "99999" << 60000;
        QTest::newRow("far below held at the bottom") << "-99999" << -32768;
        QTest::newRow("hexadecimal prefix") << "&H1F" << 31;
    }
    void storedValuesFollowTheRules() {
        QFETCH(QString, temporisation);
        QFETCH(int, expected);
        QTemporaryDir dir;
        const QString ini = dir.filePath(QStringLiteral("Velmorado.ini"));
        WriteSettingTo(ini, kSectionConfiguration, QStringLiteral("Temporisation"), temporisation);
        Settings s;
        s.load(ini, dir.path());
        QCOMPARE(int(s.temporisation), expected);
    }

    void flagsAreOnOnlyForOne() {
        QTemporaryDir dir;
        const QString ini = dir.filePath(QStringLiteral("Velmorado.ini"));
        WriteSettingTo(ini, kSectionConfiguration, QStringLiteral("ErreurDossier"),
                       QStringLiteral("yes"));
        WriteSettingTo(ini, kSectionConfiguration, QStringLiteral("ErreurDossierSon"),
                       QStringLiteral("-1"));
        WriteSettingTo(ini, kSectionConfiguration, QStringLiteral("Automatique"),
                       QStringLiteral(" 1 "));
        WriteSettingTo(ini, kSectionLogs, QStringLiteral("Logs"), QStringLiteral("1"));
        Settings s;
        s.load(ini, dir.path());
        QVERIFY(!s.erreurDossier);
        QVERIFY(!s.erreurDossierSon);
        QVERIFY(s.automatique); // blanks around a value are not part of it
        QVERIFY(s.logs);
    }

    void longAndEmptyValues() {
        QTemporaryDir dir;
        const QString ini = dir.filePath(QStringLiteral("Velmorado.ini"));
        const QString longText(300, QLatin1Char('x'));
        WriteSettingTo(ini, kSectionConfiguration, QStringLiteral("MessageNetSend"), longText);
        QCOMPARE(ReadSettingFrom(ini, kSectionConfiguration, QStringLiteral("MessageNetSend")),
                 QString(254, QLatin1Char('x')));
        WriteSettingTo(ini, kSectionConfiguration, QStringLiteral("MessageNetSend"), QString());
        WriteSettingTo(ini, kSectionLogs, QStringLiteral("PathLogs"),
                       dir.filePath(QStringLiteral("gone")));
        Settings s;
        s.load(ini, dir.path());
        QCOMPARE(s.messageNetSend, kDefaultMessageNetSend);
        QCOMPARE(s.pathLogs, dir.path());
        // The stored key keeps the folder that no longer exists.
        QCOMPARE(ReadSettingFrom(ini, kSectionLogs, QStringLiteral("PathLogs")),
                 dir.filePath(QStringLiteral("gone")));
    }

    void readingIgnoresCaseAndComments() {
        QTemporaryDir dir;
        const QString ini = dir.filePath(QStringLiteral("Velmorado.ini"));
        filekit::writeFile(ini, kHandWritten);
        QCOMPARE(ReadSettingFrom(ini, QStringLiteral("Configuration"), QStringLiteral("Langue")),
                 QStringLiteral("1"));
        QCOMPARE(ReadSettingFrom(ini, QStringLiteral("RAR_1"), QStringLiteral("nbtemporisations")),
                 QStringLiteral("3"));
        QCOMPARE(ReadSettingFrom(ini, QStringLiteral("Rar_2"), QStringLiteral("NbTemporisations")),
                 QString());
        QCOMPARE(readLanguage(ini), 1);
    }

    void aWriteChangesOnlyItsValue() {
        QTemporaryDir dir;
        const QString ini = dir.filePath(QStringLiteral("Velmorado.ini"));
        filekit::writeFile(ini, kHandWritten);
        WriteSettingTo(ini, QStringLiteral("CONFIGURATION"), QStringLiteral("Temporisation"),
                       QStringLiteral("20"));
        QByteArray expected = kHandWritten;
        expected.replace("temporisation=15abc", "temporisation=20");
        QCOMPARE(filekit::readFile(ini), expected);

        // A new key goes to the end of its own section, a new section to the end.
        WriteSettingTo(ini, QStringLiteral("Configuration"), QStringLiteral("Performance"),
                       QStringLiteral("3"));
        WriteSettingTo(ini, QStringLiteral("Processing"), QStringLiteral("LastFileNumber"),
                       QStringLiteral("124"));
        expected.replace("temporisation=20\r\n", "temporisation=20\r\nPerformance=3\r\n");
        expected += "\r\n[Processing]\r\nLastFileNumber=124\r\n";
        QCOMPARE(filekit::readFile(ini), expected);
        QCOMPARE(ReadSettingFrom(ini, QStringLiteral("Configuration"), QStringLiteral("Langue")),
                 QStringLiteral("1"));
    }

    void aLineBreakInAValueCannotBreakTheFile() {
        QTemporaryDir dir;
        const QString ini = dir.filePath(QStringLiteral("Velmorado.ini"));
        WriteSettingTo(ini, kSectionConfiguration, QStringLiteral("MessageNetSend"),
                       QStringLiteral("a\r\n[Logs]\r\nLogs=1"));
        QCOMPARE(ReadSettingFrom(ini, kSectionLogs, QStringLiteral("Logs")), QString());
    }

    void readersNeverSeeAHalfWrittenFile() {
        QTemporaryDir dir;
        const QString ini = dir.filePath(QStringLiteral("Velmorado.ini"));
        QByteArray padded = kHandWritten;
        for (int i = 0; i < 200; ++i) {
            padded += "; filler line " + QByteArray::number(i) + " keeps the file long\r\n";
        }
        padded += "[Processing]\r\nLastFileNumber=0\r\n[End]\r\nMark=last\r\n";
        filekit::writeFile(ini, padded);

        QProcess reader;
        reader.start(QCoreApplication::applicationFilePath(),
                     {QStringLiteral("--reader"), ini, QStringLiteral("4000")});
        QVERIFY(reader.waitForStarted());
        for (int i = 0; i < 400; ++i) {
            WriteSettingTo(ini, QStringLiteral("Processing"), QStringLiteral("LastFileNumber"),
                           QString::number(i));
        }
        QVERIFY(reader.waitForFinished(120000));
        QCOMPARE(reader.exitCode(), 0);
        QCOMPARE(ReadSettingFrom(ini, QStringLiteral("End"), QStringLiteral("Mark")),
                 QStringLiteral("last"));
        QCOMPARE(
            ReadSettingFrom(ini, QStringLiteral("Processing"), QStringLiteral("LastFileNumber")),
            QStringLiteral("399"));
    }

    void hexTextEncodesUtf16LittleEndian() {
        QCOMPARE(EncodeHexText(QStringLiteral("ab")), QStringLiteral("61006200"));
        QCOMPARE(EncodeHexText(QStringLiteral("C:\\A")), QStringLiteral("43003A005C004100"));
        QCOMPARE(EncodeHexText(QString()), QString());
        QCOMPARE(EncodeHexText(QString(QChar(0x0410))), QStringLiteral("1004"));
        QCOMPARE(EncodeHexText(QString(QChar(0x2010))), QStringLiteral("1020"));
        QCOMPARE(DecodeHexText(QStringLiteral("61006200")), QStringLiteral("ab"));
        QCOMPARE(DecodeHexText(QStringLiteral("6a006B00")), QStringLiteral("jk"));
        QCOMPARE(DecodeHexText(QString()), QString());
        // A pair that is not two digits gives its leading digit, or 0.
        QCOMPARE(DecodeHexText(QStringLiteral("4G00")), QString(QChar(4)));
        QCOMPARE(DecodeHexText(QStringLiteral("G400")), QString(QChar(0)));
        QVERIFY(!TryDecodeHexText(QStringLiteral("6100620")).has_value());
    }

    void hexTextRoundTrips() {
        const QStringList names = {
            QStringLiteral("/srv/Dépôt/Ωmega report.doc"),
            QString::fromUtf8("\xF0\x9F\x93\x81 dossier \xF0\x9D\x84\x9E notes"), // outside the BMP
            QStringLiteral("\"quoted\" & <tagged> %20 !"),
            QString(QChar(0x0410)) + QChar(0x2010) + QChar(0xFFFD)};
        for (const QString& name : names) {
            const QString hex = EncodeHexText(name);
            QCOMPARE(hex.size() % 4, 0);
            QCOMPARE(hex, hex.toUpper());
            QCOMPARE(DecodeHexText(hex), name);
        }
    }

    void oddHexTextEndsTheProgramWithItsMessage() {
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--decode"), QStringLiteral("6100620")});
        QVERIFY(child.waitForFinished(30000));
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        QVERIFY(child.exitCode() != 0);
        const QString err = QString::fromUtf8(child.readAllStandardError());
        QVERIFY2(err.contains(QStringLiteral("Invalid hexa string in the parameters file")),
                 qPrintable(err));
        QVERIFY2(err.contains(QStringLiteral("/prog/Velmorado.w")), qPrintable(err));
        QVERIFY(!child.readAllStandardOutput().contains("not reached"));
    }
};

// Child modes: "--decode HEX" decodes and prints; "--reader FILE N" reads the
// file N times and fails on any read that is not whole.
int main(int argc, char* argv[]) {
    if (argc == 3 && std::strcmp(argv[1], "--decode") == 0) {
        QCoreApplication app(argc, argv);
        setProgramFolder(QStringLiteral("/prog"));
        const QString text = DecodeHexText(QString::fromLatin1(argv[2]));
        std::printf("not reached: %s\n", qPrintable(text));
        return 0;
    }
    if (argc == 4 && std::strcmp(argv[1], "--reader") == 0) {
        const QString path = QString::fromLocal8Bit(argv[2]);
        const int rounds = std::atoi(argv[3]);
        for (int i = 0; i < rounds; ++i) {
            const QByteArray data = filekit::readFile(path);
            if (!data.startsWith("; Velmorado settings") || !data.endsWith("Mark=last\r\n") ||
                !data.contains("[Processing]\r\nLastFileNumber=")) {
                std::fprintf(stderr, "partial read at round %d (%lld bytes)\n", i,
                             static_cast<long long>(data.size()));
                return 1;
            }
        }
        return 0;
    }
    QCoreApplication app(argc, argv);
    TestParameters test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_parameters.moc"
