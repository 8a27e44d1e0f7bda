// The INI object and its text: writing, reading, escapes, numbers, multi-line items.
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include <unistd.h>

#include "settings/ini.h"

namespace {

IniText fresh() {
  IniText ini = ini_new(false);
  EXPECT_TRUE(ini);
  return ini;
}

IniText parse(const std::string &text) {
  IniText ini = fresh();
  EXPECT_EQ(ini_read_from_text(ini.get(), text), kIniOk);
  return ini;
}

std::string get_string(const IniObject *ini, std::string_view section, std::string_view tag) {
  std::string out;
  EXPECT_EQ(ini_get_string(ini, section, tag, &out), 1) << section << "/" << tag;
  return out;
}

using Items = std::vector<std::pair<std::string, std::string>>;

// Tags and string values of a section, in order.
Items items_of(const IniObject *ini, std::string_view section) {
  Items out;
  for (const std::string &tag : ini_item_tags(ini, section)) out.emplace_back(tag, get_string(ini, section, tag));
  return out;
}

TEST(IniText, SettingsFileStartsWithFirstSectionAndEndsEverySectionWithEmptyLine) {
  IniText ini = fresh();
  ASSERT_EQ(ini_put_double(ini.get(), "OUTPUT SOURCE", "FREQUENCY", 1000.0), kIniOk);
  ASSERT_EQ(ini_put_double(ini.get(), "OUTPUT SOURCE", "OFFSET", 0.0), kIniOk);
  ASSERT_EQ(ini_put_int(ini.get(), "SAMPLE", "AUTO", 0), kIniOk);
  // An empty section made the way the settings store makes one.
  ASSERT_EQ(ini_put_string(ini.get(), "BACKDOOR", "DummyTagName", ""), kIniOk);
  ASSERT_EQ(ini_remove_item(ini.get(), "BACKDOOR", "DummyTagName"), 1);
  EXPECT_EQ(ini_section_exists(ini.get(), "BACKDOOR"), 1);

  EXPECT_EQ(ini_to_text(ini.get()),
            "[OUTPUT SOURCE]\r\nFREQUENCY = 1000\r\nOFFSET = 0\r\n\r\n"
            "[SAMPLE]\r\nAUTO = 0\r\n\r\n"
            "[BACKDOOR]\r\n\r\n");
}

TEST(IniText, EmptyStringIsTwoQuotesAndReadsBackEmpty) {
  IniText ini = fresh();
  ASSERT_EQ(ini_put_string(ini.get(), "S", "TEXT", ""), kIniOk);
  std::string text = ini_to_text(ini.get());
  EXPECT_EQ(text, "[S]\r\nTEXT = \"\"\r\n\r\n");
  IniText back = parse(text);
  char buf[8] = "xxxxxxx";
  EXPECT_EQ(ini_get_string_into_buffer(back.get(), "S", "TEXT", buf, sizeof buf), 1);
  EXPECT_STREQ(buf, "");
}

TEST(IniText, RealsUseShortestOf16SignificantDigits) {
  struct Case {
    double value;
    const char *text;
  } cases[] = {
      {1000.0, "1000"},
      {0.25, "0.25"},
      {1e-300, "1e-300"},
      {-0.0, "-0"},
      {0.0, "0"},
      {static_cast<double>(0.1f), "0.1000000014901161"},
      {1.0 / 3.0, "0.3333333333333333"},
      {1e16, "1e+16"},
      {123456789012345678.0, "1.234567890123457e+17"},
      {-2.5e-5, "-2.5e-05"},
      {50000.0, "50000"},
      {std::numeric_limits<double>::infinity(), "inf"},
      {-std::numeric_limits<double>::infinity(), "-inf"},
  };
  for (const Case &c : cases) {
    IniText ini = fresh();
    ASSERT_EQ(ini_put_double(ini.get(), "S", "V", c.value), kIniOk);
    EXPECT_EQ(ini_to_text(ini.get()), std::string("[S]\r\nV = ") + c.text + "\r\n\r\n") << c.text;
    double back = 12345.0;
    IniText again = parse(ini_to_text(ini.get()));
    ASSERT_EQ(ini_get_double(again.get(), "S", "V", &back), 1) << c.text;
    if (std::isinf(c.value)) {
      EXPECT_EQ(back, c.value);
    } else {
      EXPECT_NEAR(back, c.value, std::fabs(c.value) * 1e-15) << c.text;
      EXPECT_EQ(std::signbit(back), std::signbit(c.value)) << c.text;
    }
  }
}

// A locale whose decimal mark is a comma: an installed one, or one built for the test.
bool use_comma_locale(std::string *made_dir) {
  for (const char *l : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8"})
    if (std::setlocale(LC_NUMERIC, l) != nullptr) return true;
  char dir[] = "/tmp/ini_locale_XXXXXX";
  if (::mkdtemp(dir) == nullptr) return false;
  *made_dir = dir;
  std::string cmd = std::string("localedef -i de_DE -f UTF-8 ") + dir + "/de_DE.UTF-8 >/dev/null 2>&1";
  if (std::system(cmd.c_str()) != 0) return false;
  ::setenv("LOCPATH", dir, 1);
  return std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr;
}

TEST(IniText, NumbersIgnoreTheProcessLocale) {
  std::string made_dir;
  bool ok = use_comma_locale(&made_dir);
  char probe[16] = "";
  if (ok) std::snprintf(probe, sizeof probe, "%.2f", 0.25);
  IniText ini = fresh();
  ASSERT_EQ(ini_put_double(ini.get(), "S", "V", 0.25), kIniOk);
  std::string text = ini_to_text(ini.get());
  double back = 0;
  IniText again = parse(text);
  int rc = ini_get_double(again.get(), "S", "V", &back);
  std::setlocale(LC_NUMERIC, "C");
  ::unsetenv("LOCPATH");
  if (!made_dir.empty()) std::system(("rm -rf " + made_dir).c_str());
  if (!ok) GTEST_SKIP() << "no locale with a decimal comma installed, and localedef could not build one";
  ASSERT_STREQ(probe, "0,25");  // the locale really is in force for printf
  EXPECT_EQ(text, "[S]\r\nV = 0.25\r\n\r\n");
  EXPECT_EQ(rc, 1);
  EXPECT_EQ(back, 0.25);
}

TEST(IniText, IntegersSignedAndUnsigned) {
  IniText ini = fresh();
  ASSERT_EQ(ini_put_int(ini.get(), "S", "NEG", -1), kIniOk);
  ASSERT_EQ(ini_put_int(ini.get(), "S", "MIN", LONG_MIN), kIniOk);
  ASSERT_EQ(ini_put_uint(ini.get(), "S", "MAX", ULONG_MAX), kIniOk);
  ASSERT_EQ(ini_put_uint(ini.get(), "S", "BYTE", 300), kIniOk);
  std::string text = ini_to_text(ini.get());
  EXPECT_EQ(text, "[S]\r\nNEG = -1\r\nMIN = " + std::to_string(LONG_MIN) + "\r\nMAX = " + std::to_string(ULONG_MAX) +
                      "\r\nBYTE = 300\r\n\r\n");
  IniText back = parse(text);
  long l = 0;
  unsigned long u = 0;
  EXPECT_EQ(ini_get_int(back.get(), "S", "NEG", &l), 1);
  EXPECT_EQ(l, -1);
  EXPECT_EQ(ini_get_int(back.get(), "S", "MIN", &l), 1);
  EXPECT_EQ(l, LONG_MIN);
  EXPECT_EQ(ini_get_uint(back.get(), "S", "MAX", &u), 1);
  EXPECT_EQ(u, ULONG_MAX);
  EXPECT_EQ(ini_get_uint(back.get(), "S", "BYTE", &u), 1);
  EXPECT_EQ(u, 300u);
}

TEST(IniText, GettersConvertOrFail) {
  struct Case {
    const char *value;
    int int_rc;
    long int_value;
    int uint_rc;
    unsigned long uint_value;
    int real_rc;
    double real_value;
  } cases[] = {
      {"12", 1, 12, 1, 12, 1, 12.0},
      {"+12", 1, 12, 1, 12, 1, 12.0},
      {"-12", 1, -12, kIniErrConvert, 0, 1, -12.0},
      {"1.5", kIniErrConvert, 0, kIniErrConvert, 0, 1, 1.5},
      {".5", kIniErrConvert, 0, kIniErrConvert, 0, 1, 0.5},
      {"5.", kIniErrConvert, 0, kIniErrConvert, 0, 1, 5.0},
      {"-2.5E+3", kIniErrConvert, 0, kIniErrConvert, 0, 1, -2500.0},
      {"1e-400", kIniErrConvert, 0, kIniErrConvert, 0, 1, 0.0},
      {"1e400", kIniErrConvert, 0, kIniErrConvert, 0, kIniErrConvert, 0},
      {"Inf", kIniErrConvert, 0, kIniErrConvert, 0, 1, HUGE_VAL},
      {"+Inf", kIniErrConvert, 0, kIniErrConvert, 0, 1, HUGE_VAL},
      {"-Inf", kIniErrConvert, 0, kIniErrConvert, 0, 1, -HUGE_VAL},
      {"iNF", kIniErrConvert, 0, kIniErrConvert, 0, 1, HUGE_VAL},
      {"-INF", kIniErrConvert, 0, kIniErrConvert, 0, 1, -HUGE_VAL},
      {"Infinity", kIniErrConvert, 0, kIniErrConvert, 0, kIniErrConvert, 0},
      {"nan", kIniErrConvert, 0, kIniErrConvert, 0, kIniErrConvert, 0},
      {"0x1F", kIniErrConvert, 0, kIniErrConvert, 0, kIniErrConvert, 0},
      {"12abc", kIniErrConvert, 0, kIniErrConvert, 0, kIniErrConvert, 0},
      {"1,5", kIniErrConvert, 0, kIniErrConvert, 0, kIniErrConvert, 0},
      {"1e", kIniErrConvert, 0, kIniErrConvert, 0, kIniErrConvert, 0},
      {"--1", kIniErrConvert, 0, kIniErrConvert, 0, kIniErrConvert, 0},
      {"+", kIniErrConvert, 0, kIniErrConvert, 0, kIniErrConvert, 0},
      {"1 2", kIniErrConvert, 0, kIniErrConvert, 0, kIniErrConvert, 0},
      {"\"5\"", kIniErrConvert, 0, kIniErrConvert, 0, kIniErrConvert, 0},
      {"9223372036854775808", kIniErrConvert, 0, 1, 9223372036854775808ul, 1, 9223372036854775808.0},
      {"18446744073709551616", kIniErrConvert, 0, kIniErrConvert, 0, 1, 18446744073709551616.0},
  };
  for (const Case &c : cases) {
    IniText ini = parse(std::string("[S]\nV = ") + c.value + "\n");
    ASSERT_EQ(ini_item_exists(ini.get(), "S", "V"), 1) << c.value;
    long l = -777;
    unsigned long u = 777;
    double d = -777.0;
    EXPECT_EQ(ini_get_int(ini.get(), "S", "V", &l), c.int_rc) << c.value;
    EXPECT_EQ(ini_get_uint(ini.get(), "S", "V", &u), c.uint_rc) << c.value;
    EXPECT_EQ(ini_get_double(ini.get(), "S", "V", &d), c.real_rc) << c.value;
    // A failed conversion leaves the variable alone.
    EXPECT_EQ(l, c.int_rc == 1 ? c.int_value : -777) << c.value;
    EXPECT_EQ(u, c.uint_rc == 1 ? c.uint_value : 777u) << c.value;
    EXPECT_EQ(d, c.real_rc == 1 ? c.real_value : -777.0) << c.value;
  }
}

TEST(IniText, MissingItemOrSectionGivesZero) {
  IniText ini = parse("[S]\nA = 1\n");
  long l = 5;
  double d = 5;
  char buf[4] = "abc";
  EXPECT_EQ(ini_get_int(ini.get(), "S", "B", &l), 0);
  EXPECT_EQ(ini_get_double(ini.get(), "T", "A", &d), 0);
  EXPECT_EQ(ini_get_string_into_buffer(ini.get(), "T", "A", buf, sizeof buf), 0);
  EXPECT_EQ(l, 5);
  EXPECT_STREQ(buf, "abc");
  EXPECT_EQ(ini_get_int(nullptr, "S", "A", &l), kIniErrArgument);
  EXPECT_EQ(ini_get_int(ini.get(), "S", "A", nullptr), kIniErrArgument);
}

TEST(IniText, StringEscapes) {
  struct Case {
    std::string value;
    std::string written;
  } cases[] = {
      {"plain text", "\"plain text\""},
      {"say \"hi\"", "\"say \\\"hi\\\"\""},
      {"C:\\dir\\f.ini", "\"C:\\\\dir\\\\f.ini\""},
      {"a\tb\nc\rd", "\"a\\tb\\nc\\rd\""},
      {std::string("\x01\x1f\x7f", 3), "\"\\x01\\x1f\\x7f\""},
      {std::string("nul\0end", 7), "\"nul\\x00end\""},
      {"caf\xc3\xa9 \xb5s \xff", "\"caf\xc3\xa9 \xb5s \xff\""},
      {"  padded  ", "\"  padded  \""},
      {"; not a comment = [x]", "\"; not a comment = [x]\""},
      {"\\x41 stays", "\"\\\\x41 stays\""},
  };
  for (const Case &c : cases) {
    IniText ini = fresh();
    ASSERT_EQ(ini_put_string(ini.get(), "S", "T", c.value), kIniOk);
    std::string text = ini_to_text(ini.get());
    EXPECT_EQ(text, "[S]\r\nT = " + c.written + "\r\n\r\n");
    IniText back = parse(text);
    EXPECT_EQ(get_string(back.get(), "S", "T"), c.value) << c.written;
  }
}

TEST(IniText, ReadingUndoesEscapesLeniently) {
  IniText ini = parse(
      "[S]\n"
      "A = \"\\q \\x4 \\x4g \\X41 \\x4A\"\n"
      "B = \"ends with \\\"\n"
      "C = unquoted \\n stays\n"
      "D = \"\n"
      "E = \"inner \" quote\"\n");
  EXPECT_EQ(get_string(ini.get(), "S", "A"), "\\q \\x4 \\x4g \\X41 J");
  EXPECT_EQ(get_string(ini.get(), "S", "B"), "ends with \\");
  EXPECT_EQ(get_string(ini.get(), "S", "C"), "unquoted \\n stays");
  EXPECT_EQ(get_string(ini.get(), "S", "D"), "\"");
  EXPECT_EQ(get_string(ini.get(), "S", "E"), "inner \" quote");
}

TEST(IniText, StringIntoBufferIsBounded) {
  IniText ini = parse("[S]\nT = \"abcdef\"\n");
  char buf[8];
  std::memset(buf, '#', sizeof buf);
  bool truncated = false;
  EXPECT_EQ(ini_get_string_into_buffer(ini.get(), "S", "T", buf, 4, &truncated), 1);
  EXPECT_STREQ(buf, "abc");
  EXPECT_TRUE(truncated);
  EXPECT_EQ(buf[4], '#');
  EXPECT_EQ(ini_get_string_into_buffer(ini.get(), "S", "T", buf, 7, &truncated), 1);
  EXPECT_STREQ(buf, "abcdef");
  EXPECT_FALSE(truncated);
  EXPECT_EQ(ini_get_string_into_buffer(ini.get(), "S", "T", buf, 1, &truncated), 1);
  EXPECT_STREQ(buf, "");
  EXPECT_TRUE(truncated);
  EXPECT_EQ(ini_get_string_into_buffer(ini.get(), "S", "T", buf, 0), kIniErrArgument);
  EXPECT_EQ(ini_get_string_into_buffer(ini.get(), "S", "T", nullptr, 8), kIniErrArgument);
}

TEST(IniText, BlanksAroundEqualsCommentsAndItemsBeforeFirstSection) {
  IniText ini = parse(
      "EARLY = 1\r\n"
      "; comment = 3\r\n"
      "[OUTPUT SOURCE]\r\n"
      "  FREQUENCY=2000  \r\n"
      "\t  ; indented comment\r\n"
      "\tOFFSET   =   -1.5\t\r\n"
      ";[OTHER]\r\n"
      "AMPLITUDE = 10 ; not a comment here\r\n");
  EXPECT_EQ(ini_section_names(ini.get()), std::vector<std::string>{"OUTPUT SOURCE"});
  EXPECT_EQ(ini_item_tags(ini.get(), "OUTPUT SOURCE"),
            (std::vector<std::string>{"FREQUENCY", "OFFSET", "AMPLITUDE"}));
  double d = 0;
  EXPECT_EQ(ini_get_double(ini.get(), "OUTPUT SOURCE", "FREQUENCY", &d), 1);
  EXPECT_EQ(d, 2000.0);
  EXPECT_EQ(ini_get_double(ini.get(), "OUTPUT SOURCE", "OFFSET", &d), 1);
  EXPECT_EQ(d, -1.5);
  EXPECT_EQ(get_string(ini.get(), "OUTPUT SOURCE", "AMPLITUDE"), "10 ; not a comment here");
}

TEST(IniText, EightyCharactersStayOnOneLineEightyOneSplit) {
  IniText ini = fresh();
  const std::string s80(80, 'a'), s81 = std::string(80, 'b') + "c";
  ASSERT_EQ(ini_put_string(ini.get(), "S", "A", s80), kIniOk);
  ASSERT_EQ(ini_put_string(ini.get(), "S", "B", s81), kIniOk);
  std::string text = ini_to_text(ini.get());
  EXPECT_EQ(text, "[S]\r\nA = \"" + s80 + "\"\r\nB Line0001 = \"" + std::string(80, 'b') +
                      "\"\r\nB Line0002 = \"c\"\r\n\r\n");
  IniText back = parse(text);
  EXPECT_EQ(items_of(back.get(), "S"), (Items{{"A", s80}, {"B", s81}}));
}

TEST(IniText, DcSweepListOfTenPairsTakesThreeLines) {
  std::string list;
  for (int i = 0; i < 10; ++i) list += "0.000000 0.000000 ";
  ASSERT_EQ(list.size(), 180u);
  IniText ini = fresh();
  ASSERT_EQ(ini_put_string(ini.get(), "BACKDOOR", "DCSW_LIST", list), kIniOk);
  std::string text = ini_to_text(ini.get());
  EXPECT_NE(text.find("DCSW_LIST Line0001 = \"" + list.substr(0, 80) + "\"\r\n"), std::string::npos);
  EXPECT_NE(text.find("DCSW_LIST Line0002 = \"" + list.substr(80, 80) + "\"\r\n"), std::string::npos);
  EXPECT_NE(text.find("DCSW_LIST Line0003 = \"" + list.substr(160) + "\"\r\n"), std::string::npos);
  EXPECT_EQ(text.find("Line0004"), std::string::npos);
  IniText back = parse(text);
  EXPECT_EQ(items_of(back.get(), "BACKDOOR"), (Items{{"DCSW_LIST", list}}));
}

TEST(IniText, EscapeCutByPieceBoundaryJoinsBack) {
  // The escaped text is cut after 80 characters: right inside "\n" and "\x01".
  const std::string a = std::string(79, 'a') + "\n" + "z";
  const std::string b = std::string(78, 'b') + "\x01" + "z";
  IniText ini = fresh();
  ASSERT_EQ(ini_put_string(ini.get(), "S", "A", a), kIniOk);
  ASSERT_EQ(ini_put_string(ini.get(), "S", "B", b), kIniOk);
  std::string text = ini_to_text(ini.get());
  EXPECT_NE(text.find("A Line0001 = \"" + std::string(79, 'a') + "\\\"\r\n"), std::string::npos);
  IniText back = parse(text);
  EXPECT_EQ(items_of(back.get(), "S"), (Items{{"A", a}, {"B", b}}));
}

TEST(IniText, JoinRules) {
  struct Case {
    const char *name;
    std::string body;
    Items expected;
  } cases[] = {
      {"two pieces", "A Line0001 = \"ab\"\nA Line0002 = \"cd\"\n", {{"A", "abcd"}}},
      {"single piece one", "A Line0001 = \"ab\"\n", {{"A", "ab"}}},
      {"file order, not number order", "A Line0001 = x\nA Line0003 = y\nA Line0002 = z\n", {{"A", "xyz"}}},
      {"any number of digits", "A Line1 = x\nA Line00002 = y\n", {{"A", "xy"}}},
      {"piece one starts a new run", "A Line0001 = x\nA Line0002 = y\nB Line0001 = z\nB Line0002 = w\n",
       {{"A", "xy"}, {"B", "zw"}}},
      {"a non-piece ends the run", "A Line0001 = x\nC = 1\nA Line0002 = y\n",
       {{"A", "x"}, {"C", "1"}, {"A Line0002", "y"}}},
      {"a piece of another tag ends the run", "A Line0001 = x\nB Line0002 = y\n",
       {{"A", "x"}, {"B Line0002", "y"}}},
      {"piece without a run stays", "A Line0002 = y\n", {{"A Line0002", "y"}}},
      {"not only digits", "A Line0001x = v\nA Line = w\nLine0001 = u\n",
       {{"A Line0001x", "v"}, {"A Line", "w"}, {"Line0001", "u"}}},
      {"blanks before Line", "A  Line0001 = x\nA Line0002 = y\n", {{"A", "xy"}}},
      {"first Line decides", "A Line B Line0001 = v\n", {{"A Line B Line0001", "v"}}},
      {"quoted and unquoted pieces", "A Line0001 = \"a b\"\nA Line0002 = c\n", {{"A", "a bc"}}},
      {"blank inside quotes kept", "A Line0001 = \"a \"\nA Line0002 = \" b\"\n", {{"A", "a  b"}}},
      {"joined item replaces an earlier one", "A = old\nB = 2\nA Line0001 = n\nA Line0002 = ew\n",
       {{"A", "new"}, {"B", "2"}}},
      {"comments between pieces", "A Line0001 = x\n; note\n\nA Line0002 = y\n", {{"A", "xy"}}},
  };
  for (const Case &c : cases) {
    IniText ini = parse("[S]\n" + c.body);
    EXPECT_EQ(items_of(ini.get(), "S"), c.expected) << c.name;
  }
}

TEST(IniText, PiecesInDifferentSectionsAreNotJoined) {
  IniText ini = parse("[S]\nA Line0001 = x\n[T]\nA Line0002 = y\n");
  EXPECT_EQ(items_of(ini.get(), "S"), (Items{{"A", "x"}}));
  EXPECT_EQ(items_of(ini.get(), "T"), (Items{{"A Line0002", "y"}}));
}

TEST(IniText, MalformedLines) {
  const std::string line255 = "K = " + std::string(251, 'v');
  const std::string line256 = "L = " + std::string(252, 'v');
  struct Case {
    const char *name;
    std::string body;
    std::vector<std::string> sections;
    Items first;  // items of the first section
  } cases[] = {
      {"section without closing bracket", "[A]\nX = 1\n[B\nY = 2\n", {"A"}, {{"X", "1"}, {"Y", "2"}}},
      {"text after the bracket", "[A]\n[B] x\nY = 2\n", {"A"}, {{"Y", "2"}}},
      {"blanks after the bracket", "[A]  \t\nY = 2\n", {"A"}, {{"Y", "2"}}},
      {"empty name", "[A]\n[  ]\nY = 2\n", {"A"}, {{"Y", "2"}}},
      {"name up to the last bracket", "[a]b]\nY = 2\n", {"a]b"}, {{"Y", "2"}}},
      {"blanks around the name", "[  name  ]\nY = 2\n", {"name"}, {{"Y", "2"}}},
      {"no equals sign", "[A]\nnovalue\nY = 2\n", {"A"}, {{"Y", "2"}}},
      {"empty tag", "[A]\n = 5\n=6\nY = 2\n", {"A"}, {{"Y", "2"}}},
      {"empty value", "[A]\nT =\nU =   \t\nY = 2\n", {"A"}, {{"Y", "2"}}},
      {"equals sign in the value", "[A]\nT = a = b\n", {"A"}, {{"T", "a = b"}}},
      {"line of 255 characters", "[A]\n" + line255 + "\n", {"A"}, {{"K", std::string(251, 'v')}}},
      {"line of 256 characters is dropped whole", "[A]\n" + line256 + "\nY = 2\n", {"A"}, {{"Y", "2"}}},
      {"long line does not open a section", "[A]\n[" + std::string(300, 'x') + "]\nY = 2\n", {"A"}, {{"Y", "2"}}},
      {"LF endings and no final line end", "[A]\nY = 2", {"A"}, {{"Y", "2"}}},
      {"CR inside a line", "[A]\nY = 2\r3\r\n", {"A"}, {{"Y", "2\r3"}}},
      {"same item twice: last value, first place", "[A]\nY = 1\nZ = 0\nY = 2\n", {"A"}, {{"Y", "2"}, {"Z", "0"}}},
      {"same section twice", "[A]\nY = 1\n[B]\nQ = 0\n[A]\nZ = 2\n", {"A", "B"}, {{"Y", "1"}, {"Z", "2"}}},
      {"letter case of names ignored", "[A]\nY = 1\n[a]\ny = 2\n", {"A"}, {{"Y", "2"}}},
      {"overlong tag", "[A]\n" + std::string(kIniMaxName + 1, 't') + " = 1\nY = 2\n", {"A"}, {{"Y", "2"}}},
      {"bytes of every kind", "[A]\n\x01\x02\xff\xfe=\x80\x81\nY = 2\n", {"A"},
       {{"\x01\x02\xff\xfe", "\x80\x81"}, {"Y", "2"}}},
      {"UTF-8 byte order mark", "\xef\xbb\xbf[A]\nY = 2\n", {"A"}, {{"Y", "2"}}},
      {"only junk", "\xef\xbb\xbf\n\xef\xbb\xbf\n]]]\n===\n", {}, {}},
  };
  for (const Case &c : cases) {
    IniText ini = parse(c.body);
    EXPECT_EQ(ini_section_names(ini.get()), c.sections) << c.name;
    if (!c.sections.empty()) {
      EXPECT_EQ(items_of(ini.get(), c.sections.front()), c.first) << c.name;
    }
  }
}

TEST(IniText, NulByteRejectsTheTextAndKeepsTheObject) {
  IniText ini = parse("[A]\nY = 1\n");
  EXPECT_EQ(ini_read_from_text(ini.get(), std::string("[B]\nZ = 1\0\n", 11)), kIniErrBinary);
  EXPECT_EQ(ini_section_names(ini.get()), std::vector<std::string>{"A"});
  EXPECT_EQ(ini_read_from_text(nullptr, "[A]"), kIniErrArgument);
}

TEST(IniText, RoundTripOfManyValues) {
  std::mt19937 rng(20240611);
  IniText ini = fresh();
  struct Expect {
    std::string section, tag;
    int kind;  // 0 long, 1 unsigned long, 2 double, 3 string
    long l;
    unsigned long u;
    double d;
    std::string s;
  };
  std::vector<Expect> expected;
  std::uniform_int_distribution<int> byte(1, 255), len(0, 400), kind(0, 3);
  for (int i = 0; i < 400; ++i) {
    Expect e{"SECTION " + std::to_string(i % 7), "TAG " + std::to_string(i), kind(rng), 0, 0, 0.0, {}};
    switch (e.kind) {
      case 0: e.l = static_cast<long>(rng()) * (i % 2 ? -1 : 1) * 1234567; break;
      case 1: e.u = (static_cast<unsigned long>(rng()) << 32) | rng(); break;
      case 2: e.d = std::ldexp(static_cast<double>(rng()) / 4294967296.0 - 0.5, static_cast<int>(rng() % 2000) - 1000); break;
      default:
        for (int n = len(rng); n > 0; --n) e.s += static_cast<char>(byte(rng));
        if (i % 5 == 0) e.s += "\"\\\t\n\r\x01";
    }
    int rc = e.kind == 0   ? ini_put_int(ini.get(), e.section, e.tag, e.l)
             : e.kind == 1 ? ini_put_uint(ini.get(), e.section, e.tag, e.u)
             : e.kind == 2 ? ini_put_double(ini.get(), e.section, e.tag, e.d)
                           : ini_put_string(ini.get(), e.section, e.tag, e.s);
    ASSERT_EQ(rc, kIniOk);
    expected.push_back(e);
  }
  const std::string text = ini_to_text(ini.get());
  IniText back = parse(text);
  for (const Expect &e : expected) {
    long l = 0;
    unsigned long u = 0;
    double d = 0;
    switch (e.kind) {
      case 0: ASSERT_EQ(ini_get_int(back.get(), e.section, e.tag, &l), 1); EXPECT_EQ(l, e.l); break;
      case 1: ASSERT_EQ(ini_get_uint(back.get(), e.section, e.tag, &u), 1); EXPECT_EQ(u, e.u); break;
      case 2:
        ASSERT_EQ(ini_get_double(back.get(), e.section, e.tag, &d), 1);
        EXPECT_NEAR(d, e.d, std::fabs(e.d) * 1e-15) << e.tag;
        break;
      default: EXPECT_EQ(get_string(back.get(), e.section, e.tag), e.s) << e.tag;
    }
  }
  // The text written from what was read is the same text: nothing is lost or reordered.
  EXPECT_EQ(ini_to_text(back.get()), text);
  // No written line is too long for the reader.
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find("\r\n", start);
    ASSERT_NE(end, std::string::npos);
    EXPECT_LE(end - start, kIniMaxLine);
    start = end + 2;
  }
}

TEST(IniText, PutKeepsPlaceRemoveThenPutMovesToEnd) {
  IniText ini = fresh();
  ASSERT_EQ(ini_put_int(ini.get(), "S", "A", 1), kIniOk);
  ASSERT_EQ(ini_put_int(ini.get(), "S", "B", 2), kIniOk);
  ASSERT_EQ(ini_put_int(ini.get(), "S", "A", 3), kIniOk);
  EXPECT_EQ(ini_item_tags(ini.get(), "S"), (std::vector<std::string>{"A", "B"}));
  ASSERT_EQ(ini_remove_item(ini.get(), "S", "A"), 1);
  EXPECT_EQ(ini_remove_item(ini.get(), "S", "A"), 0);
  EXPECT_EQ(ini_remove_item(ini.get(), "T", "A"), 0);
  ASSERT_EQ(ini_put_string(ini.get(), "S", "A", "x"), kIniOk);
  EXPECT_EQ(ini_item_tags(ini.get(), "S"), (std::vector<std::string>{"B", "A"}));
  EXPECT_EQ(ini_item_exists(ini.get(), "s", "a"), 1);
  EXPECT_EQ(ini_item_exists(ini.get(), "S", "C"), 0);
  EXPECT_EQ(ini_section_exists(ini.get(), "T"), 0);
}

TEST(IniText, NamesThatCannotBeReadBackAreRefused) {
  const std::string bad_sections[] = {"", " lead", "trail ", "a\nb", "a\rb", std::string(kIniMaxName + 1, 's'),
                                      std::string("a\0b", 3)};
  const std::string bad_tags[] = {"", "a=b", "[x", ";x", " lead", "trail\t", "a\nb",
                                  std::string(kIniMaxName + 1, 't')};
  IniText ini = fresh();
  for (const std::string &s : bad_sections) EXPECT_EQ(ini_put_int(ini.get(), s, "T", 1), kIniErrArgument) << s;
  for (const std::string &t : bad_tags) EXPECT_EQ(ini_put_string(ini.get(), "S", t, "v"), kIniErrArgument) << t;
  EXPECT_TRUE(ini_section_names(ini.get()).empty());
  EXPECT_EQ(ini_put_int(ini.get(), std::string(kIniMaxName, 's'), std::string(kIniMaxName, 't'), 1), kIniOk);
  EXPECT_EQ(ini_put_int(nullptr, "S", "T", 1), kIniErrArgument);
}

TEST(IniText, LongestNamesStillGiveReadableLines) {
  IniText ini = fresh();
  const std::string tag(kIniMaxName, 't'), value(500, '"');
  ASSERT_EQ(ini_put_string(ini.get(), std::string(kIniMaxName, 's'), tag, value), kIniOk);
  IniText back = parse(ini_to_text(ini.get()));
  EXPECT_EQ(get_string(back.get(), std::string(kIniMaxName, 's'), tag), value);
}

TEST(IniText, AutomaticSortingOrdersSectionsAndItems) {
  IniText ini = ini_new(true);
  ASSERT_TRUE(ini);
  ASSERT_EQ(ini_put_int(ini.get(), "b", "z", 1), kIniOk);
  ASSERT_EQ(ini_put_int(ini.get(), "B", "A", 2), kIniOk);
  ASSERT_EQ(ini_put_int(ini.get(), "a", "m", 3), kIniOk);
  ASSERT_EQ(ini_put_int(ini.get(), "C", "x", 4), kIniOk);
  EXPECT_EQ(ini_section_names(ini.get()), (std::vector<std::string>{"a", "b", "C"}));
  EXPECT_EQ(ini_item_tags(ini.get(), "b"), (std::vector<std::string>{"A", "z"}));
  long l = 0;
  EXPECT_EQ(ini_get_int(ini.get(), "B", "Z", &l), 1);
  EXPECT_EQ(l, 1);
}

TEST(IniText, DisposeReleasesTheObject) {
  IniText ini = fresh();
  ASSERT_EQ(ini_put_int(ini.get(), "S", "T", 1), kIniOk);
  ini_dispose(ini);
  EXPECT_FALSE(ini);
  ini_dispose(ini);
  EXPECT_EQ(ini_section_exists(ini.get(), "S"), 0);
}

}  // namespace
