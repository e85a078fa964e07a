// The name-file reader on any content: a name it gives back is a plain name
// that stays inside the folder it is restored to, and the name file that the
// compression writes for that name reads back as the same name.

#include "FuzzSupport.h"

#include "config/HexText.h"
#include "engine/RarRunner.h"
#include "platform/FileNames.h"

#include <climits>
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool ready = (fuzz::catchFatalEnds(), true);
    (void)ready;
    const QByteArray content(reinterpret_cast<const char*>(data), qsizetype(size));

    const std::optional<QString> name = engine::ReadNameFile(content);
    if (!name) {
        return 0;
    }
    FUZZ_CHECK(!name->isEmpty());
    FUZZ_CHECK(*name != QLatin1String(".") && *name != QLatin1String(".."));
    FUZZ_CHECK(!name->contains(QLatin1Char('/')) && !name->contains(QChar(0)));
    const QByteArray onDisk = platform::encodePath(*name);
    FUZZ_CHECK(onDisk.size() <= NAME_MAX && !onDisk.contains('/') && !onDisk.contains('\0'));
    FUZZ_CHECK(platform::decodePath(onDisk) == *name);

    const QByteArray written = '"' + config::EncodeHexText(*name).toLatin1() + "\"\r\n";
    FUZZ_CHECK(engine::ReadNameFile(written) == name);
    return 0;
}
