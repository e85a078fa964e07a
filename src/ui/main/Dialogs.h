#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

class QWidget;

namespace ui {

// Every box the program puts in front of the user goes through here, so that
// tests (and scripted runs) can answer them.
class Dialogs {
public:
    enum class Icon { Information, Exclamation, Critical, Question };
    virtual ~Dialogs() = default;

    // An OK box.
    virtual void message(QWidget* parent, Icon icon, const QString& title, const QString& text) = 0;
    // A Yes/No question; true only for Yes.
    virtual bool question(QWidget* parent, const QString& title, const QString& text) = 0;
    // A one-line input; nothing when cancelled.
    virtual std::optional<QString> input(QWidget* parent, const QString& title,
                                         const QString& prompt, const QString& initial) = 0;
    // A folder chosen in the folder browser; nothing when cancelled.
    virtual std::optional<QString> browseFolder(QWidget* parent, const QString& title,
                                                const QString& start) = 0;
    // Opens a file or web address with its associated program.
    virtual void openDocument(const QString& pathOrUrl) = 0;
    // Whether a box gets an answer: false on Qt's stand-ins for a screen,
    // where nobody sees a box and it would wait for ever.
    virtual bool answerable() const { return true; }
};

// The boxes in use: the real ones, or, when VELMORADO_DIALOG_ANSWERS is set
// ("yes,no,/some/folder,..."), scripted answers taken in order by the boxes
// that ask something (OK boxes take none), each box
// written to standard error as "velmorado-dialog: KIND: TITLE: TEXT".
Dialogs& dialogs();
void setDialogs(std::unique_ptr<Dialogs> replacement);

// Answers from a list, recording every box; what tests install.
class ScriptedDialogs : public Dialogs {
public:
    explicit ScriptedDialogs(QStringList answers = {}, bool echo = false);
    void message(QWidget*, Icon icon, const QString& title, const QString& text) override;
    bool question(QWidget*, const QString& title, const QString& text) override;
    std::optional<QString> input(QWidget*, const QString& title, const QString& prompt,
                                 const QString& initial) override;
    std::optional<QString> browseFolder(QWidget*, const QString& title,
                                        const QString& start) override;
    void openDocument(const QString& pathOrUrl) override;

    struct Shown {
        QString kind; // "message", "question", "input", "browse", "open"
        Icon icon = Icon::Information;
        QString title;
        QString text;
        QString initial; // the default text of an input, the start folder of a browser
    };
    QList<Shown> shown;
    QStringList answers;

private:
    QString next();
    void record(const Shown& s);
    bool m_echo = false;
};

} // namespace ui
