#pragma once
// Typed comparison of the device list's cells, with each cell read once per sort.
//
// Two cells compare by the first of these rules that both take part in: hexadecimal numbers
// (unsigned, any length), decimal numbers (a floating-point text with an optional trailing
// "%"), date-times in the user's locale (short or long format), dotted quads
// ("%u.%u.%u.%u", a*2^24 + b*2^16 + c*2^8 + d), and last the texts, case-sensitively.
//
// A CellSortKey holds one cell's text classified for these rules, so a sort reads every cell
// once instead of in every comparison. The locale date-time reading, by far the dearest, is
// made only when a comparison reaches that rule, and then at most once per key. Keys are
// not thread-safe (the date-time is filled in on first use); the QLocale default must not
// change while keys are compared.

#include <QDateTime>
#include <QString>

#include <cstdint>
#include <optional>

namespace camfleet {

class CellSortKey {
public:
    CellSortKey() = default;
    explicit CellSortKey(const QString& text);

    // Negative, 0 or positive like strcmp; ascending order.
    friend int CompareSortKeys(const CellSortKey& a, const CellSortKey& b);

private:
    const std::optional<QDateTime>& DateTime() const;

    QString text_;
    QString hexDigits_;  // without leading zeros, upper case; empty when not hexadecimal
    std::optional<double> decimal_;
    std::optional<uint64_t> dottedQuad_;
    mutable std::optional<std::optional<QDateTime>> dateTime_;  // outer: read yet
};

int CompareSortKeys(const CellSortKey& a, const CellSortKey& b);

// The same comparison for two texts (each read in full; for a single comparison).
int CompareCells(const QString& a, const QString& b);

// Locale date-time readings made on the calling thread so far (each tries the short and the
// long format); for tests and benchmarks.
int64_t LocaleDateTimeReads();

}  // namespace camfleet
