#include "mapping/AppRules.h"

namespace kestrova {

std::string FormatAppRule(const TAppRule& rule) {
  return std::string(rule.Match == TAppRule::WindowClass ? "class" : "exe") + "|" + rule.Value +
         "|" + rule.Profile;
}

bool ParseAppRule(const std::string& text, TAppRule& rule) {
  const auto first = text.find('|');
  if (first == std::string::npos) return false;
  const auto second = text.find('|', first + 1);
  if (second == std::string::npos) return false;
  const std::string kind = text.substr(0, first);
  if (kind != "class" && kind != "exe") return false;
  rule.Match = kind == "class" ? TAppRule::WindowClass : TAppRule::Executable;
  rule.Value = text.substr(first + 1, second - first - 1);
  rule.Profile = text.substr(second + 1);
  return !rule.Value.empty() && !rule.Profile.empty();
}

}  // namespace kestrova
