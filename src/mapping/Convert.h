#pragma once
// Text-to-number conversions with the system's own error texts.

#include <stdexcept>
#include <string>
#include <string_view>

namespace kestrova {

// A conversion that failed; what() is the text shown to the user.
class EConvertError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Optional leading blanks, optional sign, then decimal digits or hex after "$" / "0x", nothing
// after. Decimal values must lie in the signed 32-bit range; hex values up to FFFFFFFF wrap into
// it. Anything else throws EConvertError("'<text>' is not a valid integer value").
int StrToInt(std::string_view text);
bool TryStrToInt(std::string_view text, int& value);

// Decimal number with the given decimal separator: optional sign, digits with at most one
// separator, optional exponent. Group separators and surrounding text are refused with
// EConvertError("'<text>' is not a valid floating point value").
double StrToFloat(std::string_view text, char decimalSeparator);
bool TryStrToFloat(std::string_view text, char decimalSeparator, double& value);

// The decimal separator of the user's locale (LC_ALL, LC_NUMERIC, LANG), '.' when unknown.
char UserDecimalSeparator();

// "%3.3d": at least three digits, zero-padded, sign in front.
std::string FormatMinDigits(long long value, int digits = 3);

// A token of the user's between single quotes, for messages: at most MaxQuoted characters of it,
// then "..." when it is longer, so that a megabyte of junk makes a line, not a megabyte.
constexpr std::size_t MaxQuoted = 80;
std::string Quoted(std::string_view text);
// The same without the quotes.
std::string Elided(std::string_view text);

}  // namespace kestrova
