// The program as a desktop user meets it: a second copy that brings the first
// one's window to the front, --help and --version, the help documents beside
// the executable, and the install for one user into a temporary home.
#include "app/Application.h"
#include "platform/SingleInstance.h"
#include "ui/main/Dialogs.h"
#include "ui/main/frmKestrune.h"

#include <QAction>
#include <QApplication>
#include <QDirIterator>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include "FileKit.h"
#include "ProgramFolderKit.h"

#include <sys/stat.h>

using filekit::readFile;
using filekit::writeFile;
using programkit::ProgramFolder;

namespace {

const QString kBin = QStringLiteral(VELMORADO_BIN_DIR);
const QString kSource = QStringLiteral(VELMORADO_SOURCE_DIR);

// Every file and folder under a folder, relative to it, sorted.
QStringList tree(const QString& root) {
    QStringList all;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        all << QDir(root).relativeFilePath(it.next());
    }
    all.sort();
    return all;
}

bool isExecutable(const QString& path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 && (st.st_mode & S_IXUSR);
}

} // namespace

class TestDesktop : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void aSecondCopyBringsTheFirstOnesWindowToTheFront() {
        // The first copy is this process's window on a program folder that
        // also holds a copy of the executable; the second is that executable.
        ProgramFolder dir({"velmorado", "rar"});
        ui::setDialogs(std::make_unique<ui::ScriptedDialogs>());
        ui::frmKestrune first(dir.path());
        app::Application firstApp(first, dir.path());
        QVERIFY(firstApp.start());
        QVERIFY(QTest::qWaitForWindowExposed(&first));
        QVERIFY(!first.close()); // put away in the tray, or minimised
        QTRY_VERIFY(!first.isVisible() || (first.windowState() & Qt::WindowMinimized));

        QProcess second;
        second.setProcessEnvironment(programkit::environment());
        second.start(dir.exe(), {});
        QVERIFY(second.waitForStarted());
        // The first copy answers from its event loop, so this one must run.
        QTRY_VERIFY_WITH_TIMEOUT(second.state() == QProcess::NotRunning, 60000);
        QCOMPARE(second.exitCode(), 1);
        const QString err = QString::fromUtf8(second.readAllStandardError());
        QVERIFY2(err.contains(QStringLiteral("velmorado-dialog: message: Velmorado: "
                                             "Program already running")),
                 qPrintable(err));
        QVERIFY(first.isVisible());
        QVERIFY(!(first.windowState() & Qt::WindowMinimized));
    }

    void aSocketLeftByACopyThatDiedIsTakenOver() {
        ProgramFolder dir({"velmorado"});
        platform::SingleInstance holder(dir.path());
        // What a killed copy leaves: a socket file that nobody listens on.
        QVERIFY(writeFile(holder.socketPath(), "stale"));
        QVERIFY(holder.acquire());
        int raised = 0;
        QVERIFY(holder.listen([&raised] { ++raised; }));
        // A copy without the lock never takes the socket over.
        platform::SingleInstance other(dir.path());
        QVERIFY(!other.acquire());
        QVERIFY(!other.listen([] {}));

        QProcess second;
        second.setProcessEnvironment(programkit::environment());
        second.start(dir.exe(), {});
        QVERIFY(second.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(second.state() == QProcess::NotRunning, 60000);
        QCOMPARE(second.exitCode(), 1);
        QCOMPARE(raised, 1);
    }

    void helpAndVersionAnswerWithoutAWindow() {
        // Another copy holds the folder's lock: the answers come all the same.
        ProgramFolder dir({"velmorado"});
        platform::SingleInstance running(dir.path());
        QVERIFY(running.acquire());
        for (const QStringList& args :
             {QStringList{"--help"}, QStringList{"--version"}, QStringList{"--foo", "--version"}}) {
            QProcess p;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            // No display of any kind: nothing may try to open one.
            env.remove(QStringLiteral("QT_QPA_PLATFORM"));
            env.remove(QStringLiteral("DISPLAY"));
            env.remove(QStringLiteral("WAYLAND_DISPLAY"));
            p.setProcessEnvironment(env);
            p.start(dir.exe(), args);
            QVERIFY(p.waitForFinished(30000));
            const QString out = QString::fromUtf8(p.readAllStandardOutput());
            QCOMPARE(p.exitStatus(), QProcess::NormalExit);
            QCOMPARE(p.exitCode(), 0);
            QCOMPARE(QString::fromUtf8(p.readAllStandardError()), QString());
            if (args.contains(QStringLiteral("--help"))) {
                QVERIFY2(out.startsWith(QStringLiteral("Usage: velmorado [--help | --version]\n")),
                         qPrintable(out));
                QVERIFY(out.contains(QStringLiteral("VelmoradoHelpEN.htm")));
            } else {
                QCOMPARE(out, QStringLiteral("Velmorado 1.0c\n"));
            }
        }
    }

    void theHelpDocumentsStandBesideTheExecutableWithTheirPictures_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("lang");
        QTest::newRow("English") << QStringLiteral("VelmoradoHelpEN.htm") << QStringLiteral("en");
        QTest::newRow("French") << QStringLiteral("VelmoradoHelpFR.htm") << QStringLiteral("fr");
    }
    void theHelpDocumentsStandBesideTheExecutableWithTheirPictures() {
        QFETCH(QString, file);
        QFETCH(QString, lang);
        const QString text = QString::fromUtf8(readFile(kBin + QLatin1Char('/') + file));
        QVERIFY2(text.startsWith(QStringLiteral("<!DOCTYPE html>")), qPrintable(file));
        QVERIFY(text.contains(QStringLiteral("<html lang=\"%1\">").arg(lang)));
        // Every picture and every page it points to is there.
        int pictures = 0;
        const QRegularExpression link(QStringLiteral("(?:src|href)=\"([^\"#:]+)\""));
        for (auto m = link.globalMatch(text); m.hasNext();) {
            const QString target = m.next().captured(1);
            QVERIFY2(QFileInfo::exists(kBin + QLatin1Char('/') + target), qPrintable(target));
            pictures += target.endsWith(QStringLiteral(".png")) ? 1 : 0;
        }
        QVERIFY(pictures >= 2);
        // Every in-page link has its anchor.
        const QRegularExpression anchor(QStringLiteral("href=\"#([^\"]+)\""));
        for (auto m = anchor.globalMatch(text); m.hasNext();) {
            const QString id = m.next().captured(1);
            QVERIFY2(text.contains(QStringLiteral("id=\"%1\"").arg(id)), qPrintable(id));
        }
    }

    void theHelpEntryOpensTheDocumentOfTheLanguage() {
        ProgramFolder dir({"VelmoradoHelpEN.htm", "VelmoradoHelpFR.htm", "rar"});
        auto boxes = std::make_unique<ui::ScriptedDialogs>();
        ui::ScriptedDialogs* shown = boxes.get();
        ui::setDialogs(std::move(boxes));
        ui::frmKestrune w(dir.path());
        app::Application a(w, dir.path());
        QVERIFY(a.start());
        for (const auto& [entry, file] : {std::pair{"mnuAnglais", "VelmoradoHelpEN.htm"},
                                          std::pair{"mnuFrancais", "VelmoradoHelpFR.htm"}}) {
            w.findChild<QAction*>(QLatin1String(entry))->trigger();
            w.findChild<QAction*>(QStringLiteral("mnuAide"))->trigger();
            QCOMPARE(shown->shown.last().kind, QStringLiteral("open"));
            QCOMPARE(shown->shown.last().text, dir.filePath(QLatin1String(file)));
        }
    }

    void theInstallForOneUserPutsEachFileInPlaceAndTakesItAway() {
        for (const char* tool : {"rsvg-convert", "desktop-file-validate", "bash"}) {
            if (QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty()) {
                QSKIP(qPrintable(QStringLiteral("%1 is not installed (scripts/install-deps.sh "
                                                "installs it)")
                                     .arg(QLatin1String(tool))));
            }
        }
        QTemporaryDir home;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), home.path());
        env.remove(QStringLiteral("XDG_DATA_HOME"));
        env.remove(QStringLiteral("VELMORADO_PREFIX"));
        const auto run = [&env](const QStringList& args, QString* output = nullptr) {
            QProcess p;
            p.setProcessEnvironment(env);
            p.setProcessChannelMode(QProcess::MergedChannels);
            p.start(QStringLiteral("bash"),
                    QStringList{kSource + QStringLiteral("/scripts/install.sh")} + args);
            const bool done = p.waitForFinished(120000);
            const QString out = QString::fromUtf8(p.readAll());
            if (output) {
                *output = out;
            }
            return done && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0
                       ? QString()
                       : out + QStringLiteral(" (exit %1)").arg(p.exitCode());
        };
        QString failure = run({QStringLiteral("--from"), kBin});
        QVERIFY2(failure.isEmpty(), qPrintable(failure));

        const QString prefix = home.filePath(QStringLiteral(".local/opt/velmorado"));
        const QString share = home.filePath(QStringLiteral(".local/share"));
        // The program folder: each file as built.
        QStringList expected{QStringLiteral("velmorado"), QStringLiteral("rar"),
                             QStringLiteral("VelmoradoHelpEN.htm"),
                             QStringLiteral("VelmoradoHelpFR.htm")};
        if (QFileInfo::exists(kBin + QStringLiteral("/net"))) {
            expected << QStringLiteral("net");
        }
        for (const QString& image :
             QDir(kBin + QStringLiteral("/help-images")).entryList(QDir::Files)) {
            expected << QStringLiteral("help-images/") + image;
        }
        QVERIFY(expected.size() > 4);
        for (const QString& name : expected) {
            QVERIFY2(readFile(prefix + QLatin1Char('/') + name) ==
                         readFile(kBin + QLatin1Char('/') + name),
                     qPrintable(name));
        }
        for (const char* program : {"velmorado", "rar"}) {
            QVERIFY2(isExecutable(prefix + QLatin1Char('/') + QLatin1String(program)), program);
        }
        QVERIFY(!isExecutable(prefix + QStringLiteral("/VelmoradoHelpEN.htm")));

        // The menu entry starts the installed program and is valid.
        const QString desktop = share + QStringLiteral("/applications/velmorado.desktop");
        const QString entry = QString::fromUtf8(readFile(desktop));
        QVERIFY2(
            entry.contains(QStringLiteral("\nExec=\"") + prefix + QStringLiteral("/velmorado\"\n")),
            qPrintable(entry));
        QVERIFY(entry.contains(QStringLiteral("\nIcon=velmorado\n")));
        QVERIFY(entry.contains(QStringLiteral("\nName=Velmorado\n")));
        QProcess validate;
        validate.setProcessChannelMode(QProcess::MergedChannels);
        validate.start(QStringLiteral("desktop-file-validate"), {desktop});
        QVERIFY(validate.waitForFinished(30000));
        QVERIFY2(validate.exitCode() == 0, validate.readAll().constData());

        // The icon: the program's own picture, and a PNG of each size.
        const QString hicolor = share + QStringLiteral("/icons/hicolor");
        QCOMPARE(readFile(hicolor + QStringLiteral("/scalable/apps/velmorado.svg")),
                 readFile(kSource + QStringLiteral("/src/ui/resources/velmorado.svg")));
        for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
            const QString png = hicolor + QStringLiteral("/%1x%1/apps/velmorado.png").arg(size);
            const QImage image(png);
            QVERIFY2(!image.isNull(), qPrintable(png));
            QCOMPARE(image.size(), QSize(size, size));
        }

        // Nothing else was written anywhere in the home.
        QStringList files;
        for (const QString& path : tree(home.path())) {
            if (QFileInfo(home.filePath(path)).isFile()) {
                files << path;
            }
        }
        QCOMPARE(files.size(), expected.size() + 1 /* list of what was installed */ +
                                   1 /* menu entry */ + 1 /* svg */ + 8 /* pngs */);

        // The installed program runs from its folder.
        QProcess version;
        version.start(prefix + QStringLiteral("/velmorado"), {QStringLiteral("--version")});
        QVERIFY(version.waitForFinished(30000));
        QCOMPARE(version.readAllStandardOutput(), QByteArray("Velmorado 1.0c\n"));

        // Installing again keeps the user's parameters; uninstalling keeps
        // them too, and says so.
        QVERIFY(
            writeFile(prefix + QStringLiteral("/Velmorado.ini"), "[Configuration]\nLangue=1\n"));
        failure = run({QStringLiteral("--from"), kBin});
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
        QCOMPARE(readFile(prefix + QStringLiteral("/Velmorado.ini")),
                 QByteArray("[Configuration]\nLangue=1\n"));
        QString said;
        failure = run({QStringLiteral("--uninstall")}, &said);
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
        QCOMPARE(tree(home.path()),
                 QStringList({QStringLiteral(".local"), QStringLiteral(".local/opt"),
                              QStringLiteral(".local/opt/velmorado"),
                              QStringLiteral(".local/opt/velmorado/Velmorado.ini")}));
        QVERIFY2(said.contains(QStringLiteral("Velmorado.ini")), qPrintable(said));

        // Without anything of the user's, nothing at all is left.
        QVERIFY(QFile::remove(prefix + QStringLiteral("/Velmorado.ini")));
        failure = run({QStringLiteral("--from"), kBin});
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
        failure = run({QStringLiteral("--uninstall")});
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
        QCOMPARE(tree(home.path()), QStringList());
    }
};

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    TestDesktop test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_desktop.moc"
