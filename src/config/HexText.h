#pragma once

#include <QString>

#include <optional>

namespace config {

// Two upper-case hexadecimal digits per byte of the text's UTF-16
// little-endian form: "ab" gives "61006200".
QString EncodeHexText(const QString& text);

// The text that hex stands for, or nothing when hex has an odd length or
// holds anything but hexadecimal digits (either case). A dangling last byte
// (a length of 2 modulo 4, which the encoder never makes) becomes a character
// of its own.
std::optional<QString> TryDecodeHexText(const QString& hex);

// As TryDecodeHexText, but a text that does not decode is fatal: the message
// naming the folder-pair list file is shown and the program ends at once.
QString DecodeHexText(const QString& hex);

} // namespace config
