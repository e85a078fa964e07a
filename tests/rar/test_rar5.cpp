// RAR 5 archives for Windows machines: what `rar a -ma5` writes is read by
// readers that are not ours (bsdtar, lsar, Python's rarfile), and `rar e`
// gives back the bytes, the time and every user.* attribute, from our
// archives and from archives built here by hand, hostile ones included.

#include "ProgramFolderKit.h"
#include "Rar5Kit.h"
#include "RarTestKit.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <sys/resource.h>

using namespace rar5kit;
using namespace rarkit;

namespace {

// A name file's content for a name: its UTF-16 as hexadecimal, quoted, CR LF.
QByteArray nameFileFor(const QString& name) {
    return '"' + programkit::hexText(name) + "\"\r\n";
}

// The time of last change: seconds and nanoseconds.
using Time = std::pair<qint64, qint64>;
Time mtimeOf(const QByteArray& path) {
    struct stat st {};
    return ::stat(path, &st) == 0 ? Time(st.st_mtim.tv_sec, st.st_mtim.tv_nsec) : Time(-1, -1);
}

} // namespace

Q_DECLARE_METATYPE(rar5kit::Block)

class TestRar5 : public RarTest {
    Q_OBJECT

    static void setTime(const QByteArray& path, time_t sec, long nsec) {
        const timespec t[2] = {{sec, nsec}, {sec, nsec}};
        QVERIFY(::utimensat(AT_FDCWD, path, t, 0) == 0);
    }
    bool userXattrsWork() {
        put(d + "/probe", "");
        return filekit::setXattr(QFile::decodeName(d + "/probe"), "user.probe", "1") &&
               ::unlink(d + "/probe") == 0;
    }
    // lsar's view of an archive: one object per member, by name.
    static QMap<QString, QJsonObject> lsar(const QByteArray& archive) {
        const Result r = run("lsar", {"-j", QFile::decodeName(archive)});
        const QJsonArray members =
            QJsonDocument::fromJson(r.out).object().value("lsarContents").toArray();
        QMap<QString, QJsonObject> byName;
        for (const QJsonValue& m : members) {
            byName.insert(m.toObject().value("XADFileName").toString(), m.toObject());
        }
        return byName;
    }
    // Python's rarfile: "name size crc md5-of-the-bytes" per member, or
    // without the md5 when the bytes are not read.
    static QByteArray rarfile(const QByteArray& archive, bool readBytes) {
        static const char script[] = R"(import hashlib, sys, rarfile
f = rarfile.RarFile(sys.argv[1])
for i in f.infolist():
    line = "%s %d %08x" % (i.filename, i.file_size, i.CRC)
    if sys.argv[2] == "1":
        line += " " + hashlib.md5(f.read(i)).hexdigest()
    print(line)
)";
        return run("/usr/bin/python3",
                   {"-c", script, QFile::decodeName(archive), readBytes ? "1" : "0"})
            .out;
    }

private slots:
    void init() { makeFolders(); }

    void foreignReadersReadWhatWeWrite_data() {
        QTest::addColumn<QByteArray>("base");
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QString>("realName");
        const auto row = [](const char* name, const char* base, const QByteArray& data,
                            const QString& realName) {
            QTest::newRow(name) << QByteArray(base) << data << realName;
        };
        row("empty file", "RA000001", {}, "quote \" and -leading, tab\there");
        row("3 MB, accented base", "é'000002", randomBytes(3 << 20, 11),
            "emoji 😀 decomposed e\u0301.txt");
        row("zeros (holes in the archive), then bytes", "Ω 000003",
            QByteArray(1 << 20, '\0') + "tail", QString(200, QChar(0x00E9)));
    }
    // bsdtar extracts the same bytes; lsar reports host Windows, attributes
    // 34, the store method, sizes and CRCs; rarfile lists and reads both.
    void foreignReadersReadWhatWeWrite() {
        QFETCH(QByteArray, base);
        QFETCH(QByteArray, data);
        QFETCH(QString, realName);
        if (!have("bsdtar") || !have("lsar") || !QFile::exists("/usr/bin/python3")) {
            QSKIP("bsdtar, lsar (package unar) and /usr/bin/python3 are needed: "
                  "scripts/install-deps.sh installs them");
        }
        const Files members{{base + ".rr", data}, {base + ".rn", nameFileFor(realName)}};
        for (auto it = members.begin(); it != members.end(); ++it) {
            put(d + "/src/" + it.key(), it.value());
        }
        const QByteArray archive = d + "/A.rar";
        const Result made = rar({"a", "-ma5", "-os", archive, d + "/src/" + base + ".r?"});
        QVERIFY2(made.code == 0, made.output);

        QCOMPARE(run("bsdtar", {"-xf", QFile::decodeName(archive)}, {}, d + "/work").code, 0);
        QCOMPARE(files(d + "/work"), members);

        const QMap<QString, QJsonObject> seen = lsar(archive);
        QCOMPARE(seen.size(), 2);
        QByteArray expectedRarfile;
        for (auto it = members.begin(); it != members.end(); ++it) {
            const QJsonObject m = seen.value(QString::fromUtf8(it.key()));
            QCOMPARE(m.value("RAR5OS").toInt(-1), 0);
            QCOMPARE(m.value("RAR5Attributes").toInt(), 34);
            QCOMPARE(m.value("RAR5CompressionMethod").toInt(-1), 0);
            QCOMPARE(m.value("XADCompressionName").toString(), "None");
            QCOMPARE(m.value("XADFileSize").toInteger(), it.value().size());
            QCOMPARE(m.value("RAR5CRC32").toInteger(), qint64(crcOf(it.value())));
            expectedRarfile +=
                it.key() + ' ' + QByteArray::number(it.value().size()) + ' ' +
                QByteArray::number(crcOf(it.value()), 16).rightJustified(8, '0') + ' ' +
                QCryptographicHash::hash(it.value(), QCryptographicHash::Md5).toHex() + '\n';
        }
        if (!QFile::exists("/usr/lib/python3/dist-packages/rarfile.py")) {
            QSKIP("Python's rarfile (package python3-rarfile) is not installed");
        }
        QCOMPARE(rarfile(archive, true), expectedRarfile);
    }

    // A sparse file of more than 4 GiB: sizes are not cut to 32 bits. Only
    // the headers are read back, by rarfile (lsar reads through the data and
    // bsdtar or rar e would extract 4 GiB: minutes on a busy machine).
    void aFileOverFourGiB() {
        if (!QFile::exists("/usr/lib/python3/dist-packages/rarfile.py")) {
            QSKIP("Python's rarfile (package python3-rarfile) is not installed");
        }
        const qint64 size = (Q_INT64_C(1) << 32) + 4099;
        QFile big(QFile::decodeName(d + "/src/B.rr"));
        QVERIFY(big.open(QIODevice::WriteOnly) && big.write("head") == 4 && big.seek(size - 4) &&
                big.write("tail") == 4);
        big.close();
        put(d + "/src/B.rn", nameFileFor("big"));
        const Result made = rar({"a", "-ma5", d + "/B.rar", d + "/src/B.r?"});
        QVERIFY2(made.code == 0, made.output);

        // CRC32 of "head", size - 8 zeros and "tail", zeros by doubling.
        uLong zeros = ::crc32(0, nullptr, 0),
              block = ::crc32(0, reinterpret_cast<const Bytef*>(""), 1);
        for (qint64 n = size - 8, length = 1; n > 0; n >>= 1, length *= 2) {
            if ((n & 1) != 0) {
                zeros = ::crc32_combine(zeros, block, length);
            }
            block = ::crc32_combine(block, block, length);
        }
        const uLong crc =
            ::crc32_combine(::crc32_combine(crcOf("head"), zeros, size - 8), crcOf("tail"), 4);
        QVERIFY(QFileInfo(QFile::decodeName(d + "/B.rar")).size() > size);
        QVERIFY2(rarfile(d + "/B.rar", false)
                     .contains("B.rr " + QByteArray::number(size) + ' ' +
                               QByteArray::number(quint32(crc), 16).rightJustified(8, '0')),
                 rarfile(d + "/B.rar", false));
    }

    // rar a -ma5 then rar e: each byte, the time to the nanosecond, every
    // user.* attribute; on the way, each attribute is the stream a Windows
    // machine keeps.
    void roundTripKeepsBytesTimeAndEveryAttribute() {
        if (!userXattrsWork()) {
            QSKIP("this file system keeps no user.* extended attributes");
        }
        const QByteArray data = randomBytes(1 << 20, 5);
        const QByteArray rr = d + "/src/X.rr", rn = d + "/src/X.rn";
        put(rr, data);
        put(rn, nameFileFor("résumé.doc"));
        const QList<std::pair<QByteArray, QByteArray>> attributes{
            {"user.DosStream.AFP_Resource:$DATA", QByteArray("fork\0with\0zeros", 15)},
            {"user.DosStream.Zone.Identifier:$DATA", "[ZoneTransfer]\r\nZoneId=3\r\n"},
            {"user.DosStream.a/b:$DATA", "not a stream name on Windows"},
            {"user.DosStream.Velmorado.xattr.x:$DATA", "our own prefix, other case"},
            {"user.DosStream.velmorado.xattr.78:$DATA", "a stream named as our own"},
            {"user.xdg.origin.url", "https://example.org/x"},
            {"user.Mixed Case:%41", QByteArray(3000, 'v')},
            {"user.empty", ""}};
        for (const auto& [name, value] : attributes) {
            QVERIFY2(filekit::setXattr(QFile::decodeName(rr), name, value), name);
        }
        QVERIFY(filekit::setXattr(QFile::decodeName(rn), "user.on.name.file", "n"));
        setTime(rr, 1700000000, 123456789);
        setTime(rn, 4294967296 + 5, 7); // past 2106: no longer 32-bit Unix seconds

        const QList<QByteArray> rrAttributes = xattrs(rr), rnAttributes = xattrs(rn);
        const Result made = rar({"a", "-ma5", "-os", d + "/X.rar", d + "/src/X.r?"});
        QVERIFY2(made.code == 0, made.output);
        const QByteArray archive = get(d + "/X.rar");
        for (const char* stream :
             {":AFP_Resource", ":Zone.Identifier", ":velmorado.xattr.xdg.origin.url",
              ":velmorado.xattr.%4Dixed%20%43ase%3A%2541"}) {
            QVERIFY2(archive.contains(stream), stream);
        }

        QCOMPARE(rar({"e", "-ma5", d + "/X.rar"}, d + "/work").code, 7); // a switch of a only
        const Result r = rar({"e", d + "/X.rar"}, d + "/work");
        QVERIFY2(r.code == 0, r.output);
        QCOMPARE(files(d + "/work"), (Files{{"X.rn", get(rn)}, {"X.rr", data}}));
        QCOMPARE(xattrs(d + "/work/X.rr"), rrAttributes);
        QCOMPARE(xattrs(d + "/work/X.rn"), rnAttributes);
        QCOMPARE(mtimeOf(d + "/work/X.rr"), Time(1700000000, 123456789));
        // Beyond 32-bit seconds the time goes in 100 ns steps.
        QCOMPARE(mtimeOf(d + "/work/X.rn"), Time(4294967301, 0));
    }

    void handBuiltArchives_data() {
        QTest::addColumn<QList<Block>>("streams");
        QTest::addColumn<QByteArray>("damage");
        QTest::addColumn<int>("code");
        QTest::addColumn<QList<QByteArray>>("attributes");
        QTest::addColumn<QByteArray>("said");
        const auto row = [](const char* name, const QList<Block>& streams, const char* damage,
                            int code, const QList<QByteArray>& attributes, const char* said) {
            QTest::newRow(name) << streams << QByteArray(damage) << code << attributes
                                << QByteArray(said);
        };
        row("names with / and NUL, an empty name",
            {stream(":../../x", "1"), stream(QByteArray(":a\0b", 4), "2"), stream(":", "3")}, "", 1,
            {}, "stream ':a?b' of hello.txt not restored");
        row("sizes that disagree", {{3, "STM", "12345", 0, record(7, ":s"), 99999}}, "", 1, {},
            "its stored size and its size do not agree");
        QList<Block> many;
        for (int i = 0; i < 3000; ++i) {
            many << stream(":s" + QByteArray::number(i), "v");
        }
        row("thousands of streams", many, "", 1, {}, "2744 more streams of hello.txt not restored");
        row("stream larger than the rest of the archive",
            {stream(":AFP_Resource", QByteArray(600, 'r'))}, "cut", 3, {},
            "data that runs past the end");
        row("stream data fails its CRC", {stream(":AFP_Resource", "fork")}, "flip", 3, {},
            "fails its CRC");
    }
    // Archives built here, not by our writer: streams that cannot come back
    // are named; hostile ones write nothing but the file, in the extraction
    // folder. (A stored and a compressed stream from another writer: the
    // engine's end-to-end test.)
    void handBuiltArchives() {
        QFETCH(QList<Block>, streams);
        QFETCH(QByteArray, damage);
        QFETCH(int, code);
        QFETCH(QList<QByteArray>, attributes);
        QFETCH(QByteArray, said);
        if (!userXattrsWork()) {
            QSKIP("this file system keeps no user.* extended attributes");
        }
        const QByteArray content = "hello from a Windows machine\r\n";
        const timespec when{1600000000, 987654321};
        QByteArray timeRecord = vint(0x13) + u32(quint32(when.tv_sec)) + u32(quint32(when.tv_nsec));
        QList<Block> blocks{{2, "hello.txt", content, 0, record(3, timeRecord)}};
        blocks += streams;
        QByteArray archive = rar5Archive(blocks);
        if (damage == "cut") {
            archive.chop(8 + 300); // the end header and half the stream
        } else if (damage == "flip") {
            const qsizetype at = archive.lastIndexOf("fork");
            archive[at] = 'F';
        }
        put(d + "/h.rar", archive);

        const Result r = rar({"e", d + "/h.rar"}, d + "/work");
        QVERIFY2(r.code == code, r.output);
        QVERIFY2(r.output.contains(said), r.output);
        QCOMPARE(names(d), (QStringList{"h.rar", "src", "work"}));
        if (code >= 2) {
            QCOMPARE(names(d + "/work"), QStringList());
            return;
        }
        QCOMPARE(files(d + "/work"), (Files{{"hello.txt", content}}));
        const QList<QByteArray> restored = xattrs(d + "/work/hello.txt");
        if (streams.size() > 256) {
            QVERIFY(restored.size() <= 256);
        } else {
            QCOMPARE(restored, attributes);
        }
        QCOMPARE(mtimeOf(d + "/work/hello.txt"), Time(when.tv_sec, when.tv_nsec));
    }
};

QTEST_GUILESS_MAIN(TestRar5)
#include "test_rar5.moc"
