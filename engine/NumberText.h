// Locale-independent number texts: reading the leading number of a text,
// the signed shortest text, and picture patterns such as "####.0".
#pragma once
#include <string>
#include <string_view>

// Value of the longest leading decimal number (blanks skipped, optional sign,
// "." as decimal point, optional exponent); 0 when the text does not start
// with a number.  A number too large for a double ("1e999") faults with
// Overflow.
double LeadingNumber(std::string_view text);

// The text as a decimal number when it is one as a whole (surrounding blanks
// allowed); faults with NotANumber otherwise.
double WholeTextNumber(std::string_view text);

// Shortest decimal text (up to 15 significant digits), one leading blank when
// the number is not negative: 20 -> " 20", -40 -> "-40".
std::string SignedText(double x);

// SignedText without the leading blank ("plain decimal text").
std::string PlainText(double x);

// Formats x by a picture: "0" digit always shown, "#" digit shown when
// significant, "." decimal point, anything else copied.  "####.0": 1000 ->
// "1000.0", 0.5 -> ".5"; "#0.0dB": -5 -> "-5.0dB".
std::string FormatPattern(double x, std::string_view pattern);

struct DateTime {
    int year, month, day, hour, minute, second;
};
// Formats a date and time by a pattern made of yyyy, MM, dd, hh, mm, ss and
// literal characters, e.g. "yyyy/MM/dd  hh:mm:ss".
std::string FormatDateTime(const DateTime& t, std::string_view pattern);
