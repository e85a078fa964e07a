#pragma once

#include <QString>
#include <QtGlobal>

#include <optional>

namespace engine {

// The names the program makes from an archive number: the base (prefix + the
// number in six digits, "RA000123"), the numbered archive (base + ".rar"),
// the data file (base + ".rr") and the name file (base + ".rn"). Names are
// made with the prefix as stored and recognised with the prefix and the
// extension compared without case, whichever case the stored prefix or the
// name found on disk has: "ra000123.RAR" is an archive of prefix "RA", and
// "RA000123.rar" one of prefix "ra".
class NumberedName {
public:
    static constexpr qint32 kLastNumber = 999999;

    enum class Kind { Archive, DataFile, NameFile };
    struct Parsed {
        Kind kind;
        qint32 number;
        QString base; // the first eight characters of the name, case kept
    };

    explicit NumberedName(QString prefix) : m_prefix(std::move(prefix)) {}

    const QString& prefix() const { return m_prefix; }
    QString base(qint32 number) const;
    QString archive(qint32 number) const { return base(number) + QStringLiteral(".rar"); }
    QString dataFile(qint32 number) const { return dataFileOf(base(number)); }
    QString nameFile(qint32 number) const { return nameFileOf(base(number)); }
    // The data file and the name file of a base as found (its case kept).
    static QString dataFileOf(const QString& base) { return base + QStringLiteral(".rr"); }
    static QString nameFileOf(const QString& base) { return base + QStringLiteral(".rn"); }

    // What name is, or nothing when it is none of the three.
    std::optional<Parsed> parse(const QString& name) const;
    bool isArchive(const QString& name) const;
    // A data file or a name file; *base (when given) receives its base.
    bool isTemporary(const QString& name, QString* base = nullptr) const;

    // The number after last, wrapping from 999999 (or anything out of range) to 0.
    static qint32 next(qint32 last);

    // The number that name, standing in a source folder, keeps from being
    // handed out, in any case of prefix and extension: that of a numbered
    // archive (the new one would be made under its name), and that of any
    // base + ".r" + one character, which the archiver's wildcard base + ".r?"
    // would pack with the data file and the name file and then delete.
    std::optional<qint32> numberHeld(const QString& name) const;

    // Numbers run in a circle (999999 is followed by 0). Of numbers sorted
    // in ascending order, the index of the oldest: the one after the widest
    // gap between two numbers present, so that of 999998, 999999, 0 and 1
    // the oldest is 999998. 0 for fewer than two distinct numbers.
    static qsizetype oldestIndex(const QList<qint32>& ascending);

    // The number to hand out after last, for an archive made for source and
    // target (both end with "/"), from one listing of each folder:
    //  - it comes after last, or, when an archive of the prefix already in
    //    either folder is newer than last by the circular order (another
    //    machine's, counting its own numbers), after the newest of them, so
    //    that the new archive comes after them wherever they travel together;
    //  - it is the first from there on (wrapping) that nothing holds yet: no
    //    archive of it in the target, in any case of prefix and extension,
    //    and no name in the source folder that holds it (numberHeld).
    // -1 when all million are taken.
    qint32 numberFor(qint32 last, const QString& source, const QString& target) const;

private:
    QString m_prefix;
};

} // namespace engine
