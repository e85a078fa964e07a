// The private-profile reader and writer on any text: reading never fails,
// a value written reads back as written, and every other value reads as it
// did before the write.

#include "FuzzSupport.h"

#include "config/PrivateProfile.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>

namespace {

// Names and values that the program itself writes: no line ends, no
// brackets or equals sign in names, no blanks around, no name that reads as
// a comment (";" or "#" first).
QString plain(FuzzedDataProvider& p, size_t max, bool name) {
    QString kept;
    for (const QChar c : QString::fromStdString(p.ConsumeRandomLengthString(max))) {
        if (!QStringView(u"\r\n").contains(c) && c != QChar(0) &&
            !(name && QStringView(u"[]=;").contains(c))) {
            kept += c;
        }
    }
    kept = kept.trimmed();
    while (name && kept.startsWith(QLatin1Char('#'))) {
        kept = kept.mid(1).trimmed();
    }
    return kept;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider p(data, size);
    const QString section = plain(p, 16, true);
    const QString key = plain(p, 16, true);
    const QString value = plain(p, 64, false);
    const QString otherSection = plain(p, 16, true);
    const QString otherKey = plain(p, 16, true);
    const QString text = QString::fromStdString(p.ConsumeRemainingBytesAsString());

    const QString before = config::PrivateProfile::readFromText(text, otherSection, otherKey);
    (void)config::PrivateProfile::readFromText(text, section, key);
    if (section.isEmpty() || key.isEmpty()) {
        return 0;
    }
    const QString after = config::PrivateProfile::writeToText(text, section, key, value);
    FUZZ_CHECK(config::PrivateProfile::readFromText(after, section, key) == value);
    const bool same = otherSection.compare(section, Qt::CaseInsensitive) == 0 &&
                      otherKey.compare(key, Qt::CaseInsensitive) == 0;
    FUZZ_CHECK(same ||
               config::PrivateProfile::readFromText(after, otherSection, otherKey) == before);
    return 0;
}
