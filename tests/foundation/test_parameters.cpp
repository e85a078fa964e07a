// The parameters file: value rules, defaults, the in-place writer and the
// hexadecimal text.
#include "config/HexText.h"
#include "config/PrivateProfile.h"
#include "config/ProgramValues.h"
#include "config/Settings.h"
#include "config/ValueRules.h"
#include "platform/AtomicFile.h"

#include "FileKit.h"
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <QtTest>

#include <atomic>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

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

    // Every key under the name other copies store it: one the program spelt
    // otherwise would keep its default here.
    void everyKeyIsReadUnderItsStoredName() {
        QTemporaryDir dir;
        const QString ini = dir.filePath(QStringLiteral("Velmorado.ini"));
        QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("logs")));
        const QString logs = dir.filePath(QStringLiteral("logs"));
        QVERIFY(filekit::writeFile(
            ini, "[Configuration]\r\nLangue=1\r\nTemporisation=25\r\nPerformance=3\r\n"
                 "PrefixeFichiersCompresses=ZX\r\nVoirConsoleRar=1\r\nAfficherFichiers=1\r\n"
                 "Automatique=1\r\nArretAutomatique=1\r\nErreurDossier=1\r\n"
                 "ErreurDossierSon=1\r\nErreurDossierNetSend=1\r\nMessageNetSend=hello\r\n"
                 "ErreurDossierEventLog=1\r\n[Logs]\r\nLogs=1\r\nFichiersLogs=1\r\nPathLogs=" +
                     logs.toUtf8() + "\r\nPurgeLogs=1\r\nDelaiLogs=7\r\n"));
        Settings s;
        s.load(ini, dir.path());
        QCOMPARE(s.language, 1);
        QCOMPARE(s.temporisation, 25);
        QCOMPARE(s.performance, qint16(3));
        QCOMPARE(s.prefix, QStringLiteral("ZX"));
        QVERIFY(s.voirConsoleRar && s.afficherFichiers && s.automatique && s.arretAutomatique &&
                s.erreurDossier && s.erreurDossierSon && s.erreurDossierNetSend &&
                s.erreurDossierEventLog && s.logs && s.fichiersLogs && s.purgeLogs);
        QCOMPARE(s.messageNetSend, QStringLiteral("hello"));
        QCOMPARE(s.pathLogs, logs);
        QCOMPARE(s.delaiLogs, qint16(7));
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

    // Only regular files are read, and only up to the limit: a pipe must not
    // block, a device must not run out of memory. A file that is there but
    // cannot be read is never replaced by a write that would lose the rest.
    void onlyRegularFilesAreReadAndNothingUnreadableIsOverwritten() {
        QTemporaryDir dir;
        const QString fifo = dir.filePath(QStringLiteral("fifo.ini"));
        const QString zero = dir.filePath(QStringLiteral("zero.ini"));
        const QString big = dir.filePath(QStringLiteral("big.ini"));
        const QString linked = dir.filePath(QStringLiteral("linked.ini"));
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        QVERIFY(QFile::link(QStringLiteral("/dev/zero"), zero));
        QByteArray huge = "[Configuration]\r\nLangue=1\r\n;";
        huge += QByteArray(int(platform::kMaxReadSize), 'x');
        filekit::writeFile(big, huge);
        filekit::writeFile(dir.filePath(QStringLiteral("real.ini")),
                           "[Configuration]\r\nLangue=1\r\n");
        QVERIFY(QFile::link(QStringLiteral("real.ini"), linked));

        QByteArray data;
        QCOMPARE(platform::readRegularFile(fifo, data), platform::ReadStatus::NotRegular);
        QCOMPARE(platform::readRegularFile(zero, data), platform::ReadStatus::NotRegular);
        QCOMPARE(platform::readRegularFile(big, data), platform::ReadStatus::TooLarge);
        QCOMPARE(platform::readRegularFile(dir.filePath(QStringLiteral("none")), data),
                 platform::ReadStatus::Missing);
        QCOMPARE(platform::readRegularFile(linked, data), platform::ReadStatus::Ok);
        QCOMPARE(platform::readRegularFile(linked, data, 100, false),
                 platform::ReadStatus::NotRegular);
        QCOMPARE(ReadSettingFrom(linked, QStringLiteral("Configuration"), QStringLiteral("Langue")),
                 QStringLiteral("1"));
        for (const QString& path : {fifo, zero, big}) {
            QCOMPARE(
                ReadSettingFrom(path, QStringLiteral("Configuration"), QStringLiteral("Langue")),
                QString());
            QVERIFY(!PrivateProfile::write(path, QStringLiteral("Processing"),
                                           QStringLiteral("LastFileNumber"), QStringLiteral("7")));
            QVERIFY(!unreadableFileMessage(path, false).isEmpty());
        }
        QVERIFY(QFileInfo(fifo).isFile() == false && QFileInfo(fifo).exists());
        QCOMPARE(QFileInfo(zero).symLinkTarget(), QStringLiteral("/dev/zero"));
        QCOMPARE(filekit::readFile(big), huge);
        QVERIFY(unreadableFileMessage(fifo, false).startsWith("Unreadable file: " + fifo));
        QVERIFY(unreadableFileMessage(big, true).contains(QStringLiteral("Il dépasse 8 Mio")));
        QCOMPARE(unreadableFileMessage(linked, false), QString());
        QCOMPARE(unreadableFileMessage(dir.filePath(QStringLiteral("none")), false), QString());
    }

    // A stored prefix that the prefix dialog would refuse, or that makes
    // archives hidden files, is not used: "RA" stands in for it.
    void unusableStoredPrefixFallsBack() {
        QTemporaryDir dir;
        const QString ini = dir.filePath(QStringLiteral("Velmorado.ini"));
        const QStringList refused = {QStringLiteral(".A"),  QStringLiteral(".."),
                                     QStringLiteral("A?"),  QStringLiteral("A/"),
                                     QStringLiteral("R"),   QStringLiteral("RAX"),
                                     QStringLiteral("A\\"), QStringLiteral("R A")};
        for (const QString& stored : refused) {
            WriteSettingTo(ini, kSectionConfiguration, QStringLiteral("PrefixeFichiersCompresses"),
                           stored);
            Settings s;
            s.load(ini, dir.path());
            QCOMPARE(s.prefix, QStringLiteral("RA"));
            QCOMPARE(s.refusedPrefix, stored);
        }
        WriteSettingTo(ini, kSectionConfiguration, QStringLiteral("PrefixeFichiersCompresses"),
                       QStringLiteral("ZX"));
        Settings s;
        s.load(ini, dir.path());
        QCOMPARE(s.prefix, QStringLiteral("ZX"));
        QVERIFY(s.refusedPrefix.isEmpty());
    }

    // Writes that were killed part-way leave ".Velmorado.ini.XXXXXX"; the
    // ones nobody holds go, one that a live writer holds locked stays, and
    // so do files that only look alike.
    void staleWriteTemporariesAreCleared() {
        QTemporaryDir dir;
        const QString ini = dir.filePath(QStringLiteral("Velmorado.ini"));
        QVERIFY(PrivateProfile::write(ini, QStringLiteral("A"), QStringLiteral("b"),
                                      QStringLiteral("c")));
        for (const char* name :
             {".Velmorado.ini.Ab12Cd", ".Velmorado.ini.zzzzzz", ".Velmorado.ini.held01",
              ".Velmorado.ini.bak", ".Velmorado.ini.Ab12Cd7", ".Velmorado.w.Ab12Cd"}) {
            filekit::writeFile(dir.filePath(QString::fromLatin1(name)), "left");
        }
        const int held = ::open(QFile::encodeName(dir.filePath(".Velmorado.ini.held01")), O_RDWR);
        struct flock lock {};
        lock.l_type = F_WRLCK;
        lock.l_whence = SEEK_SET;
        QCOMPARE(::fcntl(held, F_OFD_SETLK, &lock), 0);
        QCOMPARE(platform::clearStaleWriteTemporaries(ini), 2);
        QCOMPARE(filekit::entries(dir.path()),
                 QStringList({".Velmorado.ini.Ab12Cd7", ".Velmorado.ini.bak",
                              ".Velmorado.ini.held01", ".Velmorado.w.Ab12Cd", "Velmorado.ini"}));
        // A write goes on beside a temporary file that another writer holds.
        QVERIFY(PrivateProfile::write(ini, QStringLiteral("A"), QStringLiteral("b"),
                                      QStringLiteral("d")));
        QCOMPARE(ReadSettingFrom(ini, QStringLiteral("A"), QStringLiteral("b")),
                 QStringLiteral("d"));
        ::close(held);
        QCOMPARE(platform::clearStaleWriteTemporaries(ini), 1);

        // A clearer that runs all the while never takes a live write's file.
        std::atomic<bool> done{false};
        std::thread clearer([&] {
            while (!done) {
                platform::clearStaleWriteTemporaries(ini);
            }
        });
        int failed = 0;
        for (int i = 0; i < 200; ++i) {
            failed += PrivateProfile::write(ini, QStringLiteral("Processing"),
                                            QStringLiteral("LastFileNumber"), QString::number(i))
                          ? 0
                          : 1;
        }
        done = true;
        clearer.join();
        QCOMPARE(failed, 0);
        QCOMPARE(
            ReadSettingFrom(ini, QStringLiteral("Processing"), QStringLiteral("LastFileNumber")),
            QStringLiteral("199"));
    }

    void hexTextEncodesUtf16LittleEndianAndRoundTrips() {
        QCOMPARE(EncodeHexText(QStringLiteral("ab")), QStringLiteral("61006200"));
        QCOMPARE(EncodeHexText(QStringLiteral("C:\\A")), QStringLiteral("43003A005C004100"));
        QCOMPARE(EncodeHexText(QString()), QString());
        QCOMPARE(EncodeHexText(QString(QChar(0x0410))), QStringLiteral("1004"));
        QCOMPARE(EncodeHexText(QString(QChar(0x2010))), QStringLiteral("1020"));
        QCOMPARE(DecodeHexText(QStringLiteral("61006200")), QStringLiteral("ab"));
        QCOMPARE(DecodeHexText(QStringLiteral("6a006B00")), QStringLiteral("jk"));
        QCOMPARE(DecodeHexText(QString()), QString());
        // Anything but hexadecimal digits is as invalid as an odd length: read
        // as 0, "ZZZZ" put a NUL in a path and cut it short there.
        for (const char* bad :
             {"6100620", "4G00", "G400", "43005A5AZZZZ4100", "61 00", "6100-200"}) {
            QVERIFY2(!TryDecodeHexText(QString::fromLatin1(bad)).has_value(), bad);
        }
        // Round trips, outside the BMP too, always upper case.
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
};

// Child mode: "--reader FILE N" reads the file N times and fails on any read
// that is not whole.
int main(int argc, char* argv[]) {
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
