// The list-file reader on any content: it loads or ends with the one fatal
// message (an odd-length hexadecimal text), never anything else, and the
// pairs it loads are saved and loaded back unchanged.

#include "FuzzSupport.h"

#include "config/FolderPairs.h"
#include "config/ProgramValues.h"
#include "config/Settings.h"

#include <QFile>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool ready =
        (fuzz::catchFatalEnds(),
         config::setProgramFolder(QString::fromStdString(fuzz::scratchFolder("pairs"))), true);
    (void)ready;
    const config::ProgramValues& program = config::program();
    QFile::remove(program.parametersPath);
    QFile list(program.listFilePath);
    FUZZ_CHECK(list.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
               list.write(reinterpret_cast<const char*>(data), qint64(size)) == qint64(size));
    list.close();

    QVector<config::PairRowView> rows;
    try {
        rows = config::LoadFolderPairs();
    } catch (const fuzz::FatalEnd& e) {
        FUZZ_CHECK(QString::fromStdString(e.what()).startsWith(
            QStringLiteral("Invalid hexa string in the parameters file")));
        return 0;
    }
    const QVector<config::FolderPair> loaded = config::folderPairs().pairs;
    FUZZ_CHECK(rows.size() == loaded.size());
    QVector<int> numbers;
    for (const config::PairRowView& row : rows) {
        numbers.append(row.pairNumber);
    }
    config::SaveFolderPairs(numbers);
    try {
        config::LoadFolderPairs();
    } catch (const fuzz::FatalEnd&) {
        FUZZ_CHECK(!"a saved list file must load");
    }
    const QVector<config::FolderPair>& again = config::folderPairs().pairs;
    FUZZ_CHECK(again.size() == loaded.size());
    for (qsizetype i = 0; i < again.size(); ++i) {
        FUZZ_CHECK(again[i].source == loaded[i].source && again[i].target == loaded[i].target);
    }
    return 0;
}
