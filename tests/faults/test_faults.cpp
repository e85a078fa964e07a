// Faults of the disk under the real program (offscreen, automatic start, one
// second between passes, In -> Arch compress, Arch -> Out uncompress): a
// read-only target, a target that goes away and comes back, a full memory file
// system, and moves across file systems with kills. Nothing may be lost or
// damaged while the fault lasts, the day's log says what is wrong, and once it
// clears every file arrives in Out. Mounts need root (else those cases skip).

#include "FileKit.h"
#include "ProgramFolderKit.h"

#include <QDate>
#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QtTest>

#include <csignal>
#include <functional>
#include <optional>
#include <sys/mount.h>
#include <unistd.h>

using filekit::entries;
using filekit::readFile;

namespace {

// Waits up to ms for cond, letting nothing else run (the program is another process).
bool waitFor(const std::function<bool()>& cond, int ms, int pollMs = 50) {
    QElapsedTimer t;
    t.start();
    for (; !cond(); QThread::msleep(pollMs)) {
        if (t.elapsed() > ms) {
            return false;
        }
    }
    return true;
}

struct UserFile {
    QString name;
    QByteArray data;
    QList<QByteArray> xattrs; // "name=value", sorted
};

// The program in a folder of its own, its pairs In -> Arch -> Out.
class Site : public programkit::ProgramFolder {
public:
    const QString inDir = folder("In"), arch = folder("Arch"), out = folder("Out");
    const QString logs = folder("logs");
    QProcess velmorado;
    QList<UserFile> files;
    QRandomGenerator random;

    explicit Site(quint32 seed) : ProgramFolder({"velmorado", "rar"}), random(seed) {
        writePairs({{inDir, arch}, {arch, out}});
    }
    ~Site() {
        stop();
        for (const QString& f : m_mounts) {
            ::umount2(QFile::encodeName(f), MNT_DETACH);
        }
    }

    // A tmpfs of size on folder until the end of the case; why it cannot be, else.
    QString tmpfs(const QString& folder, const QByteArray& size) {
        if (::geteuid() != 0) {
            return QStringLiteral("needs root to mount file systems (CI runs the tests as root)");
        }
        if (::mount("tmpfs", QFile::encodeName(folder), "tmpfs", 0, "size=" + size) != 0) {
            return QStringLiteral("cannot mount a tmpfs: ") +
                   QString::fromLocal8Bit(strerror(errno));
        }
        m_mounts << folder;
        return {};
    }

    // count files of sizes up to maxSize (exactly maxSize when exact), with
    // hard names, half of them with a user.* attribute, quiet for an hour.
    void drop(int count, qsizetype maxSize, bool exact = false) {
        for (int i = 0; i < count; ++i) {
            const QString name =
                QStringLiteral("file %1 \"q\" -x \u00e9\u0301 \U0001F600").arg(files.size());
            const QString path = inDir + QLatin1Char('/') + name;
            QVERIFY(filekit::writeFile(
                path, noise(exact ? maxSize : random.bounded(qint64(maxSize) + 1))));
            QVERIFY(i % 2 != 0 || filekit::setXattr(path, "user.stream", noise(40)));
            const timespec t[2] = {{::time(nullptr) - 3600, 0}, {::time(nullptr) - 3600, 0}};
            ::utimensat(AT_FDCWD, QFile::encodeName(path), t, 0);
            files << UserFile{name, readFile(path), filekit::userXattrs(path)};
        }
    }

    void start(bool stopAfterFirstPass = false) {
        // Keeps the number of the last archive that the program stored.
        const QByteArray old = readFile(ini());
        writeIni(QByteArray(
                     "[Configuration]\r\nAutomatique=1\r\nTemporisation=1\r\nErreurDossier=1\r\n") +
                 (stopAfterFirstPass ? "ArretAutomatique=1\r\n" : "") +
                 "[Logs]\r\nLogs=1\r\nFichiersLogs=1\r\nPathLogs=" + QFile::encodeName(logs) +
                 "\r\n[Rar_1]\r\nNbTemporisations=1\r\nRar=0\r\nEnable=1\r\n"
                 "[Rar_2]\r\nNbTemporisations=1\r\nRar=1\r\nEnable=1\r\n" +
                 old.mid(old.contains("[Processing]") ? old.indexOf("[Processing]") : old.size()));
        QProcessEnvironment env = programkit::environment();
        for (const char* xdg : {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_RUNTIME_DIR"}) {
            env.insert(xdg, folder(xdg));
        }
        env.remove("VELMORADO_SERVICE");
        velmorado.setProcessEnvironment(env);
        velmorado.setWorkingDirectory(path());
        velmorado.setProcessChannelMode(QProcess::MergedChannels);
        velmorado.start(exe(), {});
        QVERIFY(velmorado.waitForStarted());
    }

    // Kills the program, and the archivers it started (found by their parent) when asked.
    void stop(bool withArchivers = false) {
        QList<pid_t> children;
        for (const QString& p : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
            const QByteArray stat = readFile(QStringLiteral("/proc/%1/stat").arg(p));
            const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
            if (withArchivers && stat.contains("(rar)") && fields.size() > 1 &&
                fields[1].toLongLong() == velmorado.processId()) {
                children << pid_t(p.toLongLong());
            }
        }
        velmorado.kill();
        velmorado.waitForFinished();
        for (const pid_t pid : children) {
            ::kill(pid, SIGKILL);
        }
    }

    bool allArrived() const {
        for (const UserFile& f : files) {
            if (QFileInfo(out + QLatin1Char('/') + f.name).size() != f.data.size() ||
                !QFileInfo::exists(out + QLatin1Char('/') + f.name)) {
                return false;
            }
        }
        return entries(inDir).isEmpty() && entries(arch).isEmpty();
    }

    // Whatever stands in Out under a user's name is that file, whole.
    void nothingDamaged() const {
        for (const UserFile& f : files) {
            const QString p = out + QLatin1Char('/') + f.name;
            QVERIFY2(!QFileInfo::exists(p) || readFile(p) == f.data,
                     qPrintable("damaged in Out: " + f.name));
        }
    }

    // Once the fault is over: every file arrives within ms, and after one
    // more pass that ends by itself every file is in Out exactly once,
    // byte-identical, with its attributes, and nothing else in any folder.
    void everythingArrives(int ms) {
        QVERIFY2(waitFor([&] { return allArrived(); }, ms), qPrintable(velmorado.readAll()));
        stop();
        start(true);
        QVERIFY2(velmorado.waitForFinished(120000), "the last pass did not end by itself");
        QCOMPARE(velmorado.exitCode(), 0);
        QCOMPARE(entries(inDir) + entries(arch), QStringList());
        QStringList names;
        for (const UserFile& f : files) {
            names << f.name;
            QVERIFY2(readFile(out + QLatin1Char('/') + f.name) == f.data, qPrintable(f.name));
            QCOMPARE(filekit::userXattrs(out + QLatin1Char('/') + f.name), f.xattrs);
        }
        names.sort();
        QCOMPARE(entries(out), names);
    }

    // Lines of today's log that hold part, other than a file done or a pass summary.
    QStringList causeLines(const QString& part) const {
        const QString path = logs + QDate::currentDate().toString(
                                        QStringLiteral("'/Log Velmorado 'yyyy-MM-dd'.htm'"));
        static const QRegularExpression doneOrSummary("<b>(Rar|Unrar)</b>|<hr>");
        QStringList found = QString::fromUtf8(readFile(path)).split("\r\n").filter(part);
        found.removeIf([](const QString& line) { return line.contains(doneOrSummary); });
        return found;
    }

private:
    QByteArray noise(qsizetype size) { // incompressible: sizes on disk are what they say
        QByteArray b(size, Qt::Uninitialized);
        std::generate(b.begin(), b.end(), [&] { return char(random.generate()); });
        return b;
    }
    QStringList m_mounts;
};

} // namespace

class FaultsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Archives cannot go into a read-only target: they wait in the source
    // folder, the log says why once, and they go on once it is writable.
    void readOnlyTarget() {
        Site site(11);
        std::optional<filekit::ReadOnlyFolder> readOnly(std::in_place, site.arch);
        site.drop(6, 300 * 1024);
        site.start();
        // Every file has left In under its own name (into an archive that waits).
        QVERIFY(waitFor(
            [&] {
                return std::none_of(site.files.begin(), site.files.end(), [&](const UserFile& f) {
                    return QFileInfo::exists(site.inDir + QLatin1Char('/') + f.name);
                });
            },
            20000));
        QVERIFY2(waitFor([&] { return !site.causeLines(site.arch).isEmpty(); }, 20000),
                 "the read-only target is not in the day's log");
        QThread::sleep(2);
        const QStringList started = site.causeLines(site.arch);
        QThread::sleep(4); // four more passes: nothing new unless something changed
        QCOMPARE(site.causeLines(site.arch), started);

        readOnly.reset(); // unmounted at once; a walk in flight lets go of it after its pass
        QVERIFY2(waitFor([&] { return site.causeLines(site.arch).size() > started.size(); }, 60000),
                 "the log does not say that the target is writable again");
        site.everythingArrives(60000);
    }

    // The target folder goes away in the middle of a pass and comes back:
    // nothing is lost, the log names the missing folder, work goes on.
    void targetRemovedAndBack() {
        Site site(12);
        site.drop(40, 400 * 1024);
        site.start();
        QVERIFY(waitFor([&] { return !entries(site.arch).isEmpty(); }, 20000));
        QVERIFY(QDir().rename(site.arch, site.arch + ".away"));
        // Once the pass in flight has ended, the next one finds it missing.
        QVERIFY2(waitFor([&] { return !site.causeLines(site.arch).isEmpty(); }, 60000),
                 "the missing target is not in the day's log");
        site.nothingDamaged();
        QVERIFY(QDir().rename(site.arch + ".away", site.arch));
        site.everythingArrives(90000);
    }

    // Arch, the compress target and the uncompress source, is a 3 MB memory
    // file system: archives and extracted files no longer fit. No file may
    // be delivered damaged, the log says why, and once the file system is
    // larger everything arrives.
    void fullTarget() {
        Site site(13);
        if (const QString why = site.tmpfs(site.arch, "3m"); !why.isEmpty()) {
            QSKIP(qPrintable(why));
        }
        site.drop(1, 0);             // an empty file
        site.drop(1, 2 << 20, true); // 2 MB
        site.drop(8, 256 * 1024);
        site.start();
        QThread::sleep(10);
        site.nothingDamaged();
        QVERIFY2(waitFor(
                     [&] {
                         return !site.causeLines(site.arch).isEmpty() ||
                                !site.causeLines(site.files[1].name).isEmpty();
                     },
                     20000),
                 "the full file system is not in the day's log");
        QVERIFY(::mount(nullptr, QFile::encodeName(site.arch), nullptr, MS_REMOUNT, "size=256m") ==
                0);
        site.everythingArrives(90000);
    }

    // In and Out on memory file systems, Arch on disk: every move crosses a
    // file system and is a copy. The program (with or without its archiver)
    // is killed at random moments; every file arrives once, and no copy in
    // flight is left behind in any folder.
    void crossFileSystemKills() {
        const quint32 seed = QRandomGenerator::global()->generate();
        qInfo("seed %u", seed);
        Site site(seed);
        for (const QString& f : {site.inDir, site.out}) {
            if (const QString why = site.tmpfs(f, "256m"); !why.isEmpty()) {
                QSKIP(qPrintable(why));
            }
        }
        site.drop(16, 4 << 20);
        int kills = 0;
        const auto copying = [&] {
            return !(entries(site.inDir) + entries(site.arch) + entries(site.out))
                        .filter(QStringLiteral(".velmorado-move-"))
                        .isEmpty();
        };
        for (; kills < 30 && !site.allArrived(); ++kills) {
            site.start();
            // Half of the kills as soon as a copy across file systems is seen.
            if (site.random.bounded(2) != 0 || !waitFor(copying, 3000, 2)) {
                QThread::msleep(site.random.bounded(100, 1500));
            }
            site.nothingDamaged();
            site.stop(site.random.bounded(2) == 0);
        }
        site.start();
        site.everythingArrives(120000);
    }
};

QTEST_GUILESS_MAIN(FaultsTest)
#include "test_faults.moc"
