// The folder-pair list file and the daily log, on real files.

#include "DataPathKit.h"
#include "config/FolderPairs.h"
#include "config/HexText.h"
#include "config/ProgramValues.h"
#include "config/Settings.h"
#include "engine/DailyLog.h"
#include "engine/EngineState.h"

#include <QLocale>
#include <QTemporaryDir>

#include <memory>

namespace {

QByteArray quotedHex(const QString& path) {
    return '"' + config::EncodeHexText(path).toLatin1() + '"';
}

QStringList logNames(const QString& folder) {
    return QDir(folder).entryList({QStringLiteral("Log Velmorado*.htm")}, QDir::Files, QDir::Name);
}

} // namespace

class TestPairsAndLog : public QObject {
    Q_OBJECT

private slots:
    void init();
    void removingAPairRenumbersTheRest();
    void readsListFilesOfAnyShape();
    void marksMacintoshVolumes();
    void purgesOldLogs();
    void writesHeaderAndLines();

private:
    std::unique_ptr<QTemporaryDir> m_root;
    QString m_list;
};

void TestPairsAndLog::init() {
    m_root = std::make_unique<QTemporaryDir>();
    config::setProgramFolder(m_root->path());
    config::program().ntFlag = true;
    config::program().language = 0;
    config::settings() = config::Settings{};
    engine::state() = engine::EngineState{};
    m_list = config::program().listFilePath;
}

void TestPairsAndLog::removingAPairRenumbersTheRest() {
    const QString a = m_root->filePath(QStringLiteral("A"));
    const QString c = m_root->filePath(QStringLiteral("C"));
    QVERIFY(QDir().mkdir(a) && QDir().mkdir(c));
    const QString gone = QStringLiteral("/gone/T");
    writeFile(m_list, quotedHex(a) + ',' + quotedHex(c) + "\r\n" + quotedHex("/gone/B") +
                          ",\"\"\r\n" + quotedHex(c) + ',' + quotedHex(gone) + "\r\n");
    const char* values[3][3] = {{"1", "0", "1"}, {"5", "1", "0"}, {"7", "2", "0"}};
    for (int n = 0; n < 3; ++n) {
        int k = 0;
        for (const char* key : {"NbTemporisations", "Rar", "Enable"}) {
            config::WriteSetting(QStringLiteral("Rar_%1").arg(n + 1), QString::fromLatin1(key),
                                 QString::fromLatin1(values[n][k++]));
        }
    }
    QVector<config::PairRowView> rows = config::LoadFolderPairs();
    QCOMPARE(rows.size(), 3);
    QCOMPARE(rows[1].sourceText + '|' + rows[1].targetText, QStringLiteral("??? /gone/B|???"));
    QCOMPARE(rows[2].targetText, QStringLiteral("??? /gone/T"));

    config::SaveFolderPairs({1, 3});
    QCOMPARE(readFile(m_list), quotedHex(a) + ',' + quotedHex(c) + "\r\n" + quotedHex(c) + ',' +
                                   quotedHex(gone) + "\r\n");
    rows = config::LoadFolderPairs();
    QCOMPARE(rows.size(), 2);
    QCOMPARE(rows[1].pairNumber, 2);
    QCOMPARE(rows[1].sourceText, c);
    const config::FolderPair& p = *config::folderPairs().pair(2);
    QCOMPARE(QStringList({p.source, p.nbTemporisations, p.remaining, p.rar, p.enable}),
             QStringList({c, "7", "7", "2", "0"}));
    QCOMPARE(config::ReadSetting(QStringLiteral("Rar_3"), QStringLiteral("NbTemporisations")),
             QStringLiteral("7")); // left behind, unread
}

void TestPairsAndLog::readsListFilesOfAnyShape() {
    QVERIFY(config::LoadFolderPairs().isEmpty()); // no list file
    writeFile(m_list, "");
    QVERIFY(config::LoadFolderPairs().isEmpty());
    QVERIFY(config::folderPairs().pairs.isEmpty());

    // Two empty fields; blanks before fields; no final line end; no pair
    // sections, so "1", "0", "1".
    writeFile(m_list, "\"\",\"\"\r\n  \"4100\" ,  \"4200\"\r\n\"A903\",\"2F00A903\"");
    const QVector<config::PairRowView> rows = config::LoadFolderPairs();
    QCOMPARE(rows.size(), 3);
    QCOMPARE(rows[0].sourceText + '|' + rows[0].targetText, QStringLiteral("??? |???"));
    const auto& pairs = config::folderPairs().pairs;
    QCOMPARE(pairs[1].source + pairs[1].target + pairs[2].source + pairs[2].target,
             QStringLiteral("ABΩ/Ω"));
    QCOMPARE(pairs[0].nbTemporisations + pairs[0].remaining + pairs[0].rar + pairs[0].enable,
             QStringLiteral("1101"));

    config::SaveFolderPairs({3, 1});
    QCOMPARE(readFile(m_list), QByteArray("\"A903\",\"2F00A903\"\r\n\"\",\"\"\r\n"));
}

void TestPairsAndLog::marksMacintoshVolumes() {
    const QString mac = m_root->filePath(QStringLiteral("Mac"));
    const QString sub = mac + QStringLiteral("/Sub/Deeper");
    const QString other = m_root->filePath(QStringLiteral("Other"));
    QVERIFY(QDir().mkpath(sub) && QDir().mkpath(other));
    writeFile(mac + QStringLiteral("/Network Trash Folder"), "a plain file counts too");
    QVERIFY(config::IsMacintoshVolume(sub) && config::IsMacintoshVolume(mac));
    QVERIFY(!config::IsMacintoshVolume(other));

    writeFile(m_list, quotedHex(sub) + ',' + quotedHex(other) + "\r\n");
    QVector<config::PairRowView> rows = config::LoadFolderPairs();
    QCOMPARE(rows[0].sourceText, QStringLiteral("      ") + sub);
    QCOMPARE(rows[0].targetText, other);
    QVERIFY(rows[0].sourceOnMac && !rows[0].targetOnMac);
    config::program().ntFlag = false; // other systems test no folder
    rows = config::LoadFolderPairs();
    QCOMPARE(rows[0].sourceText, sub);
    QVERIFY(!rows[0].sourceOnMac);
}

void TestPairsAndLog::purgesOldLogs() {
    const QString logs = m_root->path();
    const QDate first(2026, 1, 1);
    const auto day = [&](int d) { return engine::dayLogPath(logs, first.addDays(d)); };
    QCOMPARE(day(0), logs + QStringLiteral("/Log Velmorado 2026-01-01.htm"));
    for (int d = 0; d < 10; ++d) {
        writeFile(day(d), "old");
    }
    writeFile(m_root->filePath(QStringLiteral("Log Velmorado notes.txt")), "not a log");

    // Ten logs kept: the eleventh day makes eleven, the twelfth ten again.
    QVERIFY(engine::writeLogHeader(day(10), first, false, true, 10));
    QCOMPARE(logNames(logs).size(), 11);
    QVERIFY(engine::writeLogHeader(day(11), first, false, true, 10));
    QCOMPARE(logNames(logs).size(), 10);
    QCOMPARE(logNames(logs).first(), QStringLiteral("Log Velmorado 2026-01-03.htm"));
    QVERIFY(QFile::exists(m_root->filePath(QStringLiteral("Log Velmorado notes.txt"))));

    // Far more logs than kept: all but the newest DelaiLogs - 1 go first.
    for (int d = 20; d < 60; ++d) {
        writeFile(day(d), "old");
    }
    QVERIFY(engine::writeLogHeader(day(60), first, false, true, 5));
    QCOMPARE(logNames(logs),
             (QStringList{day(56), day(57), day(58), day(59), day(60)}.replaceInStrings(
                 logs + QLatin1Char('/'), QString())));
    QVERIFY(engine::writeLogHeader(day(61), first, false, false, 2)); // no PurgeLogs
    QCOMPARE(logNames(logs).size(), 6);
}

void TestPairsAndLog::writesHeaderAndLines() {
    config::program().language = 1;
    engine::state().dayLogPath = engine::dayLogPath(m_root->path(), QDate(2026, 12, 5));
    engine::WriteLogHeader();
    const QString date = QLocale::system().toString(QDate::currentDate(), QLocale::LongFormat);
    const QByteArray header = "\xEF\xBB\xBF<html>\r\n<head>\r\n<title>Logs Velmorado</title>\r\n"
                              "</head>\r\n<body>\r\n<b><center><h1>Journal des compressions/"
                              "d\xC3\xA9"
                              "compressions</h1></center></b>\r\n<center><h3>" +
                              date.toUtf8() + "</h3></center>\r\n";
    QCOMPARE(readFile(engine::state().dayLogPath), header);

    config::program().language = 0; // the header is written once a day
    engine::WriteLogHeader();
    QVERIFY(engine::LogCompression(QStringLiteral("/in/a \"<&>\".txt"),
                                   QStringLiteral("/arch/RA000001.rar")));
    QVERIFY(engine::LogExtraction(QStringLiteral("/arch/RA000001.rar"), QStringLiteral("/o/x&y")));
    QVERIFY(engine::LogUnknownFolder(QStringLiteral("14:03:27 - Unknown target folder"),
                                     QStringLiteral("/out/<b>/")));
    QVERIFY(engine::LogSummary(QStringLiteral("L1"), QStringLiteral("L2")));
    QCOMPARE(readFile(engine::state().dayLogPath),
             header + "<small><b>Rar</b> - /in/a &quot;&lt;&amp;&gt;&quot;.txt -> "
                      "/arch/RA000001.rar</small><br>\r\n"
                      "<small><b>Unrar</b> - /arch/RA000001.rar -> /o/x&amp;y</small><br>\r\n"
                      "14:03:27 - Unknown target folder: /out/&lt;b&gt;/<br>\r\n"
                      "L1<br>L2<br><hr>\r\n");

    engine::state().dayLogPath = m_root->filePath(QStringLiteral("missing/x.htm"));
    QVERIFY(!engine::LogSummary(QStringLiteral("a"), QStringLiteral("b")));
}

QTEST_GUILESS_MAIN(TestPairsAndLog)
#include "test_pairs_and_log.moc"
