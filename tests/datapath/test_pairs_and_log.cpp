// The folder-pair list file and its table; the daily logs: their names, the
// purge, the refusal of what is not a regular file, the walk that leaves them.

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
    // The purge counts and removes daily logs only (the exact name, a real
    // date), oldest first: a user's file that looks like one, a link of a
    // log's name and a log dated after today stay, and take no log's place.
    void purgesOldLogsOnly() {
        const QString logs = m_prog->path();
        const QDate today(2026, 1, 10);
        const auto day = [&](int d) { return engine::dayLogPath(logs, today.addDays(d)); };
        const QStringList others{"Log Velmorado.htm",
                                 "Log Velmorado my archive.htm",
                                 "Log Velmorado 2025 summary.htm",
                                 "Log Velmorado 2026-01-01 (kept copy).htm",
                                 "Log Velmorado 2026-02-30.htm",
                                 "Log Velmorado +026-01-01.htm",
                                 "Log Velmorado 2026-01-01.HTM",
                                 "Log Velmorado 2099-01-01.htm"};
        for (const QString& name : others) {
            writeFile(logs + '/' + name, "the user's");
        }
        QVERIFY(QFile::link(logs + "/Log Velmorado.htm", day(-20)));
        for (const int d : {-9, -7, -5, -3}) {
            writeFile(day(d), "old");
        }
        QVERIFY(engine::writeLogHeader(day(0), today, 0, true, 3));
        QCOMPARE(engine::dailyLogNames(logs),
                 QStringList({"Log Velmorado 2026-01-05.htm", "Log Velmorado 2026-01-07.htm",
                              "Log Velmorado 2026-01-10.htm", "Log Velmorado 2099-01-01.htm"}));
        for (const QString& name : others) {
            QCOMPARE(readFile(logs + '/' + name), "the user's");
        }
        QVERIFY(QFileInfo(day(-20)).isSymLink());
        QVERIFY(engine::writeLogHeader(day(1), today.addDays(1), 0, false, 2)); // purging off
        QCOMPARE(engine::dailyLogNames(logs).size(), 5);
    }
    // The day's log is written only as a regular file: a link of its name,
    // dangling or not, is never written through and nothing is made where it
    // points. The window and the system log say so once, however many
    // passes; again once the log was written in between.
    void aLogThatIsNotARegularFileIsRefusedAndToldOnce() {
        config::settings().logs = config::settings().erreurDossier = true; // a line every pass
        kit::Program::addPair(m_prog->filePath("gone"), m_prog->out);
        const QString log = engine::dayLogPath(m_prog->path(), QDate::currentDate());
        const QString users = m_prog->filePath("report.txt"), nowhere = m_prog->filePath("x");
        writeFile(users, "the user's");
        kit::Recorder window;
        QStringList events;
        const engine::ServiceHooks hooks{
            {}, [&](const QString& text, int type) { events << QString::number(type) + text; }};
        QVERIFY(QFile::link(users, log));
        kit::pass(window, hooks);
        QVERIFY(QFile::remove(log) && QFile::link(nowhere, log));
        kit::pass(window, hooks);
        QCOMPARE(readFile(users), "the user's");
        QVERIFY(!QFileInfo::exists(nowhere));
        QCOMPARE(window.messages.filter("Daily log not written").size(), 1);
        QCOMPARE(events, QStringList{"2Daily log not written: " + log +
                                     " is a symbolic link; Velmorado does not write through it"});
        QVERIFY(QFile::remove(log));
        kit::pass(window, hooks);
        QVERIFY(readFile(log).contains("Unknown source folder"));
        QVERIFY(QFile::remove(log) && QDir().mkdir(log));
        kit::pass(window, hooks);
        QCOMPARE(events.size(), 2);
        QVERIFY(events[1].endsWith(" is not a regular file; Velmorado does not write to it"));
    }
    // A log folder that is also the source of a compress pair: the daily logs
    // stay, pass after pass; a user's file named almost like one travels.
    void theWalkLeavesTheDailyLogsAlone() {
        config::settings().logs = config::settings().fichiersLogs = true;
        config::settings().pathLogs = m_prog->src;
        kit::Program::addPair(m_prog->src, m_prog->arch, true);
        const QString old = "Log Velmorado 2026-01-05.htm";
        kit::drop(m_prog->src, old, "an old log");
        kit::drop(m_prog->src, "Log Velmorado 2026-01-05 (copy).htm", "the user's");
        kit::Recorder window;
        for (int i = 0; i < 3; ++i) {
            kit::pass(window);
            kit::ageAll(m_prog->src);
        }
        const QString today = QFileInfo(engine::state().dayLogPath).fileName();
        QCOMPARE(entries(m_prog->src), QStringList({old, today}));
        QCOMPARE(entries(m_prog->arch), QStringList{"RA000001.rar"});
    }
};

QTEST_GUILESS_MAIN(TestPairsAndLog)
#include "test_pairs_and_log.moc"
