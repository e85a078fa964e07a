// The whole program: the built velmorado and rar copied into a program
// folder, two chained pairs (In -> Arch compress, Arch -> Out uncompress),
// automatic start and automatic end. One forced pass takes every file from
// In through an archive in Arch to Out.

#include "EngineTestKit.h"

#include "config/HexText.h"

#include <QProcess>

#include <cerrno>
#include <sys/xattr.h>

using kit::names;

namespace {

const QString kBin = QStringLiteral(VELMORADO_BIN_DIR);

// Every user.* attribute of a file, "name=value" sorted.
QList<QByteArray> userXattrs(const QString& path) {
    const QByteArray p = QFile::encodeName(path);
    QByteArray list(65536, '\0');
    const ssize_t n = ::llistxattr(p.constData(), list.data(), size_t(list.size()));
    QList<QByteArray> result;
    for (const QByteArray& name : list.left(n < 0 ? 0 : n).split('\0')) {
        if (name.startsWith("user.")) {
            QByteArray value(65536, '\0');
            const ssize_t v =
                ::lgetxattr(p.constData(), name.constData(), value.data(), size_t(value.size()));
            result << name + '=' + value.left(v < 0 ? 0 : v);
        }
    }
    std::sort(result.begin(), result.end());
    return result;
}

QByteArray listLine(const QString& source, const QString& target) {
    return '"' + config::EncodeHexText(source).toLatin1() + "\",\"" +
           config::EncodeHexText(target).toLatin1() + "\"\r\n";
}

} // namespace

class EndToEndTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void filesTravelThroughTwoChainedPairs() {
        if (!QFile::exists(kBin + QStringLiteral("/velmorado"))) {
            QSKIP("velmorado is not built in this tree");
        }
        QTemporaryDir root;
        const QString program = root.filePath(QStringLiteral("program"));
        const QString inDir = root.filePath(QStringLiteral("In"));
        const QString arch = root.filePath(QStringLiteral("Arch"));
        const QString out = root.filePath(QStringLiteral("Out"));
        for (const QString& d : {program, inDir, arch, out}) {
            QVERIFY(QDir().mkpath(d));
        }
        // Copies, not links: the program finds its folder from its own real path.
        for (const char* exe : {"velmorado", "rar"}) {
            const QString name = QString::fromLatin1(exe);
            QVERIFY(QFile::copy(kBin + QLatin1Char('/') + name, program + QLatin1Char('/') + name));
        }

        kit::writeFile(program + QStringLiteral("/Velmorado.ini"),
                       "[Configuration]\r\nAutomatique=1\r\nArretAutomatique=1\r\nLangue=0\r\n"
                       "[Logs]\r\nLogs=1\r\nFichiersLogs=1\r\nPathLogs=" +
                           QFile::encodeName(program) +
                           "\r\n[Rar_1]\r\nNbTemporisations=1\r\nRar=0\r\nEnable=1\r\n"
                           "[Rar_2]\r\nNbTemporisations=1\r\nRar=1\r\nEnable=1\r\n");
        kit::writeFile(program + QStringLiteral("/Velmorado.w"),
                       listLine(inDir, arch) + listLine(arch, out));

        // Names that a command line or a careless join would break, and
        // contents from empty to a few megabytes.
        QByteArray big(4 << 20, '\0');
        for (int i = 0; i < big.size(); ++i) {
            big[i] = char((i * 7919) ^ (i >> 9));
        }
        const QList<QPair<QString, QByteArray>> files = {
            {QString::fromUtf8("Ωmega report.doc"), "omega"},
            {QStringLiteral("quote \" and 'apostrophe' & <tag>.txt"), "quotes"},
            {QStringLiteral(" leading and trailing blank "), "blanks"},
            {QStringLiteral("back\\slash; $HOME `cmd` *?.bin"), "shell"},
            {QStringLiteral("line\nbreak\ttab"), "control characters"},
            {QString::fromUtf8("日本語のファイル名 ünïcødé.txt"), "unicode"},
            {QStringLiteral("-starts-with-dash"), "dash"},
            {QStringLiteral("RA000001.rar.txt"), "looks like an archive"},
            {QStringLiteral("empty"), QByteArray()},
            {QString(200, QLatin1Char('L')), "long name"},
            {QStringLiteral("big.bin"), big},
        };
        const QByteArray fork("\x00\x01binary resource fork\xff", 24);
        const QList<QByteArray> attributes = {"user.DosStream.Zone.Identifier:$DATA=[Zone]",
                                              "user.com.apple.ResourceFork=" + fork};
        bool xattrsKept = true;
        for (const auto& [name, data] : files) {
            const QString path = inDir + QLatin1Char('/') + name;
            kit::writeFile(path, data);
            const QByteArray p = QFile::encodeName(path);
            if (::setxattr(p.constData(), "user.com.apple.ResourceFork", fork.constData(),
                           size_t(fork.size()), 0) != 0 ||
                ::setxattr(p.constData(), "user.DosStream.Zone.Identifier:$DATA", "[Zone]", 6, 0) !=
                    0) {
                QVERIFY2(errno == ENOTSUP, strerror(errno));
                xattrsKept = false;
            }
            kit::age(path); // left alone for an hour: nothing is still writing it
        }

        QProcess velmorado;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("XDG_DATA_HOME"), root.filePath(QStringLiteral("xdg-data")));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), root.filePath(QStringLiteral("xdg-config")));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), root.path());
        env.remove(QStringLiteral("VELMORADO_SERVICE"));
        velmorado.setProcessEnvironment(env);
        velmorado.setWorkingDirectory(root.path());
        velmorado.setProgram(program + QStringLiteral("/velmorado"));
        velmorado.start();
        QVERIFY2(velmorado.waitForFinished(240000), "the program did not end by itself");
        QCOMPARE(velmorado.exitStatus(), QProcess::NormalExit);
        QVERIFY2(velmorado.exitCode() == 0, velmorado.readAllStandardError().constData());

        QCOMPARE(names(inDir), QStringList());
        QCOMPARE(names(arch), QStringList());
        QStringList expected;
        for (const auto& [name, data] : files) {
            expected << name;
        }
        expected.sort();
        QCOMPARE(names(out), expected);
        for (const auto& [name, data] : files) {
            const QString path = out + QLatin1Char('/') + name;
            QVERIFY2(kit::readFile(path) == data, qPrintable(name));
            if (xattrsKept) {
                QCOMPARE(userXattrs(path), attributes);
            }
        }
        if (!xattrsKept) {
            QWARN("user.* extended attributes are not supported here; not compared");
        }
        // The day's log tells of every compression and extraction.
        const QStringList logs =
            QDir(program).entryList({QStringLiteral("Log Velmorado *.htm")}, QDir::Files);
        QCOMPARE(logs.size(), 1);
        const QString log = QString::fromUtf8(kit::readFile(program + QLatin1Char('/') + logs[0]));
        QCOMPARE(log.count(QStringLiteral("<b>Rar</b> - ")), files.size());
        QCOMPARE(log.count(QStringLiteral("<b>Unrar</b> - ")), files.size());
        QCOMPARE(log.count(QStringLiteral("<hr>")), 1);
    }
};

QTEST_GUILESS_MAIN(EndToEndTest)
#include "test_engine_end_to_end.moc"
