// The name-file reader on any content: a name it gives back is a plain name
// that stays inside the folder it is restored to, and the name file that the
// compression writes for that name reads back as the same name.

#include "FuzzSupport.h"

#include "config/HexText.h"
#include "engine/PairProcessing.h"
#include "engine/RarRunner.h"

#include <QFile>

#include <climits>
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool ready = (fuzz::catchFatalEnds(), true);
    (void)ready;
    const QByteArray content(reinterpret_cast<const char*>(data), qsizetype(size));

    const std::optional<QString> name = engine::ReadNameFile(content);
    const std::optional<QString> walkName = engine::NameFromNameFile(content);
    if (!name) {
        FUZZ_CHECK(!walkName);
        return 0;
    }
    FUZZ_CHECK(!name->isEmpty());
    FUZZ_CHECK(*name != QLatin1String(".") && *name != QLatin1String(".."));
    FUZZ_CHECK(!name->contains(QLatin1Char('/')) && !name->contains(QChar(0)));
    const QByteArray onDisk = QFile::encodeName(*name);
    FUZZ_CHECK(onDisk.size() <= NAME_MAX && !onDisk.contains('/') && !onDisk.contains('\0'));
    FUZZ_CHECK(QFile::decodeName(onDisk) == *name);
    // The walk never gives back a name that it would delete as hidden.
    FUZZ_CHECK(walkName.has_value() == !name->startsWith(QLatin1Char('.')));

    const QByteArray written = '"' + config::EncodeHexText(*name).toLatin1() + "\"\r\n";
    FUZZ_CHECK(engine::ReadNameFile(written) == name);
    return 0;
}
