#include "frontend/locale_environment.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace tarvelo {
namespace {

TEST(LocaleEnvironment, PrecedenceAndFallback) {
  EXPECT_EQ(IcuLocaleName("pt_BR.UTF-8"), "pt_BR");
  EXPECT_EQ(IcuLocaleName("de_DE@euro"), "de_DE");
  EXPECT_EQ(IcuLocaleName("C.UTF-8"), "en_US");
  EXPECT_EQ(IcuLocaleName("POSIX"), "en_US");
  EXPECT_EQ(IcuLocaleName(""), "en_US");

  std::map<std::string, std::string> env{{"LANG", "pt_BR.UTF-8"}};
  auto lookup = [&](const char* name) { return env.count(name) ? env[name] : std::string(); };
  auto settings = SettingsFromEnvironment(lookup);
  EXPECT_EQ(settings.decimalSeparator, ',');
  EXPECT_EQ(settings.thousandSeparator, '.');
  EXPECT_EQ(settings.shortDateFormat, "dd/MM/y");
  EXPECT_EQ(settings.longTimeFormat, "HH:mm:ss");

  env["LC_NUMERIC"] = "en_US.UTF-8";  // numbers from LC_NUMERIC, dates still from LANG
  settings = SettingsFromEnvironment(lookup);
  EXPECT_EQ(settings.decimalSeparator, '.');
  EXPECT_EQ(settings.shortDateFormat, "dd/MM/y");

  // LC_ALL wins over every category and LANG.
  env["LC_TIME"] = "en_US.UTF-8";
  env["LC_MESSAGES"] = "en_US.UTF-8";
  env["LANG"] = "en_US.UTF-8";
  env["LC_ALL"] = "pt_BR.UTF-8";
  settings = SettingsFromEnvironment(lookup);
  EXPECT_EQ(settings.decimalSeparator, ',');
  EXPECT_EQ(settings.shortDateFormat, "dd/MM/y");
  EXPECT_EQ(MessagesLanguage(lookup), "pt_BR");
  env["LC_ALL"] = "C";
  settings = SettingsFromEnvironment(lookup);
  EXPECT_EQ(settings.shortDateFormat, "M/d/y");
}

}  // namespace
}  // namespace tarvelo
