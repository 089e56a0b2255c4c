#include <gtest/gtest.h>

#include <cstdlib>

#include "beacon/core/Context/TLOsRelease.h"
#include "beacon/core/Context/TLSystemInfo.h"
#include "support/TempDir.h"

namespace ml::beacon {
namespace {

class EnvironmentVariable {
 public:
  EnvironmentVariable(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) previous_ = old;
    if (value) ::setenv(name, value, 1);
    else ::unsetenv(name);
  }
  ~EnvironmentVariable() {
    if (previous_) ::setenv(name_, previous_->c_str(), 1);
    else ::unsetenv(name_);
  }

 private:
  const char* name_;
  std::optional<std::string> previous_;
};

// --- os-release

TEST(TLOsReleaseTest, ReadsBareAndQuotedValuesWithEscapes) {
  auto values = TLOsRelease::parse(
      "# comment\n"
      "NAME=\"Debian GNU/Linux\"\n"
      "VERSION_ID=\"12\"\r\n"
      "ID=debian\n"
      "PRETTY='single \"quoted\"'\n"
      "ESCAPED=\"a \\\"b\\\" \\$c \\\\ d\"\n"
      "\n");
  EXPECT_EQ(values["NAME"], "Debian GNU/Linux");
  EXPECT_EQ(values["VERSION_ID"], "12");
  EXPECT_EQ(values["ID"], "debian");
  EXPECT_EQ(values["PRETTY"], "single \"quoted\"");
  EXPECT_EQ(values["ESCAPED"], "a \"b\" $c \\ d");
}

TEST(TLOsReleaseTest, SkipsLinesThatDoNotParse) {
  auto values = TLOsRelease::parse("=x\nno equals\nBAD KEY=1\nOPEN=\"unterminated\nGOOD=yes");
  EXPECT_EQ(values.size(), 1u);
  EXPECT_EQ(values["GOOD"], "yes");
}

TEST(TLOsReleaseTest, FallsBackToTheSecondFile) {
  test::TempDir dir;
  auto lib = dir.write("lib-os-release", "NAME=Fallback\n");
  auto loaded = TLOsRelease::load(dir.path() / "missing", lib);
  ASSERT_TRUE(loaded);
  EXPECT_EQ((*loaded)["NAME"], "Fallback");
  EXPECT_FALSE(TLOsRelease::load(dir.path() / "missing", dir.path() / "missing2"));
  EXPECT_FALSE(TLOsRelease::load(dir.path(), dir.path()));  // folders are not read
}

// --- System facts

TEST(TLSystemInfoTest, ReadsModelMakerAndOperatingSystemFromTheSources) {
  test::TempDir dir;
  dir.write("dmi/product_name", "  ThinkStation P3  \n");
  dir.write("dmi/sys_vendor", "LENOVO\n");
  dir.write("os-release", "NAME=\"Debian GNU/Linux\"\nVERSION_ID=\"12\"\n");
  TLSystemInfo info({dir.path() / "dmi", dir.path() / "os-release", dir.path() / "none"});
  EXPECT_EQ(info.hardwareModel(), "ThinkStation P3");
  EXPECT_EQ(info.hardwareVendor(), "LENOVO");
  EXPECT_EQ(info.osName(), "Debian GNU/Linux");
  EXPECT_EQ(info.osVersion(), "12");
  EXPECT_TRUE(info.osBuild());
}

TEST(TLSystemInfoTest, MissingSourcesGiveNothingOrTheStandIns) {
  test::TempDir dir;
  dir.write("dmi/product_name", "\n");
  dir.write("os-release", "ID=arch\n");
  TLSystemInfo info({dir.path() / "dmi", dir.path() / "os-release", dir.path() / "none"});
  EXPECT_FALSE(info.hardwareModel());
  EXPECT_FALSE(info.hardwareVendor());
  EXPECT_EQ(info.osName(), "arch");
  // No VERSION_ID: the kernel's version.
  ASSERT_TRUE(info.osVersion());
  EXPECT_EQ(info.osVersion(), TLSystemInfo::leadingVersion(*info.osBuild()));

  TLSystemInfo bare({dir.path() / "none", dir.path() / "none", dir.path() / "none"});
  EXPECT_EQ(bare.osName(), "Linux");
}

TEST(TLSystemInfoTest, KernelVersionIsTheLeadingNumbers) {
  EXPECT_EQ(TLSystemInfo::leadingVersion("6.1.0-18-amd64"), "6.1.0");
  EXPECT_EQ(TLSystemInfo::leadingVersion("6.7.arch1"), "6.7");
  EXPECT_FALSE(TLSystemInfo::leadingVersion("custom"));
}

TEST(TLSystemInfoTest, LocaleIdentifierHasLanguageScriptAndCountry) {
  EXPECT_EQ(TLSystemInfo::localeIdentifierFromPosixName("en_US.UTF-8"), "en_US");
  EXPECT_EQ(TLSystemInfo::localeIdentifierFromPosixName("de_CH"), "de_CH");
  EXPECT_EQ(TLSystemInfo::localeIdentifierFromPosixName("sr_RS.UTF-8@latin"), "sr-Latn_RS");
  EXPECT_EQ(TLSystemInfo::localeIdentifierFromPosixName("es_419.UTF-8"), "es_419");
  EXPECT_EQ(TLSystemInfo::localeIdentifierFromPosixName("fr"), "fr");
  EXPECT_EQ(TLSystemInfo::localeIdentifierFromPosixName("C.UTF-8"), "en_US");
  EXPECT_EQ(TLSystemInfo::localeIdentifierFromPosixName("POSIX"), "en_US");
  EXPECT_EQ(TLSystemInfo::localeIdentifierFromPosixName("../../etc"), "en_US");
}

TEST(TLSystemInfoTest, LocaleComesFromTheMessagesVariablesInOrder) {
  EnvironmentVariable all("LC_ALL", nullptr);
  EnvironmentVariable messages("LC_MESSAGES", "pt_BR.UTF-8");
  EnvironmentVariable lang("LANG", "de_DE.UTF-8");
  EXPECT_EQ(TLSystemInfo::localeIdentifier(), "pt_BR");
  EnvironmentVariable all2("LC_ALL", "ja_JP.UTF-8");
  EXPECT_EQ(TLSystemInfo::localeIdentifier(), "ja_JP");
}

TEST(TLSystemInfoTest, TimeZoneOffsetIsInMinutesEastOfUtc) {
  auto when = std::chrono::system_clock::from_time_t(1700000000);  // November 2023
  {
    EnvironmentVariable tz("TZ", "IST-5:30");
    EXPECT_EQ(TLSystemInfo::timeZoneOffsetMinutes(when), 330);
  }
  {
    EnvironmentVariable tz("TZ", "NST+3:30");
    EXPECT_EQ(TLSystemInfo::timeZoneOffsetMinutes(when), -210);
  }
  {
    EnvironmentVariable tz("TZ", "UTC0");
    EXPECT_EQ(TLSystemInfo::timeZoneOffsetMinutes(when), 0);
  }
  ::tzset();
}

}  // namespace
}  // namespace ml::beacon
