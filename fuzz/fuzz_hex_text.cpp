// DecodeHexText on any text: exactly the texts of odd length or with a
// character that is not a hexadecimal digit are refused (fatal through
// DecodeHexText), and whatever decodes encodes and decodes back to itself.

#include "FuzzSupport.h"

#include "config/HexText.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool ready = (fuzz::catchFatalEnds(), true);
    (void)ready;
    const QString hex = QString::fromLatin1(reinterpret_cast<const char*>(data), qsizetype(size));

    bool hexDigits = true;
    for (const QChar c : hex) {
        const char16_t u = c.unicode();
        hexDigits &= (u >= '0' && u <= '9') || (u >= 'a' && u <= 'f') || (u >= 'A' && u <= 'F');
    }
    const std::optional<QString> decoded = config::TryDecodeHexText(hex);
    FUZZ_CHECK(decoded.has_value() == (hex.size() % 2 == 0 && hexDigits));
    bool fatal = false;
    QString viaFatal;
    try {
        viaFatal = config::DecodeHexText(hex);
    } catch (const fuzz::FatalEnd&) {
        fatal = true;
    }
    FUZZ_CHECK(fatal == !decoded.has_value());
    if (!decoded) {
        return 0;
    }
    FUZZ_CHECK(viaFatal == *decoded);

    const QString encoded = config::EncodeHexText(*decoded);
    FUZZ_CHECK(encoded.size() == decoded->size() * 4);
    FUZZ_CHECK(config::TryDecodeHexText(encoded) == decoded);
    // Four digits per character: the encoder gives back the same digits.
    if (hex.size() % 4 == 0) {
        FUZZ_CHECK(encoded == hex.toUpper());
    }
    return 0;
}
