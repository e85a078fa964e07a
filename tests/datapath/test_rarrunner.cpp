// Compression and extraction of single files with the real bundled archiver,
// on real folders.

#include "DataPathKit.h"
#include "engine/RarRunner.h"
#include "platform/FileOps.h"

#include <csignal>
#include <sys/resource.h>

using engine::FileOutcome;

class TestRarRunner : public QObject {
    Q_OBJECT

private slots:
    void init() {
        m_folder.emplace();
        m_src = m_folder->root.filePath("src/");
        m_tgt = m_folder->root.filePath("tgt/");
        m_out = m_folder->root.filePath("out/");
        for (const QString& f : {m_src, m_tgt, m_out}) {
            QVERIFY(QDir().mkdir(f));
        }
        QVERIFY(QFile::link(VELMORADO_BIN_DIR "/rar", m_folder->prog + "/rar"));
        engine::state().dayLogPath = m_folder->root.filePath("day.htm");
    }

    void roundTrips_data() {
        QTest::addColumn<QString>("name");
        QTest::newRow("greek") << "Ωmega report.doc";
        QTest::newRow("spaces") << "  two  spaces .txt";
        QTest::newRow("marks") << "bang!100%.txt";
        QTest::newRow("quotes") << "say \"hi\".txt";
        QTest::newRow("markup") << "a&<b>.txt";
        QTest::newRow("dash") << "-rf";
        QTest::newRow("255 bytes") << QString(251, 'n') + ".txt";
    }

    // The file comes back byte for byte with its user.* attributes; the archive
    // in between is the first numbered one, with no LastFileNumber yet.
    void roundTrips() {
        QFETCH(QString, name);
        QByteArray data(70000, '\0');
        QRandomGenerator::global()->fillRange(reinterpret_cast<quint32*>(data.data()), 70000 / 4);
        writeFile(m_src + name, data);
        const QByteArray stream("\0fork\xff", 6);
        const bool xattrs = setXattr(m_src + name, "user.DosStream.AFP_Resource:$DATA", stream);

        QCOMPARE(compress(m_src, m_tgt, name), FileOutcome::Done);
        QCOMPARE(entries(m_src) + entries(m_tgt), QStringList{"RA000001.rar"});
        QCOMPARE(lastNumber(), "1");
        QCOMPARE(extract(m_tgt, m_out, "RA000001.rar"), FileOutcome::Done);
        QCOMPARE(engine::state().compressed + engine::state().uncompressed, 2);
        QCOMPARE(entries(m_tgt) + entries(m_out), QStringList{name});
        QCOMPARE(readFile(m_out + name), data);
        if (!xattrs) {
            QSKIP("the temporary folder refuses user extended attributes");
        }
        QCOMPARE(getXattr(m_out + name, "user.DosStream.AFP_Resource:$DATA"), stream);
    }

    // LastFileNumber 999999 wraps to 000000 (absent, it gives 000001: see
    // roundTrips). A number whose archive is in the target, or lies in the
    // source folder, or whose name file is left there, is skipped, and
    // LastFileNumber records the one used.
    void numbersArchives() {
        writeFile(m_tgt + "RA000001.rar", "an older archive");
        config::WriteSetting(config::kSectionProcessing, "LastFileNumber", "999999");
        writeFile(m_src + "two", "2");
        QCOMPARE(compress(m_src, m_tgt, "two"), FileOutcome::Done);
        QCOMPARE(lastNumber(), "0");
        QCOMPARE(entries(m_tgt), (QStringList{"RA000000.rar", "RA000001.rar"}));

        writeFile(m_src + "RA000002.rar", "waiting to be relayed");
        writeFile(m_src + "RA000003.rn", "\"61006200\"\r\n");
        writeFile(m_src + "three", "3");
        QCOMPARE(compress(m_src, m_tgt, "three"), FileOutcome::Done);
        QCOMPARE(readFile(m_tgt + "RA000001.rar"), QByteArray("an older archive"));
        QCOMPARE(entries(m_src), (QStringList{"RA000002.rar", "RA000003.rn"}));
        QCOMPARE(entries(m_tgt), (QStringList{"RA000000.rar", "RA000001.rar", "RA000004.rar"}));
        QCOMPARE(lastNumber(), "4");
    }

    void recognisesNames() {
        for (const char* yes : {"RA004711.rar", "ra004711.RAR"}) {
            QVERIFY2(engine::IsNumberedArchive(yes, "RA"), yes);
        }
        for (const char* no : {"RA04711.rar", "RB004711.rar", "RA00A711.rar", "RA0047110rar"}) {
            QVERIFY2(!engine::IsNumberedArchive(no, "RA"), no);
        }
        QString base;
        QVERIFY(engine::IsOwnTemporaryFile("ra000124.RN", "RA", &base) && base == "ra000124");
        QVERIFY(!engine::IsOwnTemporaryFile("RA000123.rar", "RA") &&
                !engine::IsOwnTemporaryFile("RA00012x.rn", "RA"));
    }

    // In compress mode a numbered archive is relayed unchanged (no number used);
    // in uncompress mode a plain file moves and replaces one of the same name.
    // A log line that cannot be written after a relay ends the walk, the file
    // being done; after a compression it is ignored.
    void relaysAndMovesUnchanged() {
        config::settings().logs = config::settings().fichiersLogs = true;
        writeFile(m_src + "RA004711.rar", "archive bytes");
        QCOMPARE(compress(m_src, m_tgt, "RA004711.rar"), FileOutcome::Done);
        QCOMPARE(readFile(m_tgt + "RA004711.rar"), QByteArray("archive bytes"));
        QCOMPARE(lastNumber(), QString());
        writeFile(m_tgt + "doc.txt", "old");
        writeFile(m_src + "doc.txt", "new");
        QCOMPARE(extract(m_src, m_tgt, "doc.txt"), FileOutcome::Done);
        QCOMPARE(readFile(m_tgt + "doc.txt"), QByteArray("new"));
        QCOMPARE(entries(m_src), QStringList());
        QCOMPARE(engine::state().compressed + engine::state().uncompressed, 2);
        QCOMPARE(readFile(engine::state().dayLogPath).count("</small><br>\r\n"), 2);

        engine::state().dayLogPath = m_folder->root.filePath("no folder/day.htm");
        writeFile(m_src + "RA000077.rar", "a");
        QCOMPARE(compress(m_src, m_tgt, "RA000077.rar"), FileOutcome::EndWalk);
        writeFile(m_src + "plain", "p"); // after a compression it is ignored
        QCOMPARE(compress(m_src, m_tgt, "plain"), FileOutcome::Done);
    }

    // A pair whose target is its source never deletes the file.
    void pairOnOneFolderKeepsItsFiles() {
        const QString& f = m_src;
        writeFile(f + "b.txt", "plain");
        QCOMPARE(extract(f, f, "b.txt"), FileOutcome::Stopped);
        QCOMPARE(readFile(f + "b.txt"), QByteArray("plain"));
        writeFile(f + "a.txt", "to pack");
        QCOMPARE(compress(f, f, "a.txt"), FileOutcome::Done);
        QCOMPARE(entries(f), (QStringList{"RA000001.rar", "b.txt"}));
        const QByteArray archive = readFile(f + "RA000001.rar");
        QCOMPARE(compress(f, f, "RA000001.rar"), FileOutcome::Stopped);
        QCOMPARE(readFile(f + "RA000001.rar"), archive);
        QCOMPARE(extract(f, f, "RA000001.rar"), FileOutcome::Done);
        QCOMPARE(entries(f), (QStringList{"a.txt", "b.txt"}));
        QCOMPARE(readFile(f + "a.txt"), QByteArray("to pack"));
    }

    void refusesBadNameFiles_data() {
        QTest::addColumn<QByteArray>("nameFile");
        QTest::newRow("odd length") << QByteArray("\"6100620\"\r\n");
        QTest::newRow("empty") << QByteArray("\"\"\r\n");
        QTest::newRow("dot") << QByteArray("\"2E00\"\r\n");
        QTest::newRow("dot dot") << QByteArray("\"2E002E00\"\r\n");
        QTest::newRow("climbs out") << QByteArray("\"2E002E002F0065007300630061007000650064\"\r\n");
        QTest::newRow("absolute") << QByteArray("\"2F0074006D0070002F0078\"\r\n");
        QTest::newRow("nul") << QByteArray("\"610000006200\"\r\n");
    }

    // An archive whose name file does not give a plain name: the program goes
    // on, writes nothing anywhere, keeps the archive and says why in the log.
    void refusesBadNameFiles() {
        QFETCH(QByteArray, nameFile);
        config::settings().logs = true;
        writeFile(m_src + "RA000050.rr", "precious");
        writeFile(m_src + "RA000050.rn", nameFile);
        QVERIFY(engine::RunRarConsole(false, "rar a -os \"" + m_src + "RA000050.rar\" \"" + m_src +
                                                 "RA000050.r?\" -df"));
        const QByteArray archive = readFile(m_src + "RA000050.rar");

        QCOMPARE(extract(m_src, m_out, "RA000050.rar"), FileOutcome::Stopped);
        QCOMPARE(entries(m_src), QStringList{"RA000050.rar"});
        QCOMPARE(readFile(m_src + "RA000050.rar"), archive);
        QCOMPARE(entries(m_folder->root.path()),
                 (QStringList{"day.htm", "out", "prog", "src", "tgt"}));
        QCOMPARE(entries(m_out), QStringList());
        QVERIFY(
            readFile(engine::state().dayLogPath).contains((m_src + "RA000050.rar<br>").toUtf8()));
    }

    // The name file is on disk before the file leaves its name: when it cannot
    // be written the file stays as it was; without the archiver both the data
    // and the name file stay. The number was handed out before anything was
    // made under it, and stays handed out.
    void archiverMissing() {
        writeFile(m_src + "ab", "user data");
        ::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{};
        ::getrlimit(RLIMIT_FSIZE, &limit);
        const rlimit full = limit;
        limit.rlim_cur = 0; // no byte can be written
        ::setrlimit(RLIMIT_FSIZE, &limit);
        const FileOutcome noNameFile = compress(m_src, m_tgt, "ab");
        ::setrlimit(RLIMIT_FSIZE, &full);
        QCOMPARE(noNameFile, FileOutcome::Stopped);
        QCOMPARE(entries(m_src), QStringList{"ab"});

        QVERIFY(QFile::remove(m_folder->prog + "/rar"));
        const QByteArray oldPath = qgetenv("PATH");
        qputenv("PATH", QFile::encodeName(m_folder->prog));
        const FileOutcome outcome = compress(m_src, m_tgt, "ab");
        const bool checked = engine::CheckRarConsole();
        qputenv("PATH", oldPath);
        QVERIFY(outcome == FileOutcome::Stopped && !checked);
        QCOMPARE(entries(m_src), (QStringList{"RA000001.rn", "RA000001.rr"}));
        QCOMPARE(readFile(m_src + "RA000001.rr"), QByteArray("user data"));
        QCOMPARE(readFile(m_src + "RA000001.rn"), QByteArray("\"61006200\"\r\n"));
        QCOMPARE(lastNumber(), "1");
    }

    // A hand-edited prefix that the archiver would read as a pattern could
    // sweep other files into the archive and delete them: nothing is done.
    void refusesAPatternPrefix() {
        writeFile(m_src + "report", "user data");
        writeFile(m_src + "RB000001.rr", "somebody else's file");
        config::settings().prefix = "R?";
        const FileOutcome outcome = compress(m_src, m_tgt, "report");
        config::settings().prefix = "RA";
        QCOMPARE(outcome, FileOutcome::Stopped);
        QCOMPARE(entries(m_src), (QStringList{"RB000001.rr", "report"}));
        QCOMPARE(readFile(m_src + "RB000001.rr"), QByteArray("somebody else's file"));
        QVERIFY(entries(m_tgt).isEmpty());
    }

    // An empty archive is never handed to the archiver; one the archiver
    // reports damaged stays, and what the archiver left of it is removed.
    void archiverFailureAndEmptyArchive() {
        const QString calls = m_folder->root.filePath("calls");
        QVERIFY(QFile::remove(m_folder->prog + "/rar")); // notes each call, leaves damaged files
        writeFile(m_folder->prog + "/rar",
                  "#!/bin/sh\necho \"$@\" >> '" + QFile::encodeName(calls) +
                      "'\nprintf cut > RA000060.rr; printf '\"61006200\"' > RA000060.rn; exit 3\n",
                  0755);
        writeFile(m_src + "RA000009.rar", "");
        QCOMPARE(extract(m_src, m_out, "RA000009.rar"), FileOutcome::Stopped);
        QVERIFY(!platform::exists(calls));

        writeFile(m_src + "RA000060.rar", "damaged");
        QCOMPARE(extract(m_src, m_out, "RA000060.rar"), FileOutcome::Stopped);
        QCOMPARE(readFile(calls), "e " + QFile::encodeName(m_src) + "RA000060.rar\n");
        QCOMPARE(entries(m_src), (QStringList{"RA000009.rar", "RA000060.rar"}));
        QCOMPARE(entries(m_out), QStringList());
    }

private:
    // The file n of folder s, compressed or extracted for the pair's target t.
    static FileOutcome run(bool compressing, const QString& s, const QString& t, const QString& n) {
        engine::state().sourceFolder = s, engine::state().targetFolder = t;
        engine::state().currentFile = n;
        return compressing ? engine::CompressFile() : engine::ExtractFile();
    }
    static FileOutcome compress(auto... a) { return run(true, a...); }
    static FileOutcome extract(auto... a) { return run(false, a...); }
    static QString lastNumber() {
        return config::ReadSetting(config::kSectionProcessing, "LastFileNumber");
    }

    std::optional<ProgramFolder> m_folder;
    QString m_src, m_tgt, m_out; // folders of a pair end with "/"
};

QTEST_GUILESS_MAIN(TestRarRunner)
#include "test_rarrunner.moc"
