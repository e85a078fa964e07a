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
    QString dataFile(qint32 number) const { return base(number) + QStringLiteral(".rr"); }
    QString nameFile(qint32 number) const { return base(number) + QStringLiteral(".rn"); }

    // What name is, or nothing when it is none of the three.
    std::optional<Parsed> parse(const QString& name) const;
    bool isArchive(const QString& name) const;
    // A data file or a name file; *base (when given) receives its base.
    bool isTemporary(const QString& name, QString* base = nullptr) const;

    // The number after last, wrapping from 999999 (or anything out of range) to 0.
    static qint32 next(qint32 last);

    // The first number from wanted on (wrapping) whose archive names nothing
    // yet, in any case of prefix or extension: no archive in the target, no
    // archive, data file or name file in the source folder (both end with
    // "/"). -1 when all million are taken.
    qint32 freeNumber(qint32 wanted, const QString& source, const QString& target) const;

private:
    bool taken(qint32 number, const QString& source, const QString& target) const;

    QString m_prefix;
};

} // namespace engine
