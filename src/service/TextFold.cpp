#include "service/TextFold.h"

#include <cstdint>

namespace service {

namespace {

struct Decoded
{
    char32_t codePoint; // meaningful only when valid
    int length;
    bool valid;
};

Decoded decodeAt(std::string_view s, std::size_t i)
{
    const auto b0 = static_cast<unsigned char>(s[i]);
    if (b0 < 0x80)
        return {b0, 1, true};
    int length = 0;
    char32_t cp = 0;
    if ((b0 & 0xE0) == 0xC0) {
        length = 2;
        cp = b0 & 0x1F;
    } else if ((b0 & 0xF0) == 0xE0) {
        length = 3;
        cp = b0 & 0x0F;
    } else if ((b0 & 0xF8) == 0xF0) {
        length = 4;
        cp = b0 & 0x07;
    } else {
        return {0, 1, false};
    }
    if (i + length > s.size())
        return {0, 1, false};
    for (int k = 1; k < length; ++k) {
        const auto b = static_cast<unsigned char>(s[i + k]);
        if ((b & 0xC0) != 0x80)
            return {0, 1, false};
        cp = (cp << 6) | (b & 0x3F);
    }
    static constexpr char32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < smallest[length] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return {0, 1, false}; // overlong forms and surrogates are not text
    return {cp, length, true};
}

char32_t fold(char32_t c)
{
    if (c >= U'A' && c <= U'Z')
        return c + 32;
    if (c < 0xC0)
        return c;
    if (c <= 0xDE)
        return c == 0xD7 ? c : c + 32; // × has no lower case
    if (c >= 0x100 && c <= 0x17F) {
        if (c == 0x178)
            return 0xFF; // Ÿ
        const bool oddCapitals = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
        const bool evenCapitals = (c <= 0x12F) || (c >= 0x132 && c <= 0x137) || (c >= 0x14A && c <= 0x177);
        if ((oddCapitals && (c & 1)) || (evenCapitals && !(c & 1)))
            return c + 1;
        return c;
    }
    if (c == 0x1E9E)
        return 0xDF; // ẞ
    return c;
}

int encode(char32_t c, char *out)
{
    if (c < 0x80) {
        out[0] = static_cast<char>(c);
        return 1;
    }
    if (c < 0x800) {
        out[0] = static_cast<char>(0xC0 | (c >> 6));
        out[1] = static_cast<char>(0x80 | (c & 0x3F));
        return 2;
    }
    if (c < 0x10000) {
        out[0] = static_cast<char>(0xE0 | (c >> 12));
        out[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out[2] = static_cast<char>(0x80 | (c & 0x3F));
        return 3;
    }
    out[0] = static_cast<char>(0xF0 | (c >> 18));
    out[1] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out[2] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out[3] = static_cast<char>(0x80 | (c & 0x3F));
    return 4;
}

// Calls sink(bytes, length) with each folded piece of text, until sink returns false.
template<typename Sink>
void foldPieces(std::string_view text, Sink &&sink)
{
    char buffer[4];
    for (std::size_t i = 0; i < text.size();) {
        const Decoded d = decodeAt(text, i);
        bool more;
        if (d.valid)
            more = sink(buffer, encode(fold(d.codePoint), buffer));
        else
            more = sink(text.data() + i, 1);
        if (!more)
            return;
        i += d.length;
    }
}

} // namespace

std::string foldCase(std::string_view utf8)
{
    std::string out;
    out.reserve(utf8.size());
    foldPieces(utf8, [&](const char *p, int n) {
        out.append(p, n);
        return true;
    });
    return out;
}

bool startsWithFolded(std::string_view text, std::string_view foldedPrefix)
{
    std::size_t matched = 0;
    bool mismatch = false;
    foldPieces(text, [&](const char *p, int n) {
        for (int k = 0; k < n && matched < foldedPrefix.size(); ++k) {
            if (p[k] != foldedPrefix[matched++]) {
                mismatch = true;
                return false;
            }
        }
        return matched < foldedPrefix.size();
    });
    return !mismatch && matched == foldedPrefix.size();
}

bool isValidUtf8(std::string_view bytes)
{
    for (std::size_t i = 0; i < bytes.size();) {
        const Decoded d = decodeAt(bytes, i);
        if (!d.valid)
            return false;
        i += d.length;
    }
    return true;
}

} // namespace service
