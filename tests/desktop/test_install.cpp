// The install for one user, run for real with HOME in a temporary folder: it
// puts each file in place, never replaces a file it did not put there, and --uninstall takes away
// what it put there and the service unit the program registered, and nothing else. systemctl is a
// fake that records its words (no user service manager here).
#include "service/ServiceControl.h"

#include "FileKit.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QtTest>

using filekit::readFile;
using filekit::writeFile;

namespace {

const QString kBin = VELMORADO_BIN_DIR;
const QString kScript = VELMORADO_SOURCE_DIR "/scripts/install.sh";

QString sha256(const QByteArray& data) {
    return QCryptographicHash::hash(data, QCryptographicHash::Sha256).toHex();
}

} // namespace

class TestInstall : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> home, tools; // tools: the fake systemctl, outside home
    QProcessEnvironment env;

    QString at(const QString& name) const { return home->filePath(name); }
    QString unitFile() const { return at(".local/share/systemd/user/velmorado.service"); }
    QString wantsLink() const {
        return at(".config/systemd/user/default.target.wants/velmorado.service");
    }
    QString systemctlSaid() const { return QString::fromUtf8(readFile(tools->filePath("said"))); }

    // The script with args: its exit status (-1: killed) and what it wrote.
    QPair<int, QString> run(const QStringList& args) const {
        const auto r = filekit::run("bash", QStringList{kScript, "--from", kBin} + args, env);
        return {r.code, QString::fromUtf8(r.output)};
    }
    // Every entry under home: folders, links and their targets, files and a
    // hash of their content and their permissions.
    QMap<QString, QString> snapshot() const {
        QMap<QString, QString> all;
        QDirIterator it(home->path(),
                        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QFileInfo f(it.next());
            const QString name = f.filePath().mid(home->path().size() + 1);
            if (f.isSymLink()) {
                all[name] = "link " + f.symLinkTarget();
            } else if (f.isDir()) {
                all[name] = "folder";
            } else {
                all[name] = QString::number(int(f.permissions()), 16) + ' ' +
                            sha256(readFile(f.filePath()));
            }
        }
        return all;
    }
    // The unit the program registers for the velmorado of folder, enabled.
    void registerService(const QString& folder) {
        service::ServiceControl control;
        control.setExecutablePath(folder + "/velmorado");
        QVERIFY(QDir().mkpath(QFileInfo(unitFile()).path()) &&
                QDir().mkpath(QFileInfo(wantsLink()).path()));
        QVERIFY(writeFile(unitFile(), control.unitFileText().toUtf8()));
        QVERIFY(QFile::link(unitFile(), wantsLink()));
    }

private Q_SLOTS:
    void initTestCase() {
        for (const QString tool : {"rsvg-convert", "desktop-file-validate", "sha256sum"}) {
            if (QStandardPaths::findExecutable(tool).isEmpty()) {
                QSKIP(qPrintable(tool + " is not installed (scripts/install-deps.sh installs it)"));
            }
        }
    }
    void init() {
        home = std::make_unique<QTemporaryDir>();
        tools = std::make_unique<QTemporaryDir>();
        env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", home->path());
        for (const char* name : {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "VELMORADO_PREFIX"}) {
            env.remove(name);
        }
        env.insert("PATH", tools->path() + ':' + env.value("PATH"));
        setSystemctl(0);
    }
    // systemctl: records "WORDS|" a call, ends with status.
    void setSystemctl(int status) {
        QVERIFY(writeFile(tools->filePath("systemctl"),
                          "#!/bin/sh\nprintf '%s|' \"$*\" >>\"$(dirname \"$0\")/said\"\nexit " +
                              QByteArray::number(status) + "\n",
                          0755));
    }

    // Each built file under ~/.local/opt, a valid menu entry starting it;
    // installing again and uninstalling keep the user's parameters, and
    // without them nothing at all is left.
    void eachFileInPlaceAndTheParametersKept() {
        QCOMPARE(run({}).first, 0);
        const QString prefix = at(".local/opt/velmorado");
        QStringList expected{"velmorado", "rar", "VelmoradoHelpEN.htm", "VelmoradoHelpFR.htm"};
        expected << (QFileInfo::exists(kBin + "/net") ? QStringList{"net"} : QStringList{});
        for (const QString& image : QDir(kBin + "/help-images").entryList(QDir::Files)) {
            expected << "help-images/" + image;
        }
        QVERIFY(expected.size() > 4);
        for (const QString& name : expected) {
            QVERIFY2(readFile(prefix + '/' + name) == readFile(kBin + '/' + name),
                     qPrintable(name));
            QCOMPARE(QFileInfo(prefix + '/' + name).isExecutable(),
                     name == "velmorado" || name == "rar" || name == "net");
        }
        const QString desktop = at(".local/share/applications/velmorado.desktop");
        const QString entry = QString::fromUtf8(readFile(desktop));
        QVERIFY2(entry.contains("\nExec=\"" + prefix + "/velmorado\"\n") &&
                     entry.contains("\nIcon=velmorado\n") && entry.contains("\nName=Velmorado\n"),
                 qPrintable(entry));
        QCOMPARE(filekit::run("desktop-file-validate", {desktop}).code, 0);
        const QByteArray parameters = "[Configuration]\nLangue=1\n";
        QVERIFY(writeFile(prefix + "/Velmorado.ini", parameters));
        QCOMPARE(run({}).first, 0);
        QCOMPARE(readFile(prefix + "/Velmorado.ini"), parameters);
        const auto [code, said] = run({"--uninstall"});
        QCOMPARE(code, 0);
        for (const char* folder : {".", ".local", ".local/opt", ".local/opt/velmorado"}) {
            QCOMPARE(filekit::entries(at(folder)).size(), 1); // down to Velmorado.ini
        }
        QVERIFY2(said.contains("Velmorado.ini"), qPrintable(said));
        // Gone with the folders that held it, a fresh install leaves nothing.
        QVERIFY(QDir(at(".local")).removeRecursively());
        QCOMPARE(run({}).first, 0);
        QCOMPARE(run({"--uninstall"}).first, 0);
        QCOMPARE(filekit::entries(home->path()), QStringList());
    }

    // A name the install would write that holds a file of the user's (or of
    // the install, changed since) stops it before it writes anything, with
    // the name said and status 1.
    void aFileItDidNotPutThereIsNeverReplaced_data() {
        QTest::addColumn<QString>("prefix"); // under home
        QTest::addColumn<QString>("taken");  // the user's file, under home
        QTest::addColumn<bool>("installedFirst");
        const auto row = [](const char* name, const char* prefix, const char* taken, bool first) {
            QTest::newRow(name) << QString(prefix) << QString(taken) << first;
        };
        row("your own ~/bin/rar", "bin", "bin/rar", false);
        row("your own ~/bin/net", "bin", "bin/net", false);
        row("your own menu entry", "bin", ".local/share/applications/velmorado.desktop", false);
        row("a help page changed since it was installed", ".local/opt/velmorado",
            ".local/opt/velmorado/VelmoradoHelpEN.htm", true);
    }
    void aFileItDidNotPutThereIsNeverReplaced() {
        QFETCH(QString, prefix);
        QFETCH(QString, taken);
        QFETCH(bool, installedFirst);
        if (taken.endsWith("/net") && !QFileInfo::exists(kBin + "/net")) {
            QSKIP("net was not built");
        }
        if (installedFirst) {
            QCOMPARE(run({"--prefix", at(prefix)}).first, 0);
        } else {
            QVERIFY(QDir().mkpath(QFileInfo(at(taken)).path()));
        }
        QVERIFY(writeFile(at(taken), "mine, not the installer's\n", 0700));
        const auto before = snapshot();
        const auto [code, said] = run({"--prefix", at(prefix)});
        QCOMPARE(code, 1);
        QVERIFY2(said.contains("\n  " + at(taken) + '\n') && said.contains("Nothing was installed"),
                 qPrintable(said));
        QCOMPARE(snapshot(), before);
    }

    // Installed into ~/bin, which holds a file of the user's, beside an empty
    // menu folder that was there before; installed again over itself (an
    // upgrade); the program registered its service. --uninstall removes the
    // installed files and the folders it made, stops, disables and deletes
    // the service, keeps a file changed since it was installed and says so,
    // and leaves the user's file and the folders that were there before.
    // The service links go whether a user service manager answers or not.
    void uninstallTakesAwayWhatItPutThereAndNothingElse_data() {
        QTest::addColumn<int>("systemctlStatus");
        QTest::newRow("a user service manager answers") << 0;
        QTest::newRow("no user service manager") << 1;
    }
    void uninstallTakesAwayWhatItPutThereAndNothingElse() {
        QFETCH(int, systemctlStatus);
        setSystemctl(systemctlStatus);
        const QString bin = at("bin");
        QVERIFY(QDir().mkpath(bin) && QDir().mkpath(at(".local/share/applications")));
        QVERIFY(writeFile(bin + "/notes", "the user's notes\n"));
        const auto before = snapshot();
        QCOMPARE(run({"--prefix", bin}).first, 0);
        QCOMPARE(readFile(bin + "/rar"), readFile(kBin + "/rar"));
        QCOMPARE(run({"--prefix", bin}).first, 0); // the upgrade
        QVERIFY(QFileInfo(bin + "/velmorado").isExecutable());
        registerService(bin);
        QVERIFY(writeFile(bin + "/VelmoradoHelpFR.htm", "my own notes on the help\n"));

        const auto [code, said] = run({"--prefix", bin, "--uninstall"});
        QCOMPARE(code, 0);
        QVERIFY2(said.contains("Kept, changed since they were installed:\n  " + bin +
                               "/VelmoradoHelpFR.htm\n"),
                 qPrintable(said));
        QCOMPARE(systemctlSaid(), "--user stop velmorado.service|--user disable velmorado.service|"
                                  "--user unmask velmorado.service|--user daemon-reload|");
        auto expected = before;
        expected["bin/VelmoradoHelpFR.htm"] = snapshot().value("bin/VelmoradoHelpFR.htm");
        // What the program and its service manager made stays: only the unit and its link go.
        for (const char* folder :
             {".local/share/systemd", ".local/share/systemd/user", ".config", ".config/systemd",
              ".config/systemd/user", ".config/systemd/user/default.target.wants"}) {
            expected[folder] = "folder";
        }
        QCOMPARE(snapshot(), expected);
    }

    // A service unit that starts the velmorado of another folder is not this
    // installation's: it stays, and its service is left alone.
    void theServiceOfAnotherFolderStays() {
        QCOMPARE(run({}).first, 0);
        registerService(at("elsewhere"));
        const QByteArray unit = readFile(unitFile());
        const auto [code, said] = run({"--uninstall"});
        QCOMPARE(code, 0);
        QVERIFY2(said.contains("Kept the service unit"), qPrintable(said));
        QCOMPARE(readFile(unitFile()), unit);
        QVERIFY(QFileInfo(wantsLink()).isSymLink());
        QCOMPARE(systemctlSaid().toUtf8(), QByteArray("<missing>"));
        QVERIFY(!QFileInfo::exists(at(".local/opt")));
    }

    // The list is a file in the program folder, which anyone who may write
    // there can edit (another user too, where the folder is shared).
    // --uninstall removes nothing it names outside the places an
    // installation writes, whatever checksum it gives (or "-", any content),
    // nor a folder that holds none of its files; it says what it left.
    void aListEditedByHandRemovesNothingElse_data() {
        QTest::addColumn<bool>("older");    // the list without checksums
        QTest::addColumn<QString>("entry"); // added; @ stands for home, % for the program folder
        QTest::addColumn<QString>("left");  // the user's file or folder, under home
        const auto row = [](const char* name, bool older, const QString& entry, const char* left) {
            QTest::newRow(name) << older << entry << QString(left);
        };
        const QString notes = sha256("the user's notes\n");
        row("any content, in home", false, "file\t-\t@/notes", "notes");
        row("its checksum, in home", false, "file\t" + notes + "\t@/notes", "notes");
        row("its checksum, through ..", false,
            "file\t" + notes + "\t%/help-images/../../../../notes", "notes");
        row("the parameters, any content", false, "file\t-\t%/Velmorado.ini",
            ".local/opt/velmorado/Velmorado.ini");
        row("any content, a help page changed since", false, "file\t-\t%/VelmoradoHelpFR.htm",
            ".local/opt/velmorado/VelmoradoHelpFR.htm");
        row("a folder of the user's", false, "dir\t@/empty", "empty");
        row("older list, through ..", true, "../../../notes", "notes");
        row("older list, the parameters", true, "Velmorado.ini",
            ".local/opt/velmorado/Velmorado.ini");
    }
    void aListEditedByHandRemovesNothingElse() {
        QFETCH(bool, older);
        QFETCH(QString, entry);
        QFETCH(QString, left);
        const QString prefix = at(".local/opt/velmorado"), list = prefix + "/.velmorado-install";
        QVERIFY(writeFile(at("notes"), "the user's notes\n") && QDir().mkpath(at("empty")));
        QCOMPARE(run({}).first, 0);
        const QByteArray text =
            older ? QDir(prefix).entryList(QDir::Files).join('\n').toUtf8() + '\n' : readFile(list);
        if (left.startsWith(".local/opt/velmorado/")) { // the parameters, or a help page changed
            QVERIFY(writeFile(at(left), "the user's own\n"));
        }
        entry.replace('@', home->path()).replace('%', prefix);
        QVERIFY(writeFile(list, text + entry.toUtf8() + '\n'));
        const QString kept = snapshot().value(left);
        QVERIFY(!kept.isEmpty());

        const auto [code, said] = run({"--uninstall"});
        QCOMPARE(code, 0);
        QCOMPARE(snapshot().value(left), kept);
        QVERIFY2(said.contains("no place of an installation:\n"), qPrintable(said));
        QVERIFY(!QFileInfo::exists(prefix + "/velmorado")); // its own files go all the same
    }

    // A copy that runs from the program folder would go on without its
    // archiver, taking the user's files in hand each pass with nothing to
    // pack them with: --uninstall removes nothing while one answers there,
    // and says why; once it has ended, the installation goes.
    void aRunningCopyKeepsItsProgramFolder() {
        QCOMPARE(run({}).first, 0);
        const QString exe = at(".local/opt/velmorado/velmorado");
        QProcessEnvironment copyEnv = env;
        copyEnv.insert("QT_QPA_PLATFORM", "offscreen");
        copyEnv.insert("VELMORADO_DIALOG_ANSWERS", ""); // a box is written, not waited on
        QProcess copy;
        copy.setProcessEnvironment(copyEnv);
        copy.start(exe, {});
        QVERIFY(copy.waitForStarted());
        const auto stop = qScopeGuard([&] {
            copy.terminate();
            copy.waitForFinished();
        });
        QVERIFY(filekit::eventually([&] {
            return copy.state() != QProcess::Running ||
                   filekit::run(exe, {"--status"}, env).code != 2;
        }));
        QVERIFY(copy.state() == QProcess::Running);
        const auto before = snapshot();

        const auto [code, said] = run({"--uninstall"});
        QCOMPARE(code, 1);
        QVERIFY2(said.contains("runs from") && said.contains("Nothing was removed"),
                 qPrintable(said));
        QCOMPARE(snapshot(), before);
        copy.terminate();
        QVERIFY(copy.waitForFinished(60000));
        QCOMPARE(run({"--uninstall"}).first, 0);
        QVERIFY(!QFileInfo::exists(exe));
    }

    // An installation made before the list held checksums (a list of names in
    // the program folder) is upgraded and then removed: every file goes; the
    // folders it found stay, as nobody can tell any more whether it made them.
    void anOlderInstallationIsUpgradedAndRemoved() {
        QCOMPARE(run({}).first, 0);
        const QString prefix = at(".local/opt/velmorado");
        QStringList names = QDir(prefix).entryList(QDir::Files);
        names.removeAll(".velmorado-install");
        for (const QString& image : QDir(prefix + "/help-images").entryList(QDir::Files)) {
            names << "help-images/" + image;
        }
        QVERIFY(writeFile(prefix + "/.velmorado-install", names.join('\n').toUtf8() + '\n'));
        QCOMPARE(run({}).first, 0);
        QCOMPARE(run({"--uninstall"}).first, 0);
        const auto left = snapshot();
        QVERIFY(!left.isEmpty());
        QCOMPARE(QStringList(left.values()).filter("folder").size(), left.size());
    }
};

QTEST_GUILESS_MAIN(TestInstall)
#include "test_install.moc"
