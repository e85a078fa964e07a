// Compression and extraction of single files with the real bundled archiver,
// on real folders.

#include "DataPathKit.h"
#include "config/ProgramValues.h"
#include "config/Settings.h"
#include "engine/EngineState.h"
#include "engine/RarRunner.h"
#include "platform/FileOps.h"

#include <QRandomGenerator>
#include <QTemporaryDir>

#include <memory>

using engine::FileOutcome;

class TestRarRunner : public QObject {
    Q_OBJECT

private slots:
    void init();
    void roundTrips_data();
    void roundTrips();
    void numbersArchives();
    void recognisesNames();
    void relaysAndMovesUnchanged();
    void pairOnOneFolderKeepsItsFiles();
    void refusesBadNameFiles_data();
    void refusesBadNameFiles();
    void archiverMissing();
    void archiverFailureAndEmptyArchive();

private:
    FileOutcome run(bool compressing, const QString& s, const QString& t, const QString& name) {
        engine::state().sourceFolder = s;
        engine::state().targetFolder = t;
        engine::state().currentFile = name;
        return compressing ? engine::CompressFile() : engine::ExtractFile();
    }
    FileOutcome compress(const QString& s, const QString& t, const QString& n) {
        return run(true, s, t, n);
    }
    FileOutcome extract(const QString& s, const QString& t, const QString& n) {
        return run(false, s, t, n);
    }
    static QString lastNumber() {
        return config::ReadSetting(config::kSectionProcessing, QStringLiteral("LastFileNumber"));
    }

    std::unique_ptr<QTemporaryDir> m_root;
    QString m_prog, m_src, m_tgt, m_out; // folders of a pair end with "/"
};

void TestRarRunner::init() {
    m_root = std::make_unique<QTemporaryDir>();
    m_prog = m_root->filePath(QStringLiteral("prog"));
    m_src = m_root->filePath(QStringLiteral("src/"));
    m_tgt = m_root->filePath(QStringLiteral("tgt/"));
    m_out = m_root->filePath(QStringLiteral("out/"));
    for (const QString& f : {m_prog, m_src, m_tgt, m_out}) {
        QVERIFY(QDir().mkdir(f));
    }
    QVERIFY(QFile::link(QStringLiteral(VELMORADO_BIN_DIR "/rar"), m_prog + QStringLiteral("/rar")));
    config::setProgramFolder(m_prog);
    config::program().language = 0;
    config::settings() = config::Settings{};
    engine::state() = engine::EngineState{};
    engine::state().dayLogPath = m_root->filePath(QStringLiteral("day.htm"));
}

void TestRarRunner::roundTrips_data() {
    QTest::addColumn<QString>("name");
    QTest::newRow("greek") << QStringLiteral("Ωmega report.doc");
    QTest::newRow("spaces") << QStringLiteral("  two  spaces .txt");
    QTest::newRow("marks") << QStringLiteral("bang!100%.txt");
    QTest::newRow("quotes") << QStringLiteral("say \"hi\".txt");
    QTest::newRow("markup") << QStringLiteral("a&<b>.txt");
    QTest::newRow("dash") << QStringLiteral("-rf");
    QTest::newRow("255 bytes") << QString(251, QLatin1Char('n')) + QStringLiteral(".txt");
}

void TestRarRunner::roundTrips() {
    QFETCH(QString, name);
    QByteArray data(70000, '\0');
    QRandomGenerator::global()->fillRange(reinterpret_cast<quint32*>(data.data()), 70000 / 4);
    writeFile(m_src + name, data);
    const QByteArray stream("\0fork\xff", 6);
    const bool xattrs = setXattr(m_src + name, "user.DosStream.AFP_Resource:$DATA", stream);

    QCOMPARE(compress(m_src, m_tgt, name), FileOutcome::Done);
    QCOMPARE(entries(m_src), QStringList());
    QCOMPARE(entries(m_tgt), QStringList{"RA000001.rar"});
    QCOMPARE(lastNumber(), QStringLiteral("1"));
    QCOMPARE(extract(m_tgt, m_out, QStringLiteral("RA000001.rar")), FileOutcome::Done);
    QCOMPARE(engine::state().compressed + engine::state().uncompressed, 2);
    QCOMPARE(entries(m_tgt), QStringList());
    QCOMPARE(entries(m_out), QStringList{name});
    QCOMPARE(readFile(m_out + name), data);
    if (!xattrs) {
        QSKIP("the temporary folder refuses user extended attributes");
    }
    QCOMPARE(getXattr(m_out + name, "user.DosStream.AFP_Resource:$DATA"), stream);
}

void TestRarRunner::numbersArchives() {
    writeFile(m_src + QStringLiteral("one"), "1");
    QCOMPARE(compress(m_src, m_tgt, QStringLiteral("one")), FileOutcome::Done);
    QCOMPARE(lastNumber(), QStringLiteral("1"));
    config::WriteSetting(config::kSectionProcessing, QStringLiteral("LastFileNumber"),
                         QStringLiteral("999999"));
    writeFile(m_src + QStringLiteral("two"), "2");
    QCOMPARE(compress(m_src, m_tgt, QStringLiteral("two")), FileOutcome::Done);
    QCOMPARE(lastNumber(), QStringLiteral("0"));
    QCOMPARE(entries(m_tgt), (QStringList{"RA000000.rar", "RA000001.rar"}));

    // 1 is in the target, 2 is an archive still in the source folder, 3 a
    // name file left there: none of them is touched and 4 is used.
    const QByteArray older = readFile(m_tgt + QStringLiteral("RA000001.rar"));
    writeFile(m_src + QStringLiteral("RA000002.rar"), "waiting to be relayed");
    writeFile(m_src + QStringLiteral("RA000003.rn"), "\"61006200\"\r\n");
    writeFile(m_src + QStringLiteral("three"), "3");
    QCOMPARE(compress(m_src, m_tgt, QStringLiteral("three")), FileOutcome::Done);
    QCOMPARE(readFile(m_tgt + QStringLiteral("RA000001.rar")), older);
    QCOMPARE(entries(m_src), (QStringList{"RA000002.rar", "RA000003.rn"}));
    QCOMPARE(entries(m_tgt), (QStringList{"RA000000.rar", "RA000001.rar", "RA000004.rar"}));
    QCOMPARE(lastNumber(), QStringLiteral("4"));
    QCOMPARE(extract(m_tgt, m_out, QStringLiteral("RA000004.rar")), FileOutcome::Done);
    QCOMPARE(readFile(m_out + QStringLiteral("three")), QByteArray("3"));
}

void TestRarRunner::recognisesNames() {
    const QString ra = QStringLiteral("RA");
    for (const char* yes : {"RA004711.rar", "ra004711.RAR"}) {
        QVERIFY2(engine::IsNumberedArchive(QString::fromLatin1(yes), ra), yes);
    }
    for (const char* no : {"RA04711.rar", "RB004711.rar", "RA00A711.rar", "RA0047110rar"}) {
        QVERIFY2(!engine::IsNumberedArchive(QString::fromLatin1(no), ra), no);
    }
    QString base;
    QVERIFY(engine::IsOwnTemporaryFile(QStringLiteral("ra000124.RN"), ra, &base));
    QCOMPARE(base, QStringLiteral("ra000124"));
    for (const char* no : {"RA000123.rar", "RB000123.rr", "RA00012.rn", "RA00012x.rn"}) {
        QVERIFY2(!engine::IsOwnTemporaryFile(QString::fromLatin1(no), ra), no);
    }
}

void TestRarRunner::relaysAndMovesUnchanged() {
    config::settings().logs = config::settings().fichiersLogs = true;
    writeFile(m_src + QStringLiteral("RA004711.rar"), "archive bytes");
    QCOMPARE(compress(m_src, m_tgt, QStringLiteral("RA004711.rar")), FileOutcome::Done);
    QCOMPARE(readFile(m_tgt + QStringLiteral("RA004711.rar")), QByteArray("archive bytes"));
    QCOMPARE(lastNumber(), QString()); // a relay uses no number

    writeFile(m_tgt + QStringLiteral("doc.txt"), "old");
    writeFile(m_src + QStringLiteral("doc.txt"), "new");
    QCOMPARE(extract(m_src, m_tgt, QStringLiteral("doc.txt")), FileOutcome::Done);
    QCOMPARE(readFile(m_tgt + QStringLiteral("doc.txt")), QByteArray("new"));
    QCOMPARE(entries(m_src), QStringList());
    QCOMPARE(engine::state().compressed + engine::state().uncompressed, 2);
    QCOMPARE(readFile(engine::state().dayLogPath),
             "\xEF\xBB\xBF" + ("<small><b>Rar</b> - " + m_src + "RA004711.rar -> " + m_tgt +
                               "RA004711.rar</small><br>\r\n<small><b>Unrar</b> - " + m_src +
                               "doc.txt -> " + m_tgt + "doc.txt</small><br>\r\n")
                                  .toUtf8());

    // A log line that cannot be written ends the walk after a relay or a
    // move, the file being done; after a compression it is ignored.
    engine::state().dayLogPath = m_root->filePath(QStringLiteral("no folder/day.htm"));
    writeFile(m_src + QStringLiteral("next.txt"), "n");
    QCOMPARE(extract(m_src, m_tgt, QStringLiteral("next.txt")), FileOutcome::EndWalk);
    QCOMPARE(readFile(m_tgt + QStringLiteral("next.txt")), QByteArray("n"));
    writeFile(m_src + QStringLiteral("RA000077.rar"), "a");
    QCOMPARE(compress(m_src, m_tgt, QStringLiteral("RA000077.rar")), FileOutcome::EndWalk);
    writeFile(m_src + QStringLiteral("plain"), "p");
    QCOMPARE(compress(m_src, m_tgt, QStringLiteral("plain")), FileOutcome::Done);
}

void TestRarRunner::pairOnOneFolderKeepsItsFiles() {
    const QString& f = m_src;
    writeFile(f + QStringLiteral("b.txt"), "plain");
    QCOMPARE(extract(f, f, QStringLiteral("b.txt")), FileOutcome::Stopped);
    QCOMPARE(readFile(f + QStringLiteral("b.txt")), QByteArray("plain"));

    writeFile(f + QStringLiteral("a.txt"), "to pack");
    QCOMPARE(compress(f, f, QStringLiteral("a.txt")), FileOutcome::Done);
    QCOMPARE(entries(f), (QStringList{"RA000001.rar", "b.txt"}));
    const QByteArray archive = readFile(f + QStringLiteral("RA000001.rar"));
    QCOMPARE(compress(f, f, QStringLiteral("RA000001.rar")), FileOutcome::Stopped);
    QCOMPARE(readFile(f + QStringLiteral("RA000001.rar")), archive);

    QCOMPARE(extract(f, f, QStringLiteral("RA000001.rar")), FileOutcome::Done);
    QCOMPARE(entries(f), (QStringList{"a.txt", "b.txt"}));
    QCOMPARE(readFile(f + QStringLiteral("a.txt")), QByteArray("to pack"));
}

void TestRarRunner::refusesBadNameFiles_data() {
    QTest::addColumn<QByteArray>("nameFile");
    QTest::newRow("odd length") << QByteArray("\"6100620\"\r\n");
    QTest::newRow("empty") << QByteArray("\"\"\r\n");
    QTest::newRow("dot") << QByteArray("\"2E00\"\r\n");
    QTest::newRow("dot dot") << QByteArray("\"2E002E00\"\r\n");
    QTest::newRow("climbs out") << QByteArray("\"2E002E002F0065007300630061007000650064\"\r\n");
    QTest::newRow("absolute") << QByteArray("\"2F0074006D0070002F0078\"\r\n");
    QTest::newRow("nul") << QByteArray("\"610000006200\"\r\n");
}

void TestRarRunner::refusesBadNameFiles() {
    QFETCH(QByteArray, nameFile);
    config::settings().logs = true;
    writeFile(m_src + QStringLiteral("RA000050.rr"), "precious");
    writeFile(m_src + QStringLiteral("RA000050.rn"), nameFile);
    QVERIFY(engine::RunRarConsole(false, "rar a -os \"" + m_src + "RA000050.rar\" \"" + m_src +
                                             "RA000050.r?\" -df"));
    QCOMPARE(entries(m_src), QStringList{"RA000050.rar"});
    const QByteArray archive = readFile(m_src + QStringLiteral("RA000050.rar"));

    // The program goes on, writes nothing anywhere, keeps the archive, and
    // says why in the day's log.
    QCOMPARE(extract(m_src, m_out, QStringLiteral("RA000050.rar")), FileOutcome::Stopped);
    QCOMPARE(entries(m_src), QStringList{"RA000050.rar"});
    QCOMPARE(readFile(m_src + QStringLiteral("RA000050.rar")), archive);
    QCOMPARE(entries(m_out), QStringList());
    QCOMPARE(entries(m_root->path()), (QStringList{"day.htm", "out", "prog", "src", "tgt"}));
    QVERIFY(readFile(engine::state().dayLogPath).contains((m_src + "RA000050.rar<br>").toUtf8()));
}

void TestRarRunner::archiverMissing() {
    QVERIFY(QFile::remove(m_prog + QStringLiteral("/rar")));
    const QByteArray oldPath = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(m_prog));
    writeFile(m_src + QStringLiteral("ab"), "user data");
    const FileOutcome outcome = compress(m_src, m_tgt, QStringLiteral("ab"));
    const bool checked = engine::CheckRarConsole();
    qputenv("PATH", oldPath);

    QCOMPARE(outcome, FileOutcome::Stopped);
    QVERIFY(!checked);
    QCOMPARE(entries(m_src), (QStringList{"RA000001.rn", "RA000001.rr"}));
    QCOMPARE(readFile(m_src + QStringLiteral("RA000001.rr")), QByteArray("user data"));
    QCOMPARE(readFile(m_src + QStringLiteral("RA000001.rn")), QByteArray("\"61006200\"\r\n"));
    QCOMPARE(lastNumber(), QString());
    QCOMPARE(engine::state().compressed, 0);
}

void TestRarRunner::archiverFailureAndEmptyArchive() {
    // This archiver notes each call; its extraction leaves damaged files
    // behind and reports a data error.
    const QString calls = m_root->filePath(QStringLiteral("calls"));
    QVERIFY(QFile::remove(m_prog + QStringLiteral("/rar")));
    writeFile(m_prog + QStringLiteral("/rar"),
              "#!/bin/sh\necho \"$@\" >> '" + QFile::encodeName(calls) +
                  "'\nprintf cut > RA000060.rr; printf '\"61006200\"' > RA000060.rn; exit 3\n",
              0755);
    writeFile(m_src + QStringLiteral("RA000009.rar"), "");
    QCOMPARE(extract(m_src, m_out, QStringLiteral("RA000009.rar")), FileOutcome::Stopped);
    QVERIFY(!platform::exists(calls)); // never handed to the archiver
    QCOMPARE(entries(m_src), QStringList{"RA000009.rar"});

    writeFile(m_src + QStringLiteral("RA000060.rar"), "damaged");
    QCOMPARE(extract(m_src, m_out, QStringLiteral("RA000060.rar")), FileOutcome::Stopped);
    QCOMPARE(readFile(calls), "e " + QFile::encodeName(m_src) + "RA000060.rar\n");
    QCOMPARE(entries(m_src), (QStringList{"RA000009.rar", "RA000060.rar"}));
    QCOMPARE(entries(m_out), QStringList());
    QCOMPARE(engine::state().uncompressed, 0);
}

QTEST_GUILESS_MAIN(TestRarRunner)
#include "test_rarrunner.moc"
