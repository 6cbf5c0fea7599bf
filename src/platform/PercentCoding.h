#pragma once

#include <QString>

namespace platform {

// URL-style encoding of a free text for a query value: letters A-Z a-z, digits
// and !$'()*-.@_ stay, a blank becomes "+", everything else is written as its
// UTF-8 bytes, each as "%XX" with upper-case hex digits.
QString percentEncode(const QString &text);

} // namespace platform
