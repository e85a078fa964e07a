// The folder-pair list file and its table, on real files.

#include "DataPathKit.h"
#include "ProgramFolderKit.h"
#include "config/FolderPairs.h"

using programkit::listLine;

class TestPairsAndLog : public QObject {
    Q_OBJECT

private slots:
    void init() {
        m_folder.emplace();
        m_list = config::program().listFilePath;
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

    // A list file that cannot be read (here: past the size limit) loads no
    // pairs, and a save never replaces it, which would lose every pair it holds.
    void unreadableListsStay() {
        const QString dir = m_folder->root.filePath("dir");
        QVERIFY(QDir().mkdir(dir));
        const QByteArray large = listLine(dir, dir) + QByteArray(9 << 20, '\n');
        writeFile(m_list, large);
        QVERIFY(config::LoadFolderPairs().isEmpty());
        config::SaveFolderPairs({});
        QCOMPARE(readFile(m_list), large);
    }

private:
    std::optional<ProgramFolder> m_folder;
    QString m_list;
};

QTEST_GUILESS_MAIN(TestPairsAndLog)
#include "test_pairs_and_log.moc"
