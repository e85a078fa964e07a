// Faults of the disk under the real program: nothing may be lost or damaged while
// the fault lasts, and once it clears every file arrives.

#include "FileKit.h"
#include "ProgramFolderKit.h"

#include <QtTest>

#include <csignal>
#include <optional>

using filekit::entries;
using filekit::readFile;

namespace {

struct UserFile {
    QString name;
    QByteArray data;
    QList<QByteArray> xattrs; // "name=value", sorted
};

// The program in a folder of its own, its pairs In -> Arch -> Out.
class Site : public programkit::ProgramFolder {
public:
    const QString in = folder("In"), arch = folder("Arch"), out = folder("Out"),
                  logs = folder("logs");
    QProcess velmorado;
    QList<UserFile> files;
    QRandomGenerator random;

    explicit Site(quint32 seed) : ProgramFolder({"velmorado", "rar"}), random(seed) {
        qInfo("seed %u", seed);
        writePairs({{in, arch}, {arch, out}});
        writeIni("[Configuration]\r\nAutomatique=1\r\nTemporisation=1\r\nErreurDossier=1\r\n"
                 "[Logs]\r\nLogs=1\r\nFichiersLogs=1\r\nPathLogs=" +
                 QFile::encodeName(logs) +
                 "\r\n[Rar_1]\r\nNbTemporisations=1\r\nRar=0\r\nEnable=1\r\n"
                 "[Rar_2]\r\nNbTemporisations=1\r\nRar=1\r\nEnable=1\r\n");
    }
    ~Site() {
        stop();
        for (const QString& f : mounts) {
            ::umount2(QFile::encodeName(f), MNT_DETACH);
        }
    }

    // An empty file, one of 2 MB and count more of up to maxSize, incompressible,
    // with hard names, half of them with a user.* attribute, an hour old.
    void drop(int count, qsizetype maxSize) {
        for (int i = 0; i < count + 2; ++i) {
            const QString name =
                QString("file %1 \"q\" -x \u00e9\u0301 \U0001F600").arg(files.size());
            const QString path = in + '/' + name;
            QVERIFY(filekit::writeFile(
                path, noise(i < 2 ? i * (2 << 20) : random.bounded(qint64(maxSize) + 1))));
            QVERIFY(i % 2 != 0 || filekit::setXattr(path, "user.stream", noise(40)));
            filekit::age(path);
            files << UserFile{name, readFile(path), filekit::userXattrs(path)};
        }
    }

    void start(bool stopAfterFirstPass = false) {
        if (stopAfterFirstPass) { // beside the keys that the program has added since
            QVERIFY(writeIni(
                readFile(ini()).replace("Automatique=1", "Automatique=1\r\nArretAutomatique=1")));
        }
        velmorado.setProcessChannelMode(QProcess::MergedChannels);
        velmorado.setChildProcessModifier([] { ::setpgid(0, 0); });
        ProgramFolder::start(velmorado);
        QVERIFY(velmorado.waitForStarted());
    }

    // Kills the program, with its archivers (its process group) when asked.
    void stop(bool withArchivers = false) {
        if (velmorado.state() != QProcess::NotRunning) {
            ::kill(withArchivers ? -velmorado.processId() : velmorado.processId(), SIGKILL);
            velmorado.waitForFinished();
        }
    }

    bool allArrived() const {
        return (entries(in) + entries(arch)).isEmpty() &&
               std::all_of(files.begin(), files.end(), [&](const UserFile& f) {
                   const QFileInfo arrived(out + '/' + f.name);
                   return arrived.exists() && arrived.size() == f.data.size();
               });
    }

    // Whatever stands in Out under a user's name is that file, whole.
    void nothingDamaged() const {
        for (const UserFile& f : files) {
            const QString p = out + '/' + f.name;
            QVERIFY2(!QFileInfo::exists(p) || readFile(p) == f.data,
                     qPrintable("damaged: " + f.name));
        }
    }

    // Every file arrives within ms; after one more pass that ends by itself each
    // is in Out once, whole, with its attributes, and nothing else anywhere.
    void everythingArrives(int ms) {
        QVERIFY2(QTest::qWaitFor([&] { return allArrived(); }, ms), velmorado.readAll().data());
        stop();
        start(true);
        QVERIFY2(velmorado.waitForFinished(120000), "the last pass did not end by itself");
        QCOMPARE(velmorado.exitCode(), 0);
        QCOMPARE(entries(in) + entries(arch), QStringList());
        for (const UserFile& f : files) {
            QVERIFY2(readFile(out + '/' + f.name) == f.data, qPrintable(f.name));
            QCOMPARE(filekit::userXattrs(out + '/' + f.name), f.xattrs);
        }
        QCOMPARE(entries(out).size(), files.size()); // names are unique: nothing else
    }

    // Lines of today's log that hold part, other than a file done or a pass summary.
    QStringList causeLines(const QString& part) const {
        const QString path =
            logs + QDate::currentDate().toString("'/Log Velmorado 'yyyy-MM-dd'.htm'");
        static const QRegularExpression noDoneOrSummary("^(?!.*(<b>(Rar|Unrar)</b>|<hr>))");
        return QString::fromUtf8(readFile(path)).split("\r\n").filter(part).filter(noDoneOrSummary);
    }

    QStringList mounts; // unmounted at the end

    QByteArray noise(qsizetype size) {
        QByteArray b(size, Qt::Uninitialized);
        std::generate(b.begin(), b.end(), [&] { return char(random.generate()); });
        return b;
    }
};

} // namespace

class FaultsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void faults_data() {
        QTest::addColumn<int>("count"); // files beside an empty one and one of 2 MB
        QTest::newRow("readOnlyTarget") << 6;
        QTest::newRow("targetRemovedAndBack") << 40;
        QTest::newRow("fullTarget") << 8;
        QTest::newRow("crossFileSystemKills") << 16;
    }

    // Arch (compress target, uncompress source) read-only: archives wait in In
    // and the log says why once; Arch removed during a pass; Arch a full 3 MB
    // memory file system; In and Out memory file systems (every move a copy)
    // with kills. Nothing arrives damaged, and once the fault clears, all does.
    void faults() {
        QFETCH(int, count);
        const QByteArray fault = QTest::currentDataTag();
        const bool full = fault == "fullTarget", cross = fault == "crossFileSystemKills";
        Site site(cross ? QRandomGenerator::global()->generate() : quint32(count));
        std::optional<filekit::ReadOnlyFolder> readOnly;
        if (fault == "readOnlyTarget") {
            readOnly.emplace(site.arch);
        }
        for (const QString& f :
             cross ? QStringList{site.in, site.out} : QStringList(full, site.arch)) {
            if (::geteuid() != 0) {
                QSKIP("needs root to mount file systems (CI runs the tests as root)");
            }
            QVERIFY2(::mount("tmpfs", QFile::encodeName(f), "tmpfs", 0, full ? "size=3m" : "") == 0,
                     strerror(errno));
            site.mounts << f;
        }
        site.drop(count, cross ? 4 << 20 : 300 * 1024);
        const auto copying = [&] { // a move across file systems in flight
            const QStringList all = entries(site.in) + entries(site.arch) + entries(site.out);
            return !all.filter(".velmorado-move-").isEmpty();
        };
        for (int kills = 0; cross && kills < 30 && !site.allArrived(); ++kills) {
            site.start();
            bool seen = false; // half of the kills as soon as a copy is seen
            for (QDeadlineTimer watch(site.random.bounded(2) * 3000);
                 !watch.hasExpired() && !(seen = copying());) {
                QThread::msleep(2);
            }
            QThread::msleep(seen ? 0 : site.random.bounded(100, 1500));
            site.nothingDamaged();
            site.stop(site.random.bounded(2) == 0);
        }
        site.start();
        if (cross) {
            return site.everythingArrives(120000);
        }
        if (fault == "targetRemovedAndBack") {
            QVERIFY(QTest::qWaitFor([&] { return !entries(site.arch).isEmpty(); }, 20000));
            QVERIFY(QDir().rename(site.arch, site.arch + ".away"));
        } else if (full) {
            QThread::sleep(10);
        }
        // Once the pass in flight has ended, the next one finds the fault.
        const auto logged = [&] {
            return site.causeLines(site.arch).size() +
                   (full ? site.causeLines(site.files[1].name).size() : 0);
        };
        QVERIFY2(QTest::qWaitFor([&] { return logged() > 0; }, 60000), "the fault is not logged");
        site.nothingDamaged();
        if (readOnly) {
            // Every file has left In under its own name (into an archive that waits).
            QVERIFY(
                QTest::qWaitFor([&] { return entries(site.in).filter("\"q\"").isEmpty(); }, 20000));
            QThread::sleep(2);
            const auto started = logged();
            QThread::sleep(4); // four more passes: nothing new unless something changed
            QCOMPARE(logged(), started);
            readOnly.reset(); // unmounted at once; a walk in flight lets go of it after its pass
            QVERIFY2(QTest::qWaitFor([&] { return logged() > started; }, 60000),
                     "the log does not say that the target is writable again");
        } else if (full) {
            QVERIFY(::mount(nullptr, QFile::encodeName(site.arch), nullptr, MS_REMOUNT,
                            "size=256m") == 0);
        } else {
            QVERIFY(QDir().rename(site.arch + ".away", site.arch));
        }
        site.everythingArrives(90000);
    }
};

QTEST_GUILESS_MAIN(FaultsTest)
#include "test_faults.moc"
