#include "devicelist/cell_sort_key.h"

#include <QLocale>
#include <QStringList>

#include <algorithm>

namespace camfleet {

namespace {

thread_local int64_t localeDateTimeReads = 0;

bool IsHexDigit(QChar c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// The significant digits of a hexadecimal text (at least one), upper case; empty when `s` is
// empty or not entirely hexadecimal.
QString HexDigits(const QString& s) {
    if (s.isEmpty() || !std::all_of(s.begin(), s.end(), IsHexDigit))
        return {};
    qsizetype i = 0;
    while (i + 1 < s.size() && s[i] == '0')
        ++i;
    return s.mid(i).toUpper();
}

// Compares two hexadecimal numbers given by their significant digits, whatever their length
// (no 64-bit overflow): the longer number is the larger; equal lengths compare digit by digit.
int CompareHexDigits(const QString& x, const QString& y) {
    if (x.size() != y.size())
        return x.size() < y.size() ? -1 : 1;
    return x.compare(y);
}

std::optional<double> DecimalValue(const QString& s) {
    QString t = s;
    if (t.endsWith('%'))
        t.chop(1);
    bool ok = false;
    const double v = t.toDouble(&ok);
    return ok ? std::optional<double>(v) : std::nullopt;
}

// Every date-time format of a locale has numeric fields (day, year, hour) and separators
// between them, so a text without a digit or without anything else is none; this spares the
// locale parser, which is slow, for most texts.
bool MayBeDateTime(const QString& s) {
    bool digit = false;
    bool other = false;
    for (QChar c : s)
        (c.isDigit() ? digit : other) = true;
    return digit && other;
}

std::optional<QDateTime> LocaleDateTime(const QString& s) {
    if (!MayBeDateTime(s))
        return std::nullopt;
    ++localeDateTimeReads;
    const QLocale locale;
    for (QLocale::FormatType format : {QLocale::ShortFormat, QLocale::LongFormat}) {
        const QDateTime t = locale.toDateTime(s, format);
        if (t.isValid())
            return t;
    }
    return std::nullopt;
}

// "%u.%u.%u.%u" as a whole text, as a 64-bit value a*2^24 + b*2^16 + c*2^8 + d (parts above
// 255 keep their weight instead of wrapping).
std::optional<uint64_t> DottedQuadValue(const QString& s) {
    if (s.count('.') != 3)
        return std::nullopt;
    const QStringList parts = s.split('.');
    uint64_t value = 0;
    for (const QString& part : parts) {
        if (part.isEmpty() ||
            !std::all_of(part.begin(), part.end(), [](QChar c) { return c >= '0' && c <= '9'; }))
            return std::nullopt;
        bool ok = false;
        const uint32_t n = part.toUInt(&ok);
        if (!ok)
            return std::nullopt;
        value = (value << 8) + n;
    }
    return value;
}

template <typename T>
int Sign(const T& a, const T& b) {
    return a < b ? -1 : (b < a ? 1 : 0);
}

}  // namespace

CellSortKey::CellSortKey(const QString& text)
    : text_(text),
      hexDigits_(HexDigits(text)),
      decimal_(DecimalValue(text)),
      dottedQuad_(DottedQuadValue(text)) {}

const std::optional<QDateTime>& CellSortKey::DateTime() const {
    if (!dateTime_)
        dateTime_ = LocaleDateTime(text_);
    return *dateTime_;
}

int CompareSortKeys(const CellSortKey& a, const CellSortKey& b) {
    if (!a.hexDigits_.isEmpty() && !b.hexDigits_.isEmpty())
        return CompareHexDigits(a.hexDigits_, b.hexDigits_);
    if (a.decimal_ && b.decimal_)
        return Sign(*a.decimal_, *b.decimal_);
    if (a.DateTime() && b.DateTime())
        return Sign(*a.DateTime(), *b.DateTime());
    if (a.dottedQuad_ && b.dottedQuad_)
        return Sign(*a.dottedQuad_, *b.dottedQuad_);
    const int c = a.text_.compare(b.text_, Qt::CaseSensitive);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

int CompareCells(const QString& a, const QString& b) {
    return CompareSortKeys(CellSortKey(a), CellSortKey(b));
}

int64_t LocaleDateTimeReads() {
    return localeDateTimeReads;
}

}  // namespace camfleet
