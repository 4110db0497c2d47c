#include "safetext.h"

namespace {
void appendCode(QString &out, ushort code)
{
    static const char hex[] = "0123456789abcdef";
    out += QLatin1Char('\\');
    out += QLatin1Char(code < 0x100 ? 'x' : 'u');
    for (int shift = code < 0x100 ? 4 : 12; shift >= 0; shift -= 4)
        out += QLatin1Char(hex[(code >> shift) & 0xf]);
}
} // namespace

bool SafeText::isUnsafe(QChar c)
{
    const auto category = c.category();
    return category == QChar::Other_Control || category == QChar::Other_Format
            || category == QChar::Separator_Line || category == QChar::Separator_Paragraph;
}

QString SafeText::escaped(const QString &text, bool ownBackslashes, int maxChars, bool *cut)
{
    QString out;
    out.reserve(text.size());
    int taken = 0;
    for (; taken < text.size() && (maxChars < 0 || out.size() < maxChars); ++taken) {
        const QChar c = text.at(taken);
        if (ownBackslashes && c == QLatin1Char('\\'))
            out += QStringLiteral("\\\\");
        else if (isUnsafe(c))
            appendCode(out, c.unicode());
        else
            out += c;
    }
    if (cut)
        *cut = taken < text.size();
    return out;
}

QString SafeText::escapedBytes(const QByteArray &bytes)
{
    // Built a character at a time, never a string per byte: a log of line
    // noise escapes megabytes.
    QString out;
    out.reserve(bytes.size());
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte == '\\')
            out += QStringLiteral("\\\\");
        else if (byte >= 0x20 && byte < 0x7f)
            out += QLatin1Char(c);
        else
            appendCode(out, byte);
    }
    return out;
}
