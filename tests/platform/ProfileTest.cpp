#include "platform/Profile.h"

#include "tests/platform/PlatformTestUtil.h"

namespace velmor::platform {
namespace {

namespace fs = std::filesystem;

// An edit's outcome and the bytes after it, in one text: "changed: [S]\r\nk=v\r\n".
std::string Edited(std::string bytes, std::string_view section, std::optional<std::string_view> key,
                   std::optional<std::string_view> value) {
  const ProfileEdit edit = ProfileApplyWrite(bytes, section, key, value);
  return (edit == ProfileEdit::Changed     ? "changed: "
          : edit == ProfileEdit::Unchanged ? "unchanged: "
                                           : "invalid: ") +
         bytes;
}

TEST(ProfileLookup, ReadingRules) {
  const std::string file =
      "; comment=not a key?\r\n"
      "orphan=before any section\r\n"
      "[Main]\r\n"
      "  Path =  C:\\EPLAN5  \r\n"
      "dq=\"quoted\"\n"
      "sq=' single '\n"
      "half=\"open\n"
      "mixed=\"a'\n"
      "inner=\"a\" b \"c\"\n"
      "empty=\n"
      "blank=   \n"
      "noequals\n"
      "path=second\n"
      "eq=a=b\n"
      "umlaut=M\xFCller\n"
      "[ main ]\n"
      "other=from the second section\n"
      "[Other]\n"
      "x=1";
  const struct {
    const char *name, *section, *key, *def;
    size_t buffer;
    std::string expected;
  } rows[] = {
      {"key and section without case", "MAIN", "path", "d", 2048, "C:\\EPLAN5"},
      {"double quotes removed", "Main", "dq", "d", 2048, "quoted"},
      {"single quotes removed, inside kept", "Main", "sq", "d", 2048, " single "},
      {"one quote stays", "Main", "half", "d", 2048, "\"open"},
      {"different quotes stay", "Main", "mixed", "d", 2048, "\"a'"},
      {"only the outer pair goes", "Main", "inner", "d", 2048, "a\" b \"c"},
      {"empty value is not the default", "Main", "empty", "d", 2048, ""},
      {"blank value is empty", "Main", "blank", "d", 2048, ""},
      {"line without = is no key", "Main", "noequals", "d", 2048, "d"},
      {"value keeps later =", "Main", "eq", "d", 2048, "a=b"},
      {"ANSI decoded", "Main", "umlaut", "d", 2048, "Müller"},
      {"sections not merged", "Main", "other", "d", 2048, "d"},
      {"last line without line end", "other", "X", "d", 2048, "1"},
      {"key before any section unreachable", "", "orphan", "d", 2048, "d"},
      {"missing section", "Nope", "x", "d", 2048, "d"},
      {"default loses trailing blanks and quotes", "Nope", "x", "  \"def\"  ", 2048, "  \"def\""},
      {"default quotes", "Nope", "x", "'def'", 2048, "def"},
      {"cut to buffer - 1", "Main", "path", "d", 4, "C:\\"},
      {"cut counts characters", "Main", "umlaut", "d", 3, "Mü"},
      {"cut applies to default", "Nope", "x", "default", 3, "de"},
      {"zero buffer", "Main", "path", "d", 0, ""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(ProfileLookup(file, row.section, row.key, row.def, row.buffer), row.expected);
  }
  EXPECT_EQ(ProfileLookup("\xEF\xBB\xBF[S]\nk=Müller\n", "S", "k", "", 2048), "Müller");
  EXPECT_EQ(ProfileLookup("", "S", "k", "def", 2048), "def");
}

TEST(ProfileApplyWrite, EditsKeepOtherLinesAndWriteCrLf) {
  const std::string original =
      "; settings\n"
      "[VelmorMainFrm]\n"
      "FormVersion=0\n"
      "  EplanVerz_Text = old\n"
      "; kept comment\n"
      "\n"
      "[Other]\n"
      "a=1\n";
  // Each edit's result is the original in CRLF with one stretch replaced.
  const std::string crlf =
      "; settings\r\n[VelmorMainFrm]\r\nFormVersion=0\r\n  EplanVerz_Text = old\r\n; kept comment\r\n\r\n"
      "[Other]\r\na=1\r\n";
  struct Row {
    const char *name, *section;
    std::optional<std::string_view> key, value;
    std::string from, to;
  } rows[] = {
      {"replace in place, spelling kept", "velmormainfrm", "EPLANVERZ_TEXT", "  new value ",
       "  EplanVerz_Text = old", "EplanVerz_Text=new value "},
      {"new key after the section's last line", "VelmorMainFrm", "Visible", "0", "comment\r\n",
       "comment\r\nVisible=0\r\n"},
      {"new key in the last section", "Other", "b", "2", "a=1\r\n", "a=1\r\nb=2\r\n"},
      {"new section at the end", "New", "k", "v", "a=1\r\n", "a=1\r\n\r\n[New]\r\nk=v\r\n"},
      {"delete key", "VelmorMainFrm", "eplanverz_text", std::nullopt, "  EplanVerz_Text = old\r\n", ""},
      {"erase section", "VELMORMAINFRM", std::nullopt, std::nullopt,
       crlf.substr(12, crlf.find("[Other]") - 12), ""},
      {"value encoded in ANSI", "Other", "a", "Müller €", "a=1", "a=M\xFCller \x80"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    std::string expected = crlf;
    ASSERT_NE(expected.find(row.from), std::string::npos);
    expected.replace(expected.find(row.from), row.from.size(), row.to);
    EXPECT_EQ(Edited(original, row.section, row.key, row.value), "changed: " + expected);
  }
  EXPECT_EQ(Edited(original, "Other", "missing", std::nullopt), "unchanged: " + original);
  EXPECT_EQ(Edited(original, "Missing", std::nullopt, std::nullopt), "unchanged: " + original);
  EXPECT_EQ(Edited("", "S", "k", "v"), "changed: [S]\r\nk=v\r\n");
  EXPECT_EQ(Edited("\xEF\xBB\xBF[S]\nk=old\n", "S", "k", "Müller €"),
            "changed: \xEF\xBB\xBF[S]\r\nk=Müller €\r\n");
}

TEST(ProfileApplyWrite, RefusesTextsThatWouldInjectLinesAndWrittenValuesReadBack) {
  const struct {
    const char* name;
    std::string section, key, value;
  } rows[] = {
      {"LF in value", "S", "k", "a\n[Evil]\nx=1"},        {"CR in value", "S", "k", "a\rb"},
      {"NUL in value", "S", "k", std::string("a\0b", 3)}, {"line break in key", "S", "k\nx", "v"},
      {"line break in section", "S]\n[T", "k", "v"},      {"= in key", "S", "a=b", "v"},
      {"key looks like a section", "S", " [T]", "v"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(Edited("[S]\r\nk=1\r\n", row.section, row.key, row.value), "invalid: [S]\r\nk=1\r\n");
  }
  // A written value reads back as the reader takes it: outer blanks and one pair of quotes go.
  const std::pair<const char*, const char*> written[] = {
      {"plain", "plain"},
      // The settings store wraps a text that starts and ends with a quote in one more pair.
      {"\"\"both\"\"", "\"both\""},
      {"\"'mixed'\"", "'mixed'"},
      {"'single'", "single"},
      {"  lead and trail  ", "lead and trail"},
      {"a=b;c [x]", "a=b;c [x]"},
      {"", ""},
  };
  for (const auto& [value, read] : written) {
    SCOPED_TRACE(value);
    std::string bytes = "[S]\r\nk=old\r\n";
    ASSERT_EQ(ProfileApplyWrite(bytes, "S", "k", value), ProfileEdit::Changed);
    EXPECT_EQ(ProfileLookup(bytes, "S", "k", "default", 2048), read);
  }
}

class ProfileFile : public ::testing::Test {
 protected:
  // The error a write left, kErrorSuccess when it succeeded.
  uint32_t Write(const std::string& file, std::optional<std::string_view> value) {
    uint32_t error = 0;
    return ProfileWriteString(file, "S", "k", value, error) ? kErrorSuccess : error;
  }
  velmor::testing::TempPrefix prefix_;
  std::string ini_ = prefix_.Abs("drive_c/windows/Velmor.INI");
  uint32_t error_ = 0;
};

TEST_F(ProfileFile, WriteCreatesAndReplacesAtomicallyAlsoThroughALink) {
  ASSERT_TRUE(ProfileWriteString(ini_, "VelmorMainFrm", "FormVersion", "0", error_));
  EXPECT_EQ(prefix_.ReadFile(ini_), "[VelmorMainFrm]\r\nFormVersion=0\r\n");
  EXPECT_EQ(ProfileGetString(ini_, "velmormainfrm", "formversion", "x", 2048), "0");

  fs::permissions(ini_, fs::perms(0640));
  struct stat before {};
  ASSERT_EQ(::stat(ini_.c_str(), &before), 0);
  ASSERT_TRUE(ProfileWriteString(ini_, "VelmorMainFrm", "Visible", "1", error_));
  struct stat after {};
  ASSERT_EQ(::stat(ini_.c_str(), &after), 0);
  EXPECT_NE(before.st_ino, after.st_ino) << "the file must be replaced, not rewritten in place";
  EXPECT_EQ(after.st_mode & 07777, 0640u);
  EXPECT_EQ(Entries(prefix_.Abs("drive_c/windows")), Names{"Velmor.INI"});  // no temporary left

  // Deleting from a missing file creates nothing.
  const std::string missing = prefix_.Abs("drive_c/windows/none.ini");
  EXPECT_EQ(Write(missing, std::nullopt), kErrorSuccess);
  EXPECT_FALSE(prefix_.Exists(missing));
  EXPECT_EQ(ProfileGetString(missing, "S", "k", "def", 2048), "def");

  prefix_.WriteFile("drive_c/real.ini", "[S]\nk=1\n");
  fs::create_symlink(prefix_.Abs("drive_c/real.ini"), prefix_.Abs("drive_c/link.ini"));
  ASSERT_EQ(Write(prefix_.Abs("drive_c/link.ini"), "2"), kErrorSuccess);
  EXPECT_TRUE(fs::is_symlink(prefix_.Abs("drive_c/link.ini")));
  EXPECT_EQ(prefix_.ReadFile("drive_c/real.ini"), "[S]\r\nk=2\r\n");
}

TEST_F(ProfileFile, WriteFailsOnReadOnlyOrMissingPlacesAndKeepsTheFile) {
  prefix_.WriteFile(ini_, "[S]\r\nk=1\r\n");
  fs::permissions(ini_, fs::perms(0444));  // refused even for root
  EXPECT_EQ(Write(ini_, "2"), kErrorAccessDenied);
  fs::permissions(ini_, fs::perms(0644));
  fs::permissions(prefix_.Abs("drive_c/windows"), fs::perms(0555));
  EXPECT_EQ(Write(ini_, "2"), kErrorAccessDenied);
  fs::permissions(prefix_.Abs("drive_c/windows"), fs::perms(0755));
  EXPECT_EQ(Write(ini_, "a\r\n[T]"), kErrorInvalidParameter);  // a value that would add lines
  EXPECT_EQ(prefix_.ReadFile(ini_), "[S]\r\nk=1\r\n");

  EXPECT_EQ(Write(prefix_.Abs("drive_c/nofolder/x.ini"), "v"), kErrorPathNotFound);
  EXPECT_FALSE(prefix_.Exists("drive_c/nofolder"));
}

}  // namespace
}  // namespace velmor::platform
