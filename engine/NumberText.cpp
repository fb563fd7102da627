#include "engine/NumberText.h"

#include <charconv>
#include <climits>
#include <cmath>
#include <cstdio>
#include <string>
#include <system_error>

#include "engine/Fault.h"

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// A decimal number found at the start of a text: how many characters it
// spans (0 when there is none) and its value.
struct Scanned {
    std::size_t end = 0;
    double value = 0.0;
};

// Reads [blanks][sign]digits[.digits][e[sign]digits] from the start of text.
// The point is always "."; an exponent without digits is not part of the number.
Scanned ScanNumber(std::string_view text)
{
    std::size_t p = 0;
    while (p < text.size() && IsBlank(text[p]))
        ++p;
    bool negative = false;
    if (p < text.size() && (text[p] == '+' || text[p] == '-')) {
        negative = text[p] == '-';
        ++p;
    }
    const std::size_t mantStart = p;
    std::size_t digits = 0;
    // Decimal power of the first non-zero digit, to tell an overflow from an
    // underflow when the value is out of range.
    long long intDigits = 0, fracDigits = 0;
    long long firstInt = -1, firstFrac = -1;
    while (p < text.size() && IsDigit(text[p])) {
        if (firstInt < 0 && text[p] != '0')
            firstInt = intDigits;
        ++intDigits;
        ++digits;
        ++p;
    }
    if (p < text.size() && text[p] == '.') {
        ++p;
        while (p < text.size() && IsDigit(text[p])) {
            ++fracDigits;
            if (firstInt < 0 && firstFrac < 0 && text[p] != '0')
                firstFrac = fracDigits;
            ++digits;
            ++p;
        }
    }
    if (digits == 0)
        return {};
    std::size_t end = p;
    long long exponent = 0;
    if (p < text.size() && (text[p] == 'e' || text[p] == 'E')) {
        std::size_t q = p + 1;
        bool expNeg = false;
        if (q < text.size() && (text[q] == '+' || text[q] == '-')) {
            expNeg = text[q] == '-';
            ++q;
        }
        if (q < text.size() && IsDigit(text[q])) {
            while (q < text.size() && IsDigit(text[q])) {
                if (exponent < 1000000000)
                    exponent = exponent * 10 + (text[q] - '0');
                ++q;
            }
            if (expNeg)
                exponent = -exponent;
            end = q;
        }
    }

    // from_chars is locale-independent but takes no leading '+'.
    const char* first = text.data() + mantStart;
    const char* last = text.data() + end;
    double v = 0.0;
    const auto res = std::from_chars(first, last, v, std::chars_format::general);
    if (res.ec == std::errc::result_out_of_range) {
        const long long lead = firstInt >= 0 ? intDigits - 1 - firstInt : -firstFrac;
        if (lead + exponent > 0)
            throw Fault(Fault::Kind::Overflow, "number too large: " + std::string(text.substr(0, end)));
        v = 0.0; // underflow: too small to represent
    } else if (res.ec != std::errc() || res.ptr != last) {
        return {};
    }
    return {end, negative ? -v : v};
}

// A finite, non-zero magnitude as 15 significant decimal digits (no trailing
// zeros) and the decimal exponent of the first digit: 1234.5 -> "12345", 3.
struct Digits {
    std::string digits;
    int exp10 = 0;
};

Digits SignificantDigits(double mag)
{
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, mag, std::chars_format::scientific, 14);
    std::string s(buf, res.ptr); // d.ddddddddddddddde[+-]xx
    const std::size_t e = s.find('e');
    Digits d;
    d.digits = s.substr(0, 1) + s.substr(2, e - 2);
    d.exp10 = std::stoi(s.substr(e + 1));
    while (d.digits.size() > 1 && d.digits.back() == '0')
        d.digits.pop_back();
    return d;
}

std::string NonFiniteText(double x)
{
    if (std::isnan(x))
        return "NaN";
    return x < 0 ? "-Inf" : "Inf";
}

} // namespace

double LeadingNumber(std::string_view text)
{
    return ScanNumber(text).value;
}

double WholeTextNumber(std::string_view text)
{
    const Scanned s = ScanNumber(text);
    std::size_t p = s.end;
    while (p < text.size() && IsBlank(text[p]))
        ++p;
    if (s.end == 0 || p != text.size())
        throw Fault(Fault::Kind::NotANumber, "not a number: \"" + std::string(text) + "\"");
    return s.value;
}

std::string PlainText(double x)
{
    if (!std::isfinite(x))
        return NonFiniteText(x);
    if (x == 0.0)
        return "0";
    std::string out = x < 0 ? "-" : "";
    const Digits d = SignificantDigits(std::fabs(x));
    if (d.exp10 >= 15 || d.exp10 < -5) {
        out += d.digits.substr(0, 1);
        if (d.digits.size() > 1)
            out += "." + d.digits.substr(1);
        char e[16];
        std::snprintf(e, sizeof e, "E%c%02d", d.exp10 < 0 ? '-' : '+', std::abs(d.exp10));
        return out + e;
    }
    if (d.exp10 < 0)
        return out + "0." + std::string(static_cast<std::size_t>(-d.exp10 - 1), '0') + d.digits;
    const std::size_t intLen = static_cast<std::size_t>(d.exp10) + 1;
    if (d.digits.size() <= intLen)
        return out + d.digits + std::string(intLen - d.digits.size(), '0');
    return out + d.digits.substr(0, intLen) + "." + d.digits.substr(intLen);
}

std::string SignedText(double x)
{
    std::string t = PlainText(x);
    return t[0] == '-' ? t : " " + t;
}

std::string FormatPattern(double x, std::string_view pattern)
{
    if (pattern.empty())
        return PlainText(x);

    // Split the pattern: the first "." is the point; digit placeholders
    // before it are the integer part, those after it the decimals.
    const std::size_t point = pattern.find('.');
    const std::size_t intEnd = point == std::string_view::npos ? pattern.size() : point;
    std::size_t firstSlot = std::string_view::npos, lastSlot = std::string_view::npos;
    int intSlots = 0, firstZero = -1, decimals = 0, decMin = 0;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        const char c = pattern[i];
        const bool slot = c == '0' || c == '#' || i == point;
        if (slot) {
            if (firstSlot == std::string_view::npos)
                firstSlot = i;
            lastSlot = i;
        }
        if (c != '0' && c != '#')
            continue;
        if (i < intEnd) {
            if (c == '0' && firstZero < 0)
                firstZero = intSlots;
            ++intSlots;
        } else {
            ++decimals;
            if (c == '0')
                decMin = decimals;
        }
    }
    // Integer digits always shown: the slots from the first '0' on.
    const int intMin = firstZero < 0 ? 0 : intSlots - firstZero;

    if (firstSlot == std::string_view::npos)
        return std::string(pattern); // no place for the number

    if (!std::isfinite(x)) {
        return std::string(pattern.substr(0, firstSlot)) + NonFiniteText(x) +
               std::string(pattern.substr(lastSlot + 1));
    }

    // Round |x| to the pattern's decimals, half away from zero, on its
    // 15-digit decimal form (so 1.465 rounds like the text it prints as).
    std::string intDigits;                                   // no leading zeros
    std::string fracDigits(static_cast<std::size_t>(decimals), '0');
    bool negative = false;
    if (x != 0.0) {
        const Digits d = SignificantDigits(std::fabs(x));
        // Place digit k of d at decimal position exp10 - k; keep positions
        // >= -decimals, round on the first one dropped.
        const int top = d.exp10 > 0 ? d.exp10 : 0;
        std::string all(static_cast<std::size_t>(top + 1 + decimals), '0'); // positions top .. -decimals
        int roundDigit = 0;
        for (std::size_t k = 0; k < d.digits.size(); ++k) {
            const int pos = d.exp10 - static_cast<int>(k);
            if (pos >= -decimals)
                all[static_cast<std::size_t>(top - pos)] = d.digits[k];
            else if (pos == -decimals - 1)
                roundDigit = d.digits[k] - '0';
        }
        if (roundDigit >= 5) {
            std::size_t i = all.size();
            while (i > 0) {
                --i;
                if (all[i] == '9') {
                    all[i] = '0';
                } else {
                    ++all[i];
                    break;
                }
                if (i == 0)
                    all.insert(all.begin(), '1');
            }
        }
        const std::size_t intLen = all.size() - static_cast<std::size_t>(decimals);
        intDigits = all.substr(0, intLen);
        fracDigits = all.substr(intLen);
        const std::size_t nz = intDigits.find_first_not_of('0');
        intDigits = nz == std::string::npos ? "" : intDigits.substr(nz);
        // A value that rounds to zero shows no sign.
        negative = x < 0 && (!intDigits.empty() || fracDigits.find_first_not_of('0') != std::string::npos);
    }

    // Integer digits: at least the '0' slots, right-aligned in the slots;
    // digits beyond the slots go in front of the first one.
    if (static_cast<int>(intDigits.size()) < intMin)
        intDigits.insert(0, static_cast<std::size_t>(intMin) - intDigits.size(), '0');
    const int intShown = static_cast<int>(intDigits.size());
    // Decimals: up to the last '0' slot, and further while non-zero digits need it.
    int fracShown = decMin;
    for (int k = decimals; k > fracShown; --k)
        if (fracDigits[static_cast<std::size_t>(k - 1)] != '0') {
            fracShown = k;
            break;
        }

    std::string out;
    bool signDone = !negative;
    auto sign = [&] {
        if (!signDone) {
            out += '-';
            signDone = true;
        }
    };
    int intSlot = 0, fracSlot = 0;
    std::size_t nextInt = 0;
    const int skip = intSlots - intShown; // leading slots left empty (negative: overflow digits)
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        const char c = pattern[i];
        if (i == point) {
            sign();
            out += '.';
        } else if ((c == '0' || c == '#') && i < intEnd) {
            if (intSlot == 0 && skip < 0) {
                sign();
                out += intDigits.substr(0, static_cast<std::size_t>(-skip));
                nextInt = static_cast<std::size_t>(-skip);
            }
            if (intSlot >= skip) {
                sign();
                out += intDigits[nextInt++];
            }
            ++intSlot;
        } else if (c == '0' || c == '#') {
            ++fracSlot;
            if (fracSlot <= fracShown)
                out += fracDigits[static_cast<std::size_t>(fracSlot - 1)];
        } else {
            out += c;
        }
    }
    return out;
}

std::string FormatDateTime(const DateTime& t, std::string_view pattern)
{
    std::string out;
    char buf[16];
    auto put = [&](int v, int width) {
        std::snprintf(buf, sizeof buf, "%0*d", width, v);
        out += buf;
    };
    for (std::size_t i = 0; i < pattern.size();) {
        const std::string_view rest = pattern.substr(i);
        if (rest.starts_with("yyyy")) {
            put(t.year, 4);
            i += 4;
        } else if (rest.starts_with("MM")) {
            put(t.month, 2);
            i += 2;
        } else if (rest.starts_with("dd")) {
            put(t.day, 2);
            i += 2;
        } else if (rest.starts_with("hh") || rest.starts_with("HH")) {
            put(t.hour, 2);
            i += 2;
        } else if (rest.starts_with("mm")) {
            put(t.minute, 2);
            i += 2;
        } else if (rest.starts_with("ss")) {
            put(t.second, 2);
            i += 2;
        } else {
            out += pattern[i++];
        }
    }
    return out;
}
