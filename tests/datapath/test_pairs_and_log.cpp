// The folder-pair list file and the daily log, on real files.

#include "DataPathKit.h"
#include "ProgramFolderKit.h"
#include "config/FolderPairs.h"
#include "engine/DailyLog.h"

using programkit::listLine;

static QStringList logNames(const QString& folder) {
    return QDir(folder).entryList({"Log Velmorado*.htm"}, QDir::Files, QDir::Name);
}

class TestPairsAndLog : public QObject {
    Q_OBJECT

private slots:
    void init() {
        m_folder.emplace();
        m_list = config::program().listFilePath;
    }

    // Pairs A, B, C with B removed: C becomes pair 2 with its own settings; the
    // list file is rewritten line for line; B's target is shown as not set.
    void removingAPairRenumbersTheRest() {
        const QString a = m_folder->root.filePath("A"), c = m_folder->root.filePath("C");
        QVERIFY(QDir().mkdir(a) && QDir().mkdir(c));
        const QByteArray lineA = listLine(a, c), lineC = listLine(c, "/gone/T");
        writeFile(m_list, lineA + listLine("/gone/B", "") + lineC);
        writeFile(config::program().parametersPath,
                  "[Rar_1]\r\nNbTemporisations=1\r\nRar=0\r\nEnable=1\r\n[Rar_2]\r\n"
                  "NbTemporisations=5\r\nRar=1\r\nEnable=0\r\n[Rar_3]\r\nNbTemporisations=7\r\n"
                  "Rar=2\r\nEnable=0\r\n");
        QVector<config::PairRowView> rows = config::LoadFolderPairs();
        QCOMPARE(rows.size(), 3);
        QCOMPARE(rows[1].sourceText + '|' + rows[1].targetText, "??? /gone/B|???");
        QCOMPARE(rows[2].targetText, "??? /gone/T");

        config::SaveFolderPairs({1, 3});
        QCOMPARE(readFile(m_list), lineA + lineC);
        rows = config::LoadFolderPairs();
        QCOMPARE(rows.size(), 2);
        QCOMPARE(rows[1].pairNumber, 2);
        const config::FolderPair& p = *config::folderPairs().pair(2);
        QCOMPARE(QStringList({p.source, p.nbTemporisations, p.remaining, p.rar, p.enable}),
                 QStringList({c, "7", "7", "2", "0"}));
    }

    // No list file, an empty one, and one with a line of two empty fields,
    // blanks before fields and no final line end; missing pair sections read
    // as "1", "0", "1".
    void readsListFilesOfAnyShape() {
        QVERIFY(config::LoadFolderPairs().isEmpty());
        writeFile(m_list, "");
        QVERIFY(config::LoadFolderPairs().isEmpty() && config::folderPairs().pairs.isEmpty());

        writeFile(m_list, "\"\",\"\"\r\n  \"4100\" ,  \"4200\"\r\n\"A903\",\"2F00A903\"");
        const QVector<config::PairRowView> rows = config::LoadFolderPairs();
        QCOMPARE(rows.size(), 3);
        QCOMPARE(rows[0].sourceText + '|' + rows[0].targetText, "??? |???");
        const auto& pairs = config::folderPairs().pairs;
        QCOMPARE(pairs[1].source + pairs[1].target + pairs[2].source + pairs[2].target, "ABΩ/Ω");
        QCOMPARE(pairs[0].nbTemporisations + pairs[0].remaining + pairs[0].rar + pairs[0].enable,
                 "1101");
        config::SaveFolderPairs({3, 1});
        QCOMPARE(readFile(m_list), QByteArray("\"A903\",\"2F00A903\"\r\n\"\",\"\"\r\n"));
    }

    // A pair placed past the end grows the table with empty pairs and keeps
    // the others; one placed inside replaces only its own; a number that is
    // no pair number (1 to 32767) changes nothing.
    void placesPairsByNumber() {
        config::FolderPairTable& table = config::folderPairs();
        table.pairs = {config::FolderPair{"/a", "/b", "1", "1", "0", "1"}};
        config::FolderPair added;
        added.source = "/c";
        const config::FolderPair* placed = table.place(3, added);
        QVERIFY(placed != nullptr && placed == table.pair(3));
        added.source = "/d";
        QVERIFY(table.place(2, added) && table.pairs.size() == 3);
        QCOMPARE(table.pair(1)->source + table.pair(1)->target + table.pair(2)->source +
                     table.pair(3)->source + table.pair(3)->enable,
                 "/a/b/d/c");
        QVERIFY(!table.place(0, added) && !table.place(32768, added) && table.pairs.size() == 3);
        QVERIFY(table.place(32767, added) && table.pairs.size() == 32767);
    }

    // A folder on a Macintosh volume (one above it holds "Network Trash Folder")
    // shows six blanks before its path; other systems test no folder.
    void marksMacintoshVolumes() {
        const QString mac = m_folder->root.filePath("Mac"),
                      other = m_folder->root.filePath("Other");
        const QString sub = mac + "/Sub/Deeper";
        QVERIFY(QDir().mkpath(sub) && QDir().mkpath(other));
        writeFile(mac + "/Network Trash Folder", "a plain file counts too");
        QVERIFY(config::IsMacintoshVolume(sub) && !config::IsMacintoshVolume(other));

        writeFile(m_list, listLine(sub, other));
        QVector<config::PairRowView> rows = config::LoadFolderPairs();
        QCOMPARE(rows[0].sourceText + '|' + rows[0].targetText, "      " + sub + '|' + other);
        QVERIFY(rows[0].sourceOnMac && !rows[0].targetOnMac);
        config::program().ntFlag = false;
        rows = config::LoadFolderPairs();
        QVERIFY(rows[0].sourceText == sub && !rows[0].sourceOnMac);
    }

    // A path that names a file, or that holds NUL (which would cut it short
    // at a file), is no folder: its row is marked missing. A list file that
    // cannot be read (here: past the size limit) loads no pairs, and a save
    // never replaces it, which would lose every pair it holds.
    void foldersMustBeFoldersAndUnreadableListsStay() {
        const QString file = m_folder->root.filePath("file"), dir = m_folder->root.filePath("dir");
        QVERIFY(QDir().mkdir(dir));
        writeFile(file, "x");
        writeFile(m_list, listLine(file, dir + QChar(0) + "/x") + listLine(dir, dir));
        QVector<config::PairRowView> rows = config::LoadFolderPairs();
        QCOMPARE(rows.size(), 2);
        QCOMPARE(rows[0].sourceText, "??? " + file);
        QVERIFY(rows[0].targetText.startsWith("??? " + dir));
        QCOMPARE(rows[1].sourceText + '|' + rows[1].targetText, dir + '|' + dir);

        const QByteArray large = listLine(dir, dir) + QByteArray(9 << 20, '\n');
        writeFile(m_list, large);
        QVERIFY(config::LoadFolderPairs().isEmpty());
        config::SaveFolderPairs({});
        QCOMPARE(readFile(m_list), large);
    }

    void purgesOldLogs() {
        const QString logs = m_folder->root.path();
        const QDate first(2026, 1, 1);
        const auto day = [&](int d) { return engine::dayLogPath(logs, first.addDays(d)); };
        QCOMPARE(day(0), logs + "/Log Velmorado 2026-01-01.htm");
        for (int d = 0; d < 10; ++d) {
            writeFile(day(d), "old");
        }
        writeFile(logs + "/Log Velmorado notes.txt", "not a log");

        // Ten logs kept: the eleventh day makes eleven, the twelfth ten again.
        QVERIFY(engine::writeLogHeader(day(10), first, false, true, 10));
        QCOMPARE(logNames(logs).size(), 11);
        QVERIFY(engine::writeLogHeader(day(11), first, false, true, 10));
        QCOMPARE(logNames(logs).size(), 10);
        QCOMPARE(logNames(logs).first(), "Log Velmorado 2026-01-03.htm");
        QVERIFY(QFile::exists(logs + "/Log Velmorado notes.txt"));

        // Far more logs than kept: all but the newest DelaiLogs - 1 go first.
        for (int d = 20; d < 60; ++d) {
            writeFile(day(d), "old");
        }
        QVERIFY(engine::writeLogHeader(day(60), first, false, true, 5));
        QCOMPARE(logNames(logs).first(), QFileInfo(day(56)).fileName());
        QCOMPARE(logNames(logs).size(), 5);
        QVERIFY(engine::writeLogHeader(day(61), first, false, false, 2)); // no PurgeLogs
        QCOMPARE(logNames(logs).size(), 6);
    }

    // The header lines (in the language of the day's first line), then each
    // kind of line with its text escaped for HTML.
    void writesHeaderAndLines() {
        config::setLanguage(1);
        engine::state().dayLogPath = engine::dayLogPath(m_folder->root.path(), QDate(2026, 12, 5));
        engine::WriteLogHeader();
        const QString date = QLocale::system().toString(QDate::currentDate(), QLocale::LongFormat);
        const QByteArray header =
            "\xEF\xBB\xBF<html>\r\n<head>\r\n<title>Logs Velmorado</title>\r\n"
            "</head>\r\n<body>\r\n<b><center><h1>Journal des compressions/"
            "d\xC3\xA9"
            "compressions</h1></center></b>\r\n<center><h3>" +
            date.toUtf8() + "</h3></center>\r\n";
        QCOMPARE(readFile(engine::state().dayLogPath), header);

        config::setLanguage(0); // the header is written once a day
        engine::WriteLogHeader();
        QVERIFY(engine::LogCompression("/in/a \"<&>\".txt", "/arch/RA000001.rar"));
        QVERIFY(engine::LogExtraction("/arch/RA000001.rar", "/o/x&y"));
        QVERIFY(engine::LogUnknownFolder("14:03:27 - Unknown target folder", "/out/<b>/"));
        QVERIFY(engine::LogSummary("L1", "L2"));
        QCOMPARE(readFile(engine::state().dayLogPath),
                 header + "<small><b>Rar</b> - /in/a &quot;&lt;&amp;&gt;&quot;.txt -> "
                          "/arch/RA000001.rar</small><br>\r\n"
                          "<small><b>Unrar</b> - /arch/RA000001.rar -> /o/x&amp;y</small><br>\r\n"
                          "14:03:27 - Unknown target folder: /out/&lt;b&gt;/<br>\r\n"
                          "L1<br>L2<br><hr>\r\n");
        engine::state().dayLogPath = m_folder->root.filePath("missing/x.htm");
        QVERIFY(!engine::LogSummary("a", "b"));
    }

private:
    std::optional<ProgramFolder> m_folder;
    QString m_list;
};

QTEST_GUILESS_MAIN(TestPairsAndLog)
#include "test_pairs_and_log.moc"
