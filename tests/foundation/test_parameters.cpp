// The parameters file: value rules, defaults, the writer, the hexadecimal text.
#include "config/HexText.h"
#include "config/PrivateProfile.h"
#include "config/Settings.h"
#include "config/ValueRules.h"
#include "platform/AtomicFile.h"

#include "FileKit.h"

#include <atomic>
#include <thread>

using namespace config;

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
    void write(const QString& key, const QString& value) {
        WriteSettingTo(ini, kSectionConfiguration, key, value);
    }

private Q_SLOTS:
    void init() {
        dir = std::make_unique<QTemporaryDir>();
        ini = dir->filePath("Velmorado.ini");
    }

    // Zero is the default, a leading number counts, halves go to even, the
    // dialog's limits hold, "&H" is hexadecimal.
    void storedValuesFollowTheRules() {
        QList<int> values;
        for (const char* stored : {"0", "15abc", "3.5", "-4", "99999", "-99999", "&H1F"}) {
            write("Temporisation", stored);
            values << load().temporisation;
        }
        QCOMPARE(values, QList<int>({10, 15, 4, -4, 60000, -32768, 31}));
    }

    // Every key under the name other copies store it: one the program spelt
    // otherwise would keep its default here.
    void everyKeyIsReadUnderItsStoredName() {
        const QString logs = dir->filePath("logs");
        QVERIFY(
            QDir().mkpath(logs) &&
            filekit::writeFile(
                ini, "[Configuration]\r\nLangue=1\r\nTemporisation=25\r\nPerformance=3\r\n"
                     "PrefixeFichiersCompresses=ZX\r\nVoirConsoleRar=1\r\nAfficherFichiers=1\r\n"
                     "Automatique=1\r\nArretAutomatique=1\r\nErreurDossier=1\r\n"
                     "ErreurDossierSon=1\r\nErreurDossierNetSend=1\r\nMessageNetSend=hello\r\n"
                     "ErreurDossierEventLog=1\r\nFormatRar5=1\r\n[Logs]\r\nLogs=1\r\nFichiersLogs="
                     "1\r\nPathLogs=" +
                         logs.toUtf8() + "\r\nPurgeLogs=1\r\nDelaiLogs=7\r\n"));
        const Settings s = load();
        QCOMPARE(QList<int>({s.language, s.temporisation, s.performance, s.delaiLogs}),
                 QList<int>({1, 25, 3, 7}));
        QCOMPARE(QStringList({s.prefix, s.messageNetSend, s.pathLogs}),
                 QStringList({"ZX", "hello", logs}));
        QVERIFY(s.voirConsoleRar && s.afficherFichiers && s.automatique && s.arretAutomatique &&
                s.erreurDossier && s.erreurDossierSon && s.erreurDossierNetSend &&
                s.erreurDossierEventLog && s.formatRar5 && s.logs && s.fichiersLogs && s.purgeLogs);
    }

    // A flag is on for "1" only (no blanks around); a text is cut at 254; an
    // empty one, and a log folder that is gone (the key keeps it), fall back;
    // a line break in a value cannot make a line of its own.
    void flagsTextsAndLineBreaks() {
        filekit::writeFile(ini, "[Configuration]\r\nErreurDossier=yes\r\nErreurDossierSon=-1\r\n"
                                "Automatique= 1 \r\nFormatRar5=yes\r\n[Logs]\r\nLogs=1\r\n");
        write("MessageNetSend", QString(300, 'x'));
        QCOMPARE(read(kSectionConfiguration, "MessageNetSend"), QString(254, 'x'));
        write("MessageNetSend", QString());
        WriteSettingTo(ini, kSectionLogs, "PathLogs", dir->filePath("gone"));
        const Settings s = load();
        QVERIFY(!s.erreurDossier && !s.erreurDossierSon && s.automatique && !s.formatRar5 &&
                s.logs);
        QCOMPARE(s.messageNetSend, kDefaultMessageNetSend);
        QCOMPARE(s.pathLogs, dir->path());
        QCOMPARE(read(kSectionLogs, "PathLogs"), dir->filePath("gone"));
        write("MessageNetSend", "a\r\n[Logs]\r\nLogs=2");
        QCOMPARE(read(kSectionLogs, "Logs"), "1");
    }

    // Reading ignores case and comments; a write changes only its value, a
    // new key goes to the end of its section, a new section to the end. A
    // thread reading and clearing stale write temporaries all the while never
    // sees a file that a write has not finished, nor takes a live write's file.
    void aWriteChangesOnlyItsValueAndReadersNeverSeeItHalfDone() {
        QByteArray expected = "; Velmorado settings, edited by hand\r\n\r\n[configuration]\r\n"
                              "  LANGUE = 1\r\n; the wait between passes\r\ntemporisation=15abc"
                              "\r\n\r\n[Rar_1]\r\nNbTemporisations=3\r\n# a trailing comment\r\n";
        for (int i = 0; i < 200; ++i) { // long, so that a torn read has room to show
            expected += "; filler line " + QByteArray::number(i) + "\r\n";
        }
        filekit::writeFile(ini, expected);
        QCOMPARE(read("RAR_1", "nbtemporisations"), "3");
        QCOMPARE(read("Rar_2", "NbTemporisations"), QString());
        QCOMPARE(readLanguage(ini), 1);
        WriteSettingTo(ini, "CONFIGURATION", "Temporisation", "20");
        write("Performance", "3");
        expected.replace("temporisation=15abc", "temporisation=20\r\nPerformance=3");
        std::atomic<bool> done{false};
        std::atomic<int> reads{0}, partial{0}, failed{0};
        std::thread other([&] {
            for (; !done; ++reads) {
                platform::clearStaleWriteTemporaries(ini);
                const QByteArray data = filekit::readFile(ini);
                partial += data != expected &&
                           !(data.endsWith("\r\n") &&
                             data.startsWith(expected + "\r\n[Processing]\r\nLastFileNumber="));
            }
        });
        while (reads == 0) {
            std::this_thread::yield();
        }
        for (int i = 0; i <= 400; ++i) {
            failed +=
                !PrivateProfile::write(ini, "Processing", "LastFileNumber", QString::number(i));
        }
        done = true;
        other.join();
        QCOMPARE(int(partial) + int(failed), 0);
        QCOMPARE(filekit::readFile(ini), expected + "\r\n[Processing]\r\nLastFileNumber=400\r\n");
    }

    // Only regular files are read, up to the limit (a pipe must not block, a
    // device not run out of memory), and never replaced by a write.
    void onlyRegularFilesAreReadAndNothingUnreadableIsOverwritten() {
        const QString fifo = dir->filePath("fifo.ini"), zero = dir->filePath("zero.ini");
        const QString big = dir->filePath("big.ini"), linked = dir->filePath("linked.ini");
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        QVERIFY(QFile::link("/dev/zero", zero));
        const QByteArray huge =
            "[Configuration]\r\nLangue=1\r\n;" + QByteArray(int(platform::kMaxReadSize), 'x');
        filekit::writeFile(big, huge);
        QByteArray data;
        QCOMPARE(platform::readRegularFile(big, data), platform::ReadStatus::TooLarge);
        QVERIFY(filekit::writeFile(dir->filePath("real.ini"), "[Configuration]\r\nLangue=1\r\n") &&
                QFile::link("real.ini", linked));
        QCOMPARE(ReadSettingFrom(linked, "Configuration", "Langue"), "1");
        QCOMPARE(platform::readRegularFile(linked, data, 100, false),
                 platform::ReadStatus::NotRegular);
        for (const QString& path : {fifo, zero, big}) {
            QCOMPARE(ReadSettingFrom(path, "Configuration", "Langue"), QString());
            QVERIFY(!PrivateProfile::write(path, "Processing", "LastFileNumber", "7"));
            QVERIFY(unreadableFileMessage(path, false).startsWith("Unreadable file: " + path));
        }
        QVERIFY(!QFileInfo(fifo).isFile() && QFileInfo(zero).symLinkTarget() == "/dev/zero");
        QCOMPARE(filekit::readFile(big), huge);
    }

    // A stored prefix that the prefix dialog or a compression would refuse
    // (the archiver's wildcard brackets, a leading dot that makes hidden
    // archives) is not used: "RA" stands in for it. The length is told first.
    void unusableStoredPrefixFallsBack() {
        using F = PrefixFault;
        const QList<std::pair<QString, F>> table{
            {".A", F::LeadingDot},   {"..", F::LeadingDot}, {"A?", F::Character},
            {"[A", F::Character},    {"A]", F::Character},  {"A\\", F::Character},
            {"A\x01", F::Character}, {"R", F::Length},      {"???", F::Length},
            {"ZX", F::None},         {"É1", F::None},       {"A.", F::None}};
        for (const auto& [stored, fault] : table) {
            QCOMPARE(prefixFault(stored), fault);
            write("PrefixeFichiersCompresses", stored);
            const Settings s = load();
            QCOMPARE(s.prefix, fault == F::None ? stored : "RA");
            QCOMPARE(s.refusedPrefix, fault == F::None ? QString() : stored);
        }
        QCOMPARE(prefixFault("A\t"), F::Character); // the file trims blanks, the dialog not all
    }

    // UTF-16 units low byte first, upper case, outside the BMP too; anything
    // but hexadecimal digits is invalid ("ZZZZ" once put a NUL in a path).
    void hexTextEncodesUtf16LittleEndianAndRoundTrips() {
        QCOMPARE(EncodeHexText("C:\\A") + EncodeHexText(QString(QChar(0x2010))),
                 "43003A005C0041001020");
        QCOMPARE(DecodeHexText("6a006B00"), "jk");
        for (const char* bad :
             {"6100620", "4G00", "G400", "43005A5AZZZZ4100", "61 00", "6100-200"}) {
            QVERIFY2(!TryDecodeHexText(bad).has_value(), bad);
        }
        for (const QString name :
             {"/srv/Dépôt/Ωmega report.doc", "\U0001F4C1 dossier \U0001D11E"}) {
            QCOMPARE(DecodeHexText(EncodeHexText(name)), name);
        }
    }
};

QTEST_GUILESS_MAIN(TestParameters)
#include "test_parameters.moc"
