#include "AppRules.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

namespace kestrova {

namespace {

bool SameText(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

}  // namespace

std::string ProfileForApplication(const TAppRules& rules, const TActiveWindow& active) {
  if (!rules.Enabled || rules.Rules.empty() || !active.Found) return {};
  for (const TAppRule& rule : rules.Rules) {
    if (rule.Match == TAppRule::WindowClass &&
        (SameText(rule.Value, active.Class) || SameText(rule.Value, active.Instance))) {
      return rule.Profile;
    }
    if (rule.Match == TAppRule::Executable && !active.Executable.empty() &&
        (rule.Value == active.Executable ||
         rule.Value == std::filesystem::path(active.Executable).filename().string())) {
      return rule.Profile;
    }
  }
  return rules.DefaultProfile;
}

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
