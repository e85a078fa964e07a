// The walk of one source folder on real files: what it skips, deletes and
// takes, files still being written, a stop in the middle, and the leftovers
// of compressions that did not get to their end, with the built archiver.

#include "EngineTestKit.h"

#include "config/HexText.h"
#include "engine/DailyLog.h"
#include "platform/InUseProbe.h"

#include <QDate>
#include <QProcess>

#include <atomic>
#include <csignal>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using kit::Program;
using kit::Recorder;

namespace {

QString in(const QString& folder, const QString& name) {
    return folder + QLatin1Char('/') + name;
}

// The name file of an archive base: the name in hexadecimal text, quoted.
QByteArray nameLine(const QString& name) {
    return '"' + config::EncodeHexText(name).toLatin1() + "\"\r\n";
}

void walk(Recorder& window, const QString& source, const QString& target, bool compress) {
    engine::state().sourceFolder = source + QLatin1Char('/');
    engine::state().targetFolder = target + QLatin1Char('/');
    engine::state().compressMode = compress;
    engine::state().stopped = false;
    engine::ProcessPair(window);
}

// Extracts every archive of folder into out with an uncompress walk.
void extractAll(Recorder& window, const QString& folder, const QString& out) {
    kit::ageAll(folder);
    walk(window, folder, out, false);
}

// Runs a shell writer of 40 numbered chunks into src/name and walks src (an
// uncompress pair to out) over and over while it writes: the file must never
// be taken. With ageing, the file is made to look old before each walk, so
// that only the lease can hold it back.
void walkWhileWriting(const QString& script, const QString& src, const QString& out,
                      const QString& name, bool ageing) {
    QProcess writer;
    writer.start(QStringLiteral("/bin/sh"),
                 {QStringLiteral("-c"), script, QStringLiteral("w"), in(src, name)});
    QTRY_VERIFY(QFile::exists(in(src, name)));
    Recorder window;
    int walks = 0;
    while (!writer.waitForFinished(20)) {
        if (ageing) {
            kit::age(in(src, name));
        }
        walk(window, src, out, false);
        ++walks;
        QVERIFY2(kit::names(out).isEmpty(), "a file still being written was taken");
    }
    QCOMPARE(writer.exitCode(), 0);
    QVERIFY(walks > 3);
}

QByteArray chunks() {
    QByteArray all;
    for (int i = 0; i < 40; ++i) {
        all += QStringLiteral("chunk%1\n").arg(i, 3, 10, QLatin1Char('0')).toLatin1();
    }
    return all;
}

} // namespace

class WalkTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Folders and their files are left alone, hidden entries deleted, links
    // and pipes left where they are; only the plain file is handed over.
    void whatTheWalkTakes() {
        Program prog;
        const QString src = prog.folder(QStringLiteral("src")),
                      out = prog.folder(QStringLiteral("out"));
        prog.folder(QStringLiteral("src/sub"));
        prog.folder(QStringLiteral("src/.hiddenDir"));
        kit::writeFile(in(src, QStringLiteral("sub/inner")), "inner");
        kit::writeFile(in(src, QStringLiteral(".hiddenDir/kept")), "kept");
        kit::writeFile(in(src, QStringLiteral(".hidden")), "hidden");
        kit::writeFile(in(src, QStringLiteral("plain")), "plain");
        QVERIFY(QFile::link(in(src, QStringLiteral("plain")), in(src, QStringLiteral("link"))));
        QCOMPARE(::mkfifo(QFile::encodeName(in(src, QStringLiteral("pipe"))).constData(), 0600), 0);
        kit::age(in(src, QStringLiteral("plain")));
        kit::age(in(src, QStringLiteral("sub/inner")));

        Recorder window;
        walk(window, src, out, false);
        QCOMPARE(kit::names(src), QStringList({QStringLiteral(".hiddenDir"), QStringLiteral("link"),
                                               QStringLiteral("pipe"), QStringLiteral("sub")}));
        QCOMPARE(kit::names(in(src, QStringLiteral("sub"))), QStringList{QStringLiteral("inner")});
        QCOMPARE(kit::readFile(in(src, QStringLiteral(".hiddenDir/kept"))), QByteArray("kept"));
        QCOMPARE(kit::names(out), QStringList{QStringLiteral("plain")});
        QCOMPARE(engine::state().files, 1);
        QCOMPARE(engine::state().uncompressed, 1);
        // One yield per entry, "." and ".." included.
        QCOMPARE(window.eventRounds, 8);
    }

    // A stop noticed at a yield ends the walk after the current entry; what
    // was handed over stays counted. An outcome that ends the walk does too.
    void stopAndEndOfWalk() {
        Program prog;
        const QString src = prog.folder(QStringLiteral("src")),
                      out = prog.folder(QStringLiteral("out"));
        for (int i = 0; i < 6; ++i) {
            kit::writeFile(in(src, QStringLiteral("f%1").arg(i)), "x");
        }
        kit::ageAll(src);
        Recorder window;
        window.onEvents = [&] {
            if (!kit::names(out).isEmpty()) {
                engine::state().stopped = true;
            }
        };
        walk(window, src, out, false);
        QCOMPARE(kit::names(out).size(), 1);
        QCOMPARE(engine::state().files, 1);
        QCOMPARE(kit::names(src).size(), 5);

        // A per-file log line that cannot be written after a move ends the walk.
        window.onEvents = nullptr;
        config::settings().logs = true;
        config::settings().fichiersLogs = true;
        engine::state().dayLogPath = prog.folder(QStringLiteral("aFolderNotAFile"));
        engine::state().files = 0;
        walk(window, src, out, false);
        QCOMPARE(engine::state().files, 1);
        QCOMPARE(kit::names(out).size(), 2);
    }

    // A writer that keeps the file open and writes slowly, and one that
    // opens, appends and closes in a loop, are never taken part-way; the file
    // is taken once it is left alone: old enough, or seen unchanged by an
    // earlier walk a while ago.
    void filesStillBeingWritten() {
        Program prog;
        const QString srcA = prog.folder(QStringLiteral("srcA")),
                      outA = prog.folder(QStringLiteral("outA"));
        const QString src = prog.folder(QStringLiteral("src")),
                      out = prog.folder(QStringLiteral("out"));
        walkWhileWriting(
            QStringLiteral("exec 3>>\"$1\"; i=0; while [ $i -lt 40 ]; do "
                           "printf 'chunk%03d\\n' $i >&3; i=$((i+1)); sleep 0.03; done"),
            srcA, outA, QStringLiteral("open"), true);
        Recorder window;
        kit::age(in(srcA, QStringLiteral("open")));
        walk(window, srcA, outA, false);
        QCOMPARE(kit::readFile(in(outA, QStringLiteral("open"))), chunks());

        walkWhileWriting(QStringLiteral("i=0; while [ $i -lt 40 ]; do printf 'chunk%03d\\n' $i "
                                        ">>\"$1\"; i=$((i+1)); sleep 0.03; done"),
                         src, out, QStringLiteral("appended"), false);
        walk(window, src, out, false);
        QCOMPARE(engine::pairProbe().remembered(), 1); // fresh: it waits
        QTest::qWait(int(platform::InUseProbe::kSightingGapMs) + 100);
        walk(window, src, out, false);
        QCOMPARE(kit::readFile(in(out, QStringLiteral("appended"))), chunks());

        // A file that changed between two walks starts its wait again.
        kit::writeFile(in(src, QStringLiteral("b")), "1");
        walk(window, src, out, false);
        QTest::qWait(int(platform::InUseProbe::kSightingGapMs) + 100);
        kit::writeFile(in(src, QStringLiteral("b")), "12");
        walk(window, src, out, false);
        QVERIFY(!QFile::exists(in(out, QStringLiteral("b"))));
        kit::age(in(src, QStringLiteral("b")));
        walk(window, src, out, false);
        QCOMPARE(kit::readFile(in(out, QStringLiteral("b"))), QByteArray("12"));
        QCOMPARE(engine::pairProbe().remembered(), 0);
    }

    // The leftovers of compressions cut short, made by hand: the data file
    // with its name file gets its name back and travels; a name file alone
    // goes; a data file alone is an ordinary file; a name that cannot be used
    // leaves the neutral name, and the log says so.
    void leftoversInACompressPair() {
        Program prog;
        config::settings().logs = true;
        engine::state().dayLogPath = engine::dayLogPath(prog.dir.path(), QDate::currentDate());
        const QString src = prog.folder(QStringLiteral("src"));
        const QString arch = prog.folder(QStringLiteral("arch"));
        const QString out = prog.folder(QStringLiteral("out"));
        const QString omega = QString::fromUtf8("Ωmega report.doc");
        kit::writeFile(in(src, QStringLiteral("RA000010.rr")), "restored data");
        kit::writeFile(in(src, QStringLiteral("RA000010.rn")), nameLine(omega));
        kit::writeFile(in(src, QStringLiteral("RA000011.rn")), nameLine(QStringLiteral("x")));
        kit::writeFile(in(src, QStringLiteral("RA000012.rr")), "data alone");
        kit::writeFile(in(src, QStringLiteral("RA000013.rr")), "escaping name");
        kit::writeFile(in(src, QStringLiteral("RA000013.rn")), nameLine(QStringLiteral("../evil")));
        kit::writeFile(in(src, QStringLiteral("RA000014.rr")), "odd hex");
        kit::writeFile(in(src, QStringLiteral("RA000014.rn")), "\"ABC\"\r\n");
        kit::writeFile(in(src, QStringLiteral("RA000015.rr")), "dot name");
        kit::writeFile(in(src, QStringLiteral("RA000015.rn")),
                       nameLine(QStringLiteral(".profile")));
        // A name that is taken by a file the walk leaves where it is (fresh).
        kit::writeFile(in(src, QStringLiteral("RA000016.rr")), "older busy");
        kit::writeFile(in(src, QStringLiteral("RA000016.rn")), nameLine(QStringLiteral("busy")));
        kit::ageAll(src);
        kit::writeFile(in(src, QStringLiteral("busy")), "newer busy");

        Recorder window;
        walk(window, src, arch, true);
        QCOMPARE(kit::names(src), QStringList{QStringLiteral("busy")});
        QCOMPARE(kit::readFile(in(src, QStringLiteral("busy"))), QByteArray("newer busy"));
        QCOMPARE(engine::state().compressed, 6);
        QCOMPARE(engine::state().files, 6);
        QVERIFY(!QFile::exists(prog.dir.filePath(QStringLiteral("evil"))));

        extractAll(window, arch, out);
        QCOMPARE(kit::names(arch), QStringList());
        QCOMPARE(kit::readFile(in(out, omega)), QByteArray("restored data"));
        QCOMPARE(kit::readFile(in(out, QStringLiteral("RA000012.rr"))), QByteArray("data alone"));
        QCOMPARE(kit::readFile(in(out, QStringLiteral("RA000013.rr"))),
                 QByteArray("escaping name"));
        QCOMPARE(kit::readFile(in(out, QStringLiteral("RA000014.rr"))), QByteArray("odd hex"));
        QCOMPARE(kit::readFile(in(out, QStringLiteral("RA000015.rr"))), QByteArray("dot name"));
        QCOMPARE(kit::readFile(in(out, QStringLiteral("RA000016.rr"))), QByteArray("older busy"));
        QCOMPARE(kit::names(out).size(), 6);

        const QString log = QString::fromUtf8(kit::readFile(engine::state().dayLogPath));
        for (const char* kept : {"RA000013.rr", "RA000014.rr", "RA000015.rr", "RA000016.rr"}) {
            QVERIFY2(
                log.contains(QStringLiteral(" - Temporary file kept under its neutral name: ") +
                             in(src, QString::fromLatin1(kept))),
                kept);
        }
        QVERIFY(!log.contains(QStringLiteral("RA000010.rr")));
    }

    // Leftovers that still belong to their work are not touched: in an
    // uncompress pair while the archive of their number lies there; in a
    // compress pair while an archiver still has the data file open.
    void leftoversThatStillBelongToTheirWork() {
        Program prog;
        const QString src = prog.folder(QStringLiteral("src")),
                      out = prog.folder(QStringLiteral("out"));
        kit::writeFile(in(src, QStringLiteral("RA000020.rar")),
                       QByteArray()); // never extracted: empty
        kit::writeFile(in(src, QStringLiteral("RA000020.rr")), "data");
        kit::writeFile(in(src, QStringLiteral("RA000020.rn")), nameLine(QStringLiteral("n")));
        kit::ageAll(src);
        Recorder window;
        walk(window, src, out, false);
        QCOMPARE(kit::names(out), QStringList());
        QCOMPARE(kit::names(src).size(), 3);
        // Without their archive they are ordinary files of an uncompress pair.
        QVERIFY(QFile::remove(in(src, QStringLiteral("RA000020.rar"))));
        walk(window, src, out, false);
        QCOMPARE(kit::names(out),
                 QStringList({QStringLiteral("RA000020.rn"), QStringLiteral("RA000020.rr")}));

        // A reader (an archiver still at work) holds the data file open.
        const QString csrc = prog.folder(QStringLiteral("csrc")),
                      arch = prog.folder(QStringLiteral("arch"));
        kit::writeFile(in(csrc, QStringLiteral("RA000021.rr")), "being archived");
        kit::writeFile(in(csrc, QStringLiteral("RA000021.rn")), nameLine(QStringLiteral("mine")));
        kit::ageAll(csrc);
        {
            QFile reader(in(csrc, QStringLiteral("RA000021.rr")));
            QVERIFY(reader.open(QIODevice::ReadOnly));
            walk(window, csrc, arch, true);
            QCOMPARE(kit::names(csrc).size(), 2);
            QCOMPARE(kit::names(arch), QStringList());
        }
        walk(window, csrc, arch, true);
        QCOMPARE(kit::names(csrc), QStringList());
        QCOMPARE(kit::names(arch).size(), 1);
        extractAll(window, arch, out);
        QCOMPARE(kit::readFile(in(out, QStringLiteral("mine"))), QByteArray("being archived"));
    }

    // The archiver killed in the middle of a compression: the user's file
    // waits in the source folder under its neutral name with its name file,
    // and the next walk with a working archiver sends it on under its own name.
    void archiverKilledPartWay() {
        Program prog;
        const QString src = prog.folder(QStringLiteral("src")),
                      arch = prog.folder(QStringLiteral("arch"));
        const QString out = prog.folder(QStringLiteral("out"));
        const QString rar = prog.dir.filePath(QStringLiteral("rar"));
        const QString pidFile = prog.dir.filePath(QStringLiteral("rar.pid"));
        QVERIFY(QFile::remove(rar));
        kit::writeFile(rar, "#!/bin/sh\necho $$ > \"$(dirname \"$0\")/rar.pid.tmp\"\n"
                            "mv \"$(dirname \"$0\")/rar.pid.tmp\" \"$(dirname \"$0\")/rar.pid\"\n"
                            "exec sleep 120\n");
        QFile::setPermissions(rar, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QByteArray big(3 << 20, 'b');
        for (int i = 0; i < big.size(); i += 4096) {
            big[i] = char('a' + (i / 4096) % 26);
        }
        const QString name = QString::fromUtf8("résumé \"final\" [1].bin");
        kit::writeFile(in(src, name), big);
        kit::age(in(src, name));

        std::atomic<bool> killed{false};
        std::thread killer([&] {
            for (int i = 0; i < 6000 && !QFile::exists(pidFile); ++i) {
                ::usleep(10000);
            }
            const pid_t pid = pid_t(kit::readFile(pidFile).trimmed().toInt());
            killed = pid > 0 && ::kill(pid, SIGKILL) == 0;
        });
        Recorder window;
        walk(window, src, arch, true);
        killer.join();
        QVERIFY(killed);
        QCOMPARE(engine::state().compressed, 0);
        QCOMPARE(kit::names(arch), QStringList());
        const QStringList left = kit::names(src);
        QCOMPARE(left.size(), 2);
        QVERIFY(left[0].endsWith(QStringLiteral(".rn")) && left[1].endsWith(QStringLiteral(".rr")));
        QCOMPARE(kit::readFile(in(src, left[1])), big);

        // The archiver is back.
        QVERIFY(QFile::remove(rar));
        QVERIFY(QFile::link(QStringLiteral(VELMORADO_BIN_DIR "/rar"), rar));
        kit::ageAll(src);
        walk(window, src, arch, true);
        QCOMPARE(kit::names(src), QStringList());
        QCOMPARE(engine::state().compressed, 1);
        extractAll(window, arch, out);
        QCOMPARE(kit::names(out), QStringList{name});
        QCOMPARE(kit::readFile(in(out, name)), big);
    }

    // The name a name file gives back, and the ones it must not.
    void namesFromNameFiles() {
        using engine::NameFromNameFile;
        QCOMPARE(NameFromNameFile(nameLine(QStringLiteral("ab"))).value_or(QStringLiteral("-")),
                 QStringLiteral("ab"));
        QCOMPARE(NameFromNameFile("  61006200 ,x").value_or(QStringLiteral("-")),
                 QStringLiteral("ab"));
        for (const QString& bad :
             {QString(), QStringLiteral("."), QStringLiteral(".."), QStringLiteral("a/b"),
              QStringLiteral(".x"), QStringLiteral("a") + QChar(0) + QStringLiteral("b"),
              QString(QChar(0xD800)), QString(300, QLatin1Char('n'))}) {
            QVERIFY2(!NameFromNameFile(nameLine(bad)), qPrintable(bad));
        }
        QVERIFY(!NameFromNameFile("\"610\"\r\n"));
        QVERIFY(!NameFromNameFile(""));
    }
};

QTEST_GUILESS_MAIN(WalkTest)
#include "test_engine_walk.moc"
