// The whole program: two copies of the built programs, each in a folder of its
// own, on the same chained pairs (src -> arch compress, arch -> out uncompress).

#include "EngineTestKit.h"
#include "Rar5Kit.h"
#include "config/PrivateProfile.h"

using namespace kit;

class EndToEndTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // With FormatRar5=1 the compress pair makes a RAR 5 archive, and the
    // uncompress pair gives back the file under its own name, with its
    // bytes, its time to the nanosecond and its attributes.
    void aWindowsArchiveCarriesAFileWithItsAttributes() {
        kit::Program root;
        QVERIFY(writeFile(root.ini(), "[Configuration]\r\nFormatRar5=1\r\n"));
        config::settings().load(root.ini(), root.path());
        config::settings().pathLogs = root.path();
        const QString name = "Café \"report\" 😀.doc";
        const QByteArray data = filekit::randomBytes(300000, 9);
        drop(root.src, name, data);
        const QString file = in(root.src, name);
        if (!filekit::setXattr(file, "user.DosStream.AFP_Resource:$DATA", "fork") ||
            !filekit::setXattr(file, "user.xdg.origin.url", "https://example.org/")) {
            QSKIP("this file system keeps no user.* extended attributes");
        }
        const timespec t[2] = {{1600000000, 123456789}, {1600000000, 123456789}};
        QVERIFY(::utimensat(AT_FDCWD, QFile::encodeName(file), t, 0) == 0);
        const QList<QByteArray> attributes = filekit::userXattrs(file);

        Recorder window;
        walk(window, root.src, root.arch, true);
        const QStringList archives = entries(root.arch);
        QCOMPARE(archives.size(), 1);
        QVERIFY(readFile(in(root.arch, archives[0])).startsWith("Rar!\x1A\x07\x01"));
        unpackAll(window, root.arch, root.out);
        QCOMPARE(entries(root.src) + entries(root.arch), QStringList());
        QCOMPARE(entries(root.out), QStringList{name});
        const QString arrived = in(root.out, name);
        QCOMPARE(readFile(arrived), data);
        QCOMPARE(filekit::userXattrs(arrived), attributes);
        struct stat st {};
        QVERIFY(::stat(QFile::encodeName(arrived), &st) == 0);
        QCOMPARE(std::pair(st.st_mtim.tv_sec, st.st_mtim.tv_nsec),
                 std::pair(t[1].tv_sec, t[1].tv_nsec));
    }
    // A stream the archiver cannot give back (compressed by another archiver):
    // the file is delivered all the same, without it, and the day's log names
    // the stream with its archive and file; a stream it can give back is kept.
    void aStreamNotRestoredIsLoggedAndTheFileDelivered() {
        using namespace rar5kit;
        kit::Program root;
        config::settings().logs = true;
        const QString name = "notes d'été.txt";
        writeFile(in(root.arch, "RA000001.rar"),
                  rar5Archive({{2, "RA000001.rr", "the user's text"},
                               stream(":Zone.Identifier", "packed", 3),
                               stream(":AFP_Resource", "fork"),
                               {2, "RA000001.rn", nameLine(name)}}));
        Recorder window;
        unpackAll(window, root.arch, root.out);
        QCOMPARE(entries(root.arch), QStringList());
        QCOMPARE(entries(root.out), QStringList{name});
        QCOMPARE(readFile(in(root.out, name)), QByteArray("the user's text"));
        QCOMPARE(filekit::userXattrs(in(root.out, name)),
                 QList<QByteArray>{"user.DosStream.AFP_Resource:$DATA=fork"});
        const QStringList lines = logLines(root.path(), "Streams of the file not restored");
        QCOMPARE(lines.size(), 1);
        QVERIFY2(lines[0].contains("RA000001.rar") && lines[0].contains(name) &&
                     lines[0].contains(":Zone.Identifier"),
                 qPrintable(lines[0]));
    }
    // Two machines chained through a share, each counting its own numbers:
    // A packs the first version into the share, then the user saves the
    // second there, which B packs with the archive of A it relays. B's number
    // comes after A's, so the version saved last is the one that stays, also
    // when A's counter is the one behind (the wrap from 999999 to 0 included).
    void theVersionSavedLastWinsAcrossTwoMachines_data() {
        QTest::addColumn<int>("lastOfA");
        QTest::addColumn<int>("lastOfB");
        QTest::newRow("B behind A") << 100 << 0;
        QTest::newRow("B ahead of A") << 100 << 5000;
        QTest::newRow("A just before the wrap") << 999990 << 3;
    }
    void theVersionSavedLastWinsAcrossTwoMachines() {
        QFETCH(int, lastOfA);
        QFETCH(int, lastOfB);
        kit::Program root;
        const QString share = root.folder("share");
        const auto counter = [&](int last) {
            QVERIFY(config::PrivateProfile::write(config::program().parametersPath, "Processing",
                                                  "LastFileNumber", QString::number(last)));
        };
        Recorder window;
        counter(lastOfA);
        drop(root.src, "report.doc", "version 1");
        walk(window, root.src, share, true);
        drop(share, "report.doc", "version 2");
        counter(lastOfB);
        walk(window, share, root.arch, true);
        QCOMPARE(entries(root.arch).size(), 2);
        walk(window, root.arch, root.out, false);
        QCOMPARE(entries(root.arch), QStringList());
        QCOMPARE(readFile(in(root.out, "report.doc")), QByteArray("version 2"));
    }
    // Two machines on one share handing out the same numbers: every file arrives
    // once, whole, no archive replaces another, nothing of the program's is left.
    void twoCopiesOnTheSameFolders() {
        kit::Program root;
        constexpr int kFiles = 200;
        QHash<QString, QByteArray> files;
        for (int i = 0; i < kFiles; ++i) {
            const QString name = QStringLiteral("file %1.txt").arg(i, 3, 10, QLatin1Char('0'));
            files[name] = QByteArray::number(i) + QByteArray(i * 37 % 5000, char('a' + i % 26));
            drop(root.src, name, files[name]);
        }
        QProcess copies[2];
        using programkit::ProgramFolder;
        const ProgramFolder programs[2]{ProgramFolder({"velmorado", "rar"}),
                                        ProgramFolder({"velmorado", "rar"})};
        for (int c = 0; c < 2; ++c) {
            programs[c].writeIni("[Configuration]\r\nAutomatique=1\r\nTemporisation=1\r\n"
                                 "[Rar_1]\r\nNbTemporisations=1\r\nRar=0\r\nEnable=1\r\n"
                                 "[Rar_2]\r\nNbTemporisations=1\r\nRar=1\r\nEnable=1\r\n"
                                 "[Logs]\r\nLogs=1\r\nFichiersLogs=1\r\n");
            programs[c].writePairs({{root.src, root.arch}, {root.arch, root.out}});
            programs[c].start(copies[c]);
        }
        const auto over = [&] {
            return entries(root.out).size() >= kFiles &&
                   entries(root.src) + entries(root.arch) == QStringList();
        };
        (void)QTest::qWaitFor(over, 50000); // what is missing, the checks below say
        for (QProcess& copy : copies) {
            QVERIFY2(copy.state() == QProcess::Running, copy.readAllStandardError().constData());
            copy.kill();
            copy.waitForFinished(5000);
        }
        QHash<QString, int> delivered; // as both copies logged them
        int duplicates = 0, whole = 0;
        for (const ProgramFolder& program : programs) {
            const QStringList logs = QDir(program.path()).entryList({"Log Velmorado*.htm"});
            QCOMPARE(logs.size(), 1);
            for (const QString& line : QString::fromUtf8(readFile(program.filePath(logs[0])))
                                           .split("\r\n")
                                           .filter("<small><b>Unrar</b> - ")) {
                duplicates += delivered[line.section(" -> ", 1).section("</small>", 0, 0)]++;
            }
            QCOMPARE(entries(program.path()).filter(QRegularExpression("^(?!Log Velmorado|XDG_)")),
                     (QStringList{"Velmorado.ini", "Velmorado.w", "rar", "velmorado"}));
        }
        const QStringList arrived = entries(root.out);
        for (const QString& name : arrived) {
            whole += files.value(name, "<not sent>") == readFile(in(root.out, name));
        }
        QCOMPARE(whole, kFiles);
        QCOMPARE(int(arrived.size()), kFiles);
        QCOMPARE(duplicates, 0);
        QCOMPARE(delivered.size(), kFiles);
        QCOMPARE(entries(root.src) + entries(root.arch), QStringList());
    }
};

QTEST_GUILESS_MAIN(EndToEndTest)
#include "test_engine_end_to_end.moc"
