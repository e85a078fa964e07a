#include "config/FolderPairs.h"

#include "config/HexText.h"
#include "config/ProgramValues.h"
#include "config/Settings.h"
#include "platform/AtomicFile.h"
#include "platform/FileOps.h"

#include <QByteArray>

namespace config {

namespace {

const QString kMacIndent = QStringLiteral("      ");

QString orDefault(const QString& value, const char* byDefault) {
    return value.isEmpty() ? QString::fromLatin1(byDefault) : value;
}

// Reads the list file the way it has always been read: fields are separated
// by commas and line ends, blanks before a field are skipped, and a quoted
// field is taken up to its closing quote (anything after it, up to the next
// separator, is dropped).
class FieldReader {
public:
    explicit FieldReader(const QByteArray& data) : m_data(data) {}

    bool atEnd() const { return m_pos >= m_data.size(); }

    // Skips blanks and empty lines before a record; true when one follows.
    bool startRecord() {
        while (!atEnd()) {
            const char c = m_data[m_pos];
            if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
                ++m_pos;
            } else {
                return true;
            }
        }
        return false;
    }

    QString next() {
        while (!atEnd() && (m_data[m_pos] == ' ' || m_data[m_pos] == '\t')) {
            ++m_pos;
        }
        QByteArray field;
        if (!atEnd() && m_data[m_pos] == '"') {
            ++m_pos;
            while (!atEnd() && m_data[m_pos] != '"') {
                field.append(m_data[m_pos++]);
            }
            while (!atEnd() && !isSeparator(m_data[m_pos])) {
                ++m_pos;
            }
        } else {
            while (!atEnd() && !isSeparator(m_data[m_pos])) {
                field.append(m_data[m_pos++]);
            }
            field = field.trimmed();
        }
        skipSeparator();
        return QString::fromUtf8(field);
    }

private:
    static bool isSeparator(char c) { return c == ',' || c == '\r' || c == '\n'; }

    void skipSeparator() {
        if (atEnd()) {
            return;
        }
        if (m_data[m_pos] == '\r') {
            ++m_pos;
            if (!atEnd() && m_data[m_pos] == '\n') {
                ++m_pos;
            }
        } else {
            ++m_pos;
        }
    }

    const QByteArray& m_data;
    qsizetype m_pos = 0;
};

// The text a grid cell shows for a folder, and whether it is on a Mac volume.
QString folderText(const QString& path, bool& onMac) {
    onMac = false;
    if (!platform::isFolder(path)) {
        return kMissingFolderMark + path; // missing, or not a folder
    }
    if (IsMacintoshVolume(path)) {
        onMac = true;
        return kMacIndent + path;
    }
    return path;
}

} // namespace

FolderPair* FolderPairTable::place(int number, const FolderPair& pair) {
    if (number < 1 || number > kMaxPairs) {
        return nullptr;
    }
    if (pairs.size() < number) {
        pairs.resize(number);
    }
    pairs[number - 1] = pair;
    return &pairs[number - 1];
}

FolderPairTable& folderPairs() {
    static FolderPairTable table;
    return table;
}

bool IsMacintoshVolume(const QString& folder) {
    QString p = folder;
    for (;;) {
        if (platform::exists(p + QStringLiteral("/Network Trash Folder"))) {
            return true;
        }
        const qsizetype slash = p.lastIndexOf(QLatin1Char('/'));
        if (slash < 0) {
            return false;
        }
        p.truncate(slash);
    }
}

QVector<PairRowView> LoadFolderPairs() {
    FolderPairTable& table = folderPairs();
    table.pairs.clear();
    QVector<PairRowView> rows;

    QByteArray data;
    const QString listPath = program().listFilePath;
    if (!platform::exists(listPath) || !platform::readWholeFile(listPath, data)) {
        return rows;
    }
    FieldReader reader(data);
    while (table.pairs.size() < kMaxPairs && reader.startRecord()) {
        const QString sourceField = reader.next();
        const QString targetField = reader.next();
        const int n = int(table.pairs.size()) + 1;
        const QString section = pairSection(n);

        FolderPair pair;
        pair.nbTemporisations = orDefault(ReadSetting(section, keys::kNbTemporisations), "1");
        pair.rar = orDefault(ReadSetting(section, keys::kRar), "0");
        pair.enable = orDefault(ReadSetting(section, keys::kEnable), "1");
        pair.source = DecodeHexText(sourceField); // a text that does not decode ends the program
        pair.target = DecodeHexText(targetField);
        pair.remaining = pair.nbTemporisations;
        table.pairs.append(pair);

        PairRowView row;
        row.pairNumber = n;
        row.sourceText = folderText(pair.source, row.sourceOnMac);
        if (pair.target.isEmpty()) {
            row.targetText = kNoTargetMark;
        } else {
            row.targetText = folderText(pair.target, row.targetOnMac);
        }
        rows.append(row);
    }
    return rows;
}

void SaveFolderPairs(const QVector<int>& rowPairNumbers) {
    FolderPairTable& table = folderPairs();
    QByteArray list;
    QVector<const FolderPair*> saved;
    for (int number : rowPairNumbers) {
        const FolderPair* pair = table.pair(number);
        if (!pair) {
            continue;
        }
        saved.append(pair);
        list += '"' + EncodeHexText(pair->source).toLatin1() + "\",\"" +
                EncodeHexText(pair->target).toLatin1() + "\"\r\n";
    }
    // A list file that cannot be written is not reported; the pair sections
    // are written all the same and the reload reads whatever list remains.
    // Nor is one that is there but cannot be read (it would lose its pairs).
    QByteArray old;
    const platform::ReadStatus found = platform::readRegularFile(program().listFilePath, old);
    if (found == platform::ReadStatus::Ok || found == platform::ReadStatus::Missing) {
        platform::writeFileAtomically(program().listFilePath, list);
    }
    for (qsizetype r = 0; r < saved.size(); ++r) {
        const QString section = pairSection(int(r) + 1);
        WriteSetting(section, keys::kNbTemporisations, saved[r]->nbTemporisations);
        WriteSetting(section, keys::kRar, saved[r]->rar);
        WriteSetting(section, keys::kEnable, saved[r]->enable);
    }
}

} // namespace config
