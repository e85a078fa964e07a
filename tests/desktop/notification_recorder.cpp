// A desktop notification service for the tests: owns
// org.freedesktop.Notifications on the session bus it is started on and
// appends each Notify call to the file named by its argument, one line of
// "app|icon|summary|body|urgency", flushed before it answers.
#include <QCoreApplication>
#include <QDBusConnection>
#include <QFile>
#include <QVariantMap>

#include <cstdio>

class Recorder : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    explicit Recorder(QString file) : m_file(std::move(file)) {}

public Q_SLOTS:
    uint Notify(const QString& app, uint, const QString& icon, const QString& summary,
                const QString& body, const QStringList&, const QVariantMap& hints, int) {
        QFile out(m_file);
        if (out.open(QIODevice::Append)) {
            out.write(QStringList{app, icon, summary, body,
                                  QString::number(hints.value("urgency").toInt())}
                          .join('|')
                          .toUtf8() +
                      '\n');
        }
        return ++m_last;
    }
    QStringList GetCapabilities() { return {QStringLiteral("body")}; }

private:
    QString m_file;
    uint m_last = 0;
};

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fputs("usage: notification_recorder FILE\n", stderr);
        return 2;
    }
    Recorder recorder(QString::fromLocal8Bit(argv[1]));
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.registerObject("/org/freedesktop/Notifications", &recorder,
                            QDBusConnection::ExportAllSlots) ||
        !bus.registerService("org.freedesktop.Notifications")) {
        std::fputs("notification_recorder: cannot own org.freedesktop.Notifications\n", stderr);
        return 1;
    }
    return app.exec();
}

#include "notification_recorder.moc"
