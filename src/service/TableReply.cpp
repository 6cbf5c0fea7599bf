#include "service/TableReply.h"

#include "platform/PercentCoding.h"

#include <QString>

namespace service {

namespace {

const char *const declaration = R"(<?xml version="1.0" encoding="UTF-8"?>)";

} // namespace

bool isEncodedCell(ListKind list, std::size_t cell)
{
    return contract::contractOf(list).isEncodedCell(static_cast<int>(cell) + 1);
}

void appendXmlEscaped(std::string &out, std::string_view text)
{
    for (const char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&apos;"; break;
        default:
            // Control characters other than tab, CR and LF cannot appear in XML 1.0 at all.
            if (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n' && c != '\r')
                out += ' ';
            else
                out += c;
        }
    }
}

std::string loginReply()
{
    return std::string(declaration) + "<table/>";
}

std::string countReply(std::int64_t count)
{
    return std::string(declaration) + "<table><tr>" + std::to_string(count) + "</tr></table>";
}

std::string chunkReply(ListKind list, const std::vector<Row> &rows, bool ended)
{
    std::string out(declaration);
    out += "<table>";
    for (const Row &row : rows) {
        out += "<tr>";
        for (std::size_t c = 0; c < row.size(); ++c) {
            out += "<td>";
            if (isEncodedCell(list, c))
                out += platform::percentEncode(QString::fromUtf8(row[c].data(), static_cast<qsizetype>(row[c].size())))
                           .toStdString();
            else
                appendXmlEscaped(out, row[c]);
            out += "</td>";
        }
        out += "</tr>";
    }
    if (ended)
        out += "<tr><td></td></tr>";
    out += "</table>";
    return out;
}

} // namespace service
