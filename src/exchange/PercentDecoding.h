#pragma once

#include "platform/Exception.h"

#include <QString>

// A "%" near the end of a percent-encoded text with fewer than two characters after it.
PLIVORA_DECLARE_EXCEPTION(EHTTPException, Exception)

namespace exchange {

// Decodes a reply cell the service sent URL-style: "+" is a blank, "%%" a
// per cent sign, "%XX" one byte; the bytes are then read as UTF-8 (a byte
// sequence that is not valid UTF-8 gives U+FFFD for each bad byte).
// Raises EHTTPException for a cut-off "%X" and EConvertError for a "%" not
// followed by two hex digits, both naming the zero-based position after the "%".
QString percentDecode(const QString &text);

} // namespace exchange
