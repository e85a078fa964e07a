// The folder-pair list file and its table, and the purge of old daily logs.

#include "../engine/EngineTestKit.h"

using namespace kit;

class TestPairsAndLog : public QObject {
    Q_OBJECT

    std::optional<kit::Program> m_prog;

private slots:
    void init() { m_prog.emplace(); }

    // A pair placed past the end grows the table, one inside replaces only its
    // own; a number outside 1 to 32767 changes nothing.
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
    // A list file that cannot be read (past the size limit) loads no pairs,
    // and a save never replaces it, which would lose every pair it holds.
    void unreadableListsStay() {
        const QString list = config::program().listFilePath;
        const QByteArray large =
            programkit::listLine(m_prog->src, m_prog->out) + QByteArray(9 << 20, '\n');
        writeFile(list, large);
        QVERIFY(config::LoadFolderPairs().isEmpty());
        config::SaveFolderPairs({});
        QCOMPARE(readFile(list), large);
    }
    // A compression applies the prefix rule of start-up and the dialog to the
    // prefix in force: one refused there makes no archive, hidden or not.
    void aCompressionMakesNoArchiveUnderARefusedPrefix() {
        kit::drop(m_prog->src, "report.txt", "the user's");
        for (const QString prefix : {".A", "[A", "A\t"}) {
            config::settings().prefix = prefix;
            kit::Recorder window;
            kit::walk(window, m_prog->src, m_prog->arch, true);
            QCOMPARE(entries(m_prog->src) + entries(m_prog->arch), QStringList{"report.txt"});
        }
    }
    // The purge removes only the oldest dated logs beyond the number kept,
    // never another file, and nothing when purging is off.
    void purgesOldLogs() {
        const QString logs = m_prog->path();
        const QDate first(2026, 1, 1);
        const auto day = [&](int d) { return engine::dayLogPath(logs, first.addDays(d)); };
        const auto names = [&] {
            return QDir(logs).entryList({"Log Velmorado*.htm"}, QDir::Files, QDir::Name);
        };
        for (int d = 0; d < 10; ++d) {
            writeFile(day(d), "old");
        }
        writeFile(logs + "/Log Velmorado notes.txt", "not a log");
        QVERIFY(engine::writeLogHeader(day(10), first, 0, true, 10));
        QCOMPARE(names().size(), 11);
        QVERIFY(engine::writeLogHeader(day(11), first, 0, true, 10));
        QCOMPARE(names().size(), 10);
        QCOMPARE(names().first(), "Log Velmorado 2026-01-03.htm");
        QVERIFY(QFile::exists(logs + "/Log Velmorado notes.txt"));
        QVERIFY(engine::writeLogHeader(day(12), first, 0, false, 2)); // purging off
        QCOMPARE(names().size(), 11);
    }
};

QTEST_GUILESS_MAIN(TestPairsAndLog)
#include "test_pairs_and_log.moc"
