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
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <cstdlib>
#include <thread>

using namespace config;

namespace {

const QByteArray kHandWritten = "; Velmorado settings, edited by hand\r\n\r\n[configuration]\r\n"
                                "  LANGUE = 1\r\n; the wait between passes\r\ntemporisation=15abc"
                                "\r\n\r\n[Rar_1]\r\nNbTemporisations=3\r\n# a trailing comment\r\n";

} // namespace

class TestParameters : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> dir;
    QString ini;

    Settings load() {
        Settings s;
        s.load(ini, dir->path());
        return s;
    }
    QString read(const QString& section, const QString& key) {
        return ReadSettingFrom(ini, section, key);
    }

private Q_SLOTS:
    void init() {
        dir = std::make_unique<QTemporaryDir>();
        ini = dir->filePath("Velmorado.ini");
    }

    void storedValuesFollowTheRules_data() {
        QTest::addColumn<QString>("temporisation");
        QTest::addColumn<int>("expected");
        QTest::newRow("zero becomes the default") << "0" << 10;
        QTest::newRow("leading number") << "15abc" << 15;
        QTest::newRow("half to even, up") << "3.5" << 4;
        QTest::newRow("negative stays") << "-4" << -4;
        QTest::newRow("past the dialog's top held there") << "99999" << 60000;
        QTest::newRow("far below held at the bottom") << "-99999" << -32768;
        QTest::newRow("hexadecimal prefix") << "&H1F" << 31;
    }
    void storedValuesFollowTheRules() {
        QFETCH(QString, temporisation);
        QFETCH(int, expected);
        WriteSettingTo(ini, kSectionConfiguration, "Temporisation", temporisation);
        QCOMPARE(int(load().temporisation), expected);
    }

    // Every key under the name other copies store it: one the program spelt
    // otherwise would keep its default here.
    void everyKeyIsReadUnderItsStoredName() {
        QVERIFY(QDir(dir->path()).mkpath("logs"));
        const QString logs = dir->filePath("logs");
        QVERIFY(filekit::writeFile(
            ini, "[Configuration]\r\nLangue=1\r\nTemporisation=25\r\nPerformance=3\r\n"
                 "PrefixeFichiersCompresses=ZX\r\nVoirConsoleRar=1\r\nAfficherFichiers=1\r\n"
                 "Automatique=1\r\nArretAutomatique=1\r\nErreurDossier=1\r\n"
                 "ErreurDossierSon=1\r\nErreurDossierNetSend=1\r\nMessageNetSend=hello\r\n"
                 "ErreurDossierEventLog=1\r\n[Logs]\r\nLogs=1\r\nFichiersLogs=1\r\nPathLogs=" +
                     logs.toUtf8() + "\r\nPurgeLogs=1\r\nDelaiLogs=7\r\n"));
        const Settings s = load();
        QCOMPARE(s.language, 1);
        QCOMPARE(s.temporisation, 25);
        QCOMPARE(s.performance, qint16(3));
        QCOMPARE(s.prefix, "ZX");
        QVERIFY(s.voirConsoleRar && s.afficherFichiers && s.automatique && s.arretAutomatique &&
                s.erreurDossier && s.erreurDossierSon && s.erreurDossierNetSend &&
                s.erreurDossierEventLog && s.logs && s.fichiersLogs && s.purgeLogs);
        QCOMPARE(s.messageNetSend, "hello");
        QCOMPARE(s.pathLogs, logs);
        QCOMPARE(s.delaiLogs, qint16(7));
    }

    // A flag is on for "1" only (blanks around a value are not part of it);
    // a text is cut at 254 characters, an empty one and a log folder that no
    // longer exists fall back (the stored key keeps the folder); a line
    // break in a value cannot make a line of its own.
    void flagsTextsAndLineBreaks() {
        for (const auto& [key, value] :
             {std::pair{"ErreurDossier", "yes"}, std::pair{"ErreurDossierSon", "-1"},
              std::pair{"Automatique", " 1 "}}) {
            WriteSettingTo(ini, kSectionConfiguration, key, value);
        }
        WriteSettingTo(ini, kSectionLogs, "Logs", "1");
        WriteSettingTo(ini, kSectionConfiguration, "MessageNetSend", QString(300, 'x'));
        QCOMPARE(read(kSectionConfiguration, "MessageNetSend"), QString(254, 'x'));
        WriteSettingTo(ini, kSectionConfiguration, "MessageNetSend", QString());
        WriteSettingTo(ini, kSectionLogs, "PathLogs", dir->filePath("gone"));
        const Settings s = load();
        QVERIFY(!s.erreurDossier && !s.erreurDossierSon && s.automatique && s.logs);
        QCOMPARE(s.messageNetSend, kDefaultMessageNetSend);
        QCOMPARE(s.pathLogs, dir->path());
        QCOMPARE(read(kSectionLogs, "PathLogs"), dir->filePath("gone"));
        WriteSettingTo(ini, kSectionConfiguration, "MessageNetSend", "a\r\n[Logs]\r\nLogs=2");
        QCOMPARE(read(kSectionLogs, "Logs"), "1");
    }

    // Reading ignores case and comments; a write changes only its value, a
    // new key goes to the end of its own section, a new section to the end.
    void aWriteChangesOnlyItsValue() {
        filekit::writeFile(ini, kHandWritten);
        QCOMPARE(read("Configuration", "Langue"), "1");
        QCOMPARE(read("RAR_1", "nbtemporisations"), "3");
        QCOMPARE(read("Rar_2", "NbTemporisations"), QString());
        QCOMPARE(readLanguage(ini), 1);
        WriteSettingTo(ini, "CONFIGURATION", "Temporisation", "20");
        WriteSettingTo(ini, "Configuration", "Performance", "3");
        WriteSettingTo(ini, "Processing", "LastFileNumber", "124");
        QByteArray expected = kHandWritten;
        expected.replace("temporisation=15abc", "temporisation=20\r\nPerformance=3");
        QCOMPARE(filekit::readFile(ini), expected + "\r\n[Processing]\r\nLastFileNumber=124\r\n");
    }

    // A reader in another process, reading all the while, never sees a file
    // that a write has not finished.
    void readersNeverSeeAHalfWrittenFile() {
        QByteArray padded = kHandWritten;
        for (int i = 0; i < 200; ++i) {
            padded += "; filler line " + QByteArray::number(i) + " keeps the file long\r\n";
        }
        filekit::writeFile(ini,
                           padded + "[Processing]\r\nLastFileNumber=0\r\n[End]\r\nMark=last\r\n");
        QProcess reader;
        reader.start(QCoreApplication::applicationFilePath(), {"--reader", ini, "4000"});
        QVERIFY(reader.waitForStarted());
        for (int i = 0; i < 400; ++i) {
            WriteSettingTo(ini, "Processing", "LastFileNumber", QString::number(i));
        }
        QVERIFY(reader.waitForFinished(120000));
        QCOMPARE(reader.exitCode(), 0);
        QCOMPARE(read("End", "Mark"), "last");
        QCOMPARE(read("Processing", "LastFileNumber"), "399");
    }

    // Only regular files are read, and only up to the limit: a pipe must not
    // block, a device must not run out of memory. A file that is there but
    // cannot be read is never replaced by a write that would lose the rest.
    void onlyRegularFilesAreReadAndNothingUnreadableIsOverwritten() {
        const QString fifo = dir->filePath("fifo.ini"), zero = dir->filePath("zero.ini");
        const QString big = dir->filePath("big.ini"), linked = dir->filePath("linked.ini");
        const QString none = dir->filePath("none");
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        QVERIFY(QFile::link("/dev/zero", zero));
        const QByteArray huge =
            "[Configuration]\r\nLangue=1\r\n;" + QByteArray(int(platform::kMaxReadSize), 'x');
        filekit::writeFile(big, huge);
        filekit::writeFile(dir->filePath("real.ini"), "[Configuration]\r\nLangue=1\r\n");
        QVERIFY(QFile::link("real.ini", linked));
        using platform::ReadStatus;
        QByteArray data;
        QCOMPARE(platform::readRegularFile(fifo, data), ReadStatus::NotRegular);
        QCOMPARE(platform::readRegularFile(zero, data), ReadStatus::NotRegular);
        QCOMPARE(platform::readRegularFile(big, data), ReadStatus::TooLarge);
        QCOMPARE(platform::readRegularFile(none, data), ReadStatus::Missing);
        QCOMPARE(platform::readRegularFile(linked, data), ReadStatus::Ok);
        QCOMPARE(platform::readRegularFile(linked, data, 100, false), ReadStatus::NotRegular);
        QCOMPARE(ReadSettingFrom(linked, "Configuration", "Langue"), "1");
        for (const QString& path : {fifo, zero, big}) {
            QCOMPARE(ReadSettingFrom(path, "Configuration", "Langue"), QString());
            QVERIFY(!PrivateProfile::write(path, "Processing", "LastFileNumber", "7"));
        }
        QVERIFY(!QFileInfo(fifo).isFile() && QFileInfo(fifo).exists());
        QCOMPARE(QFileInfo(zero).symLinkTarget(), "/dev/zero");
        QCOMPARE(filekit::readFile(big), huge);
        QVERIFY(unreadableFileMessage(fifo, false).startsWith("Unreadable file: " + fifo));
        QCOMPARE(unreadableFileMessage(linked, false), QString());
        QCOMPARE(unreadableFileMessage(none, false), QString());
    }

    // A stored prefix that the prefix dialog would refuse, or that makes
    // archives hidden files, is not used: "RA" stands in for it.
    void unusableStoredPrefixFallsBack() {
        for (const QString stored : {".A", "..", "A?", "A/", "R", "RAX", "A\\", "R A", "ZX"}) {
            WriteSettingTo(ini, kSectionConfiguration, "PrefixeFichiersCompresses", stored);
            const Settings s = load();
            QCOMPARE(s.prefix, stored == "ZX" ? "ZX" : "RA");
            QCOMPARE(s.refusedPrefix, stored == "ZX" ? QString() : stored);
        }
    }

    // Writes that were killed part-way leave ".Velmorado.ini.XXXXXX"; the
    // ones nobody holds go, one that a live writer holds locked stays, and
    // so do files that only look alike. A write goes on beside a temporary
    // file that another writer holds, and a clearer that runs all the while
    // never takes a live write's file.
    void staleWriteTemporariesAreCleared() {
        QVERIFY(PrivateProfile::write(ini, "A", "b", "c"));
        for (const char* name :
             {".Velmorado.ini.Ab12Cd", ".Velmorado.ini.zzzzzz", ".Velmorado.ini.held01",
              ".Velmorado.ini.bak", ".Velmorado.ini.Ab12Cd7", ".Velmorado.w.Ab12Cd"}) {
            filekit::writeFile(dir->filePath(name), "left");
        }
        const int held = ::open(QFile::encodeName(dir->filePath(".Velmorado.ini.held01")), O_RDWR);
        struct flock lock {};
        lock.l_type = F_WRLCK;
        QCOMPARE(::fcntl(held, F_OFD_SETLK, &lock), 0);
        QCOMPARE(platform::clearStaleWriteTemporaries(ini), 2);
        QCOMPARE(filekit::entries(dir->path()),
                 QStringList({".Velmorado.ini.Ab12Cd7", ".Velmorado.ini.bak",
                              ".Velmorado.ini.held01", ".Velmorado.w.Ab12Cd", "Velmorado.ini"}));
        QVERIFY(PrivateProfile::write(ini, "A", "b", "d"));
        QCOMPARE(read("A", "b"), "d");
        ::close(held);
        QCOMPARE(platform::clearStaleWriteTemporaries(ini), 1);
        std::atomic<bool> done{false};
        std::thread clearer([&] {
            while (!done) {
                platform::clearStaleWriteTemporaries(ini);
            }
        });
        int failed = 0;
        for (int i = 0; i < 200; ++i) {
            failed +=
                !PrivateProfile::write(ini, "Processing", "LastFileNumber", QString::number(i));
        }
        done = true;
        clearer.join();
        QCOMPARE(failed, 0);
        QCOMPARE(read("Processing", "LastFileNumber"), "199");
    }

    // UTF-16 units low byte first, upper case, outside the BMP too; anything
    // but hexadecimal digits is as invalid as an odd length (read as 0,
    // "ZZZZ" put a NUL in a path and cut it short there).
    void hexTextEncodesUtf16LittleEndianAndRoundTrips() {
        QCOMPARE(EncodeHexText("C:\\A"), "43003A005C004100");
        QCOMPARE(EncodeHexText(QString(QChar(0x2010))), "1020");
        QCOMPARE(DecodeHexText("6a006B00"), "jk");
        QCOMPARE(DecodeHexText(QString()), QString());
        for (const char* bad :
             {"6100620", "4G00", "G400", "43005A5AZZZZ4100", "61 00", "6100-200"}) {
            QVERIFY2(!TryDecodeHexText(bad).has_value(), bad);
        }
        for (const QString name :
             {"/srv/Dépôt/Ωmega report.doc", "\U0001F4C1 dossier \U0001D11E"}) {
            const QString hex = EncodeHexText(name);
            QCOMPARE(hex, hex.toUpper());
            QCOMPARE(DecodeHexText(hex), name);
        }
    }
};

// Child mode: "--reader FILE N" reads the file N times and fails on any read
// that is not whole.
int main(int argc, char* argv[]) {
    if (argc == 4 && std::strcmp(argv[1], "--reader") == 0) {
        for (int i = 0; i < std::atoi(argv[3]); ++i) {
            const QByteArray data = filekit::readFile(QString::fromLocal8Bit(argv[2]));
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
