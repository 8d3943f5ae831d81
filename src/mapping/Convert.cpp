#include "Convert.h"

#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <locale>
#include <sstream>

namespace kestrova {

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

bool TryStrToInt(std::string_view text, int& value) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  bool hex = false;
  if (i < text.size() && text[i] == '$') {
    hex = true;
    ++i;
  } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    hex = true;
    i += 2;
  }
  if (i == text.size()) return false;
  std::uint64_t magnitude = 0;
  const std::uint64_t limit = hex ? 0xFFFFFFFFull : (negative ? 2147483648ull : 2147483647ull);
  for (; i < text.size(); ++i) {
    const int digit =
        hex ? HexDigit(text[i]) : (text[i] >= '0' && text[i] <= '9' ? text[i] - '0' : -1);
    if (digit < 0) return false;
    magnitude = magnitude * (hex ? 16 : 10) + static_cast<unsigned>(digit);
    if (magnitude > limit) return false;
  }
  // Hex wraps into the signed range; the two's-complement conversion is well defined in C++20.
  std::uint32_t bits = static_cast<std::uint32_t>(magnitude);
  if (negative) bits = 0u - bits;
  value = static_cast<std::int32_t>(bits);
  return true;
}

int StrToInt(std::string_view text) {
  int value = 0;
  if (!TryStrToInt(text, value)) {
    throw EConvertError(Quoted(text) + " is not a valid integer value");
  }
  return value;
}

bool TryStrToFloat(std::string_view text, char decimalSeparator, double& value) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  std::string normalized;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) normalized += text[i++];
  bool digits = false;
  bool separator = false;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c >= '0' && c <= '9') {
      normalized += c;
      digits = true;
    } else if (c == decimalSeparator && !separator) {
      normalized += '.';
      separator = true;
    } else {
      break;
    }
  }
  if (!digits) return false;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    normalized += 'e';
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) normalized += text[i++];
    bool exponentDigits = false;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
      normalized += text[i];
      exponentDigits = true;
    }
    if (!exponentDigits) return false;
  }
  while (i < text.size() && text[i] == ' ') ++i;
  if (i != text.size()) return false;
  // The classic locale makes the conversion independent of the process locale.
  std::istringstream stream(normalized);
  stream.imbue(std::locale::classic());
  double parsed = 0;
  stream >> parsed;
  if (stream.fail() || !std::isfinite(parsed)) return false;
  value = parsed;
  return true;
}

double StrToFloat(std::string_view text, char decimalSeparator) {
  double value = 0;
  if (!TryStrToFloat(text, decimalSeparator, value)) {
    throw EConvertError(Quoted(text) + " is not a valid floating point value");
  }
  return value;
}

std::string FormatMinDigits(long long value, int digits) {
  std::string body = std::to_string(value < 0 ? -static_cast<unsigned long long>(value)
                                              : static_cast<unsigned long long>(value));
  if (static_cast<int>(body.size()) < digits) body.insert(0, digits - body.size(), '0');
  return value < 0 ? "-" + body : body;
}

char UserDecimalSeparator() {
  const char* previous = std::setlocale(LC_NUMERIC, nullptr);
  const std::string saved = previous ? previous : "C";
  char separator = '.';
  if (std::setlocale(LC_NUMERIC, "") != nullptr) {
    const char* point = std::localeconv()->decimal_point;
    if (point && point[0] && !point[1]) separator = point[0];
  }
  std::setlocale(LC_NUMERIC, saved.c_str());
  return separator;
}

std::string Elided(std::string_view text) {
  if (text.size() <= MaxQuoted) return std::string(text);
  return std::string(text.substr(0, MaxQuoted)) + "...";
}

std::string Quoted(std::string_view text) {
  return "'" + Elided(text) + "'";
}

}  // namespace kestrova
