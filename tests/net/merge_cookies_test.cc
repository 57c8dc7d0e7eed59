// tests/net/merge_cookies_test.cc
#include "net/merge_cookies.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace tavrel {
namespace {

TEST(MergeCookies, MergesReceivedIntoKept) {
  struct Case {
    const char* name;
    Text cookies;
    Text received;
    Text merged;          // the new cookies, also returned
    Text received_after;  // received without blanks
  } const cases[] = {
      {"received first, then old names not received", "a=1; b=2", "b=3; c=4", "b=3; c=4; a=1",
       "b=3;c=4"},
      {"received deletion drops the name", "sid=1; lang=cn", "sid=deleted", "lang=cn",
       "sid=deleted"},
      {"old deletion is dropped too", "sid=deleted; lang=cn", "", "lang=cn", ""},
      {"exact repeats once", "", "a=1; a=1", "a=1", "a=1;a=1"},
      {"same name, other value: both stay", "", "a=1; a=2", "a=1; a=2", "a=1;a=2"},
      {"old repeats of a name: the first", "a=1; a=2", "", "a=1", ""},
      {"old never replaces received", "a=1", "a=2; a=3", "a=2; a=3", "a=2;a=3"},
      {"blanks inside items go", "x = 1", "", "x=1", ""},
      {"blanks in received values go", "", " y = a b ;z=1 ", "y=ab; z=1", "y=ab;z=1"},
      {"names differ by case", "A=1", "a=2", "a=2; A=1", "a=2"},
      {"item without = is a name", "flag; k=v", "flag=1", "flag=1; k=v", "flag=1"},
      {"received item without = replaces by name", "flag=1", "flag", "flag", "flag"},
      {"empty piece survives once", "", "a=1;;b=2", "a=1; ; b=2", "a=1;;b=2"},
      {"empty pieces survive once", "", "a=1;;;b=2", "a=1; ; b=2", "a=1;;;b=2"},
      {"empty piece in the old list", "a=1;;b=2", "", "a=1; ; b=2", ""},
      {"separator at the start", ";a=1", "", "; a=1", ""},
      {"trailing separator adds nothing", "a=1;", "", "a=1", ""},
      {"only a separator", ";", "", "", ""},
      {"both empty", "", "", "", ""},
      {"only blanks", " ", "\xA1\xA1", "", ""},
      {"upper-case DELETED is a value", "", "sid=DELETED", "sid=DELETED", "sid=DELETED"},
      {"=deleted alone goes", "", "=deleted; a=1", "a=1", "=deleted;a=1"},
      {"deleted is the whole suffix", "", "a=undeleted; b=deletedx", "a=undeleted; b=deletedx",
       "a=undeleted;b=deletedx"},
      {"item without = ending in deleted stays", "", "deleted", "deleted", "deleted"},
      {"value with =", "a=b=c", "", "a=b=c", ""},
      {"equal items across both lists once", "a=1; b=2", "b=2", "b=2; a=1", "b=2"},
      // The full-width space is a blank; the second byte of a double-byte
      // character that equals A1 is not the start of one.
      {"full-width space in a value", "n=\xD6\xD0\xA1\xA1\xCE\xC4", "", "n=\xD6\xD0\xCE\xC4", ""},
      {"double-byte character ending in A1", "n=\xB0\xA1\xA1\xA1x", "", "n=\xB0\xA1x", ""},
      {"tabs and line breaks stay", "a=1\t", "b=\r\n2", "b=\r\n2; a=1\t", "b=\r\n2"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Text cookies = c.cookies;
    Text received = c.received;
    const Text returned = MergeCookies(cookies, received);
    EXPECT_EQ(cookies, c.merged);
    EXPECT_EQ(received, c.received_after);
    EXPECT_EQ(returned, c.merged);
  }
}

TEST(MergeCookies, MergingTwiceChangesNothing) {
  Text cookies = "a=1; b=2; c=3";
  Text received = "b=9; d=4";
  (void)MergeCookies(cookies, received);
  const Text once = cookies;
  (void)MergeCookies(cookies, received);
  EXPECT_EQ(cookies, once);
}

TEST(CookieName, NameOfOneItem) {
  struct Case {
    Text item;
    Text name;
  } const cases[] = {
      {"a=1", "a"},
      {"a=1=2", "a"},
      {"flag", "flag"},
      {"=1", ""},
      {"", ""},
      {"=", ""},
      {" a =1", "a"},
      {"\xA1\xA1n\xA1\xA1=1", "n"},
      {"\xD6\xD0=1", "\xD6\xD0"},
      {"A=1", "A"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.item);
    EXPECT_EQ(CookieName(c.item), c.name);
  }
}

TEST(ListHasCookieName, ComparesNamesExactly) {
  const TextArray list = {"a=1", "flag", "=x", "B=2"};
  EXPECT_TRUE(ListHasCookieName(list, "a"));
  EXPECT_TRUE(ListHasCookieName(list, "flag"));
  EXPECT_TRUE(ListHasCookieName(list, ""));
  EXPECT_TRUE(ListHasCookieName(list, "B"));
  EXPECT_FALSE(ListHasCookieName(list, "b"));
  EXPECT_FALSE(ListHasCookieName(list, "a=1"));
  EXPECT_FALSE(ListHasCookieName({}, ""));
}

TEST(JoinDistinct, KeepsFirstOccurrences) {
  struct Case {
    const char* name;
    Text text;
    Text separator;
    Text joined;
  } const cases[] = {
      {"repeats", "a; b; a; c; b", "; ", "a; b; c"},
      {"no repeats", "a; b", "; ", "a; b"},
      {"empty", "", "; ", ""},
      {"one piece", "a", "; ", "a"},
      {"trailing separator", "a; b; ", "; ", "a; b"},
      {"leading separator keeps an empty piece", "; a", "; ", "; a"},
      {"empty pieces once", "a; ; ; b", "; ", "a; ; b"},
      {"only separators", "; ; ", "; ", ""},
      {"comparison is exact", "a; A; a", "; ", "a; A"},
      {"other separator", "x,y,x", ",", "x,y"},
      {"separator without its blank is not one", "a;b; a;b", "; ", "a;b"},
      {"empty separator", "aa", "", "aa"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(JoinDistinct(c.text, c.separator), c.joined);
  }
}

TEST(IndexOfText, FirstEqualElement) {
  const TextArray array = {"a", "", "b", "a"};
  EXPECT_EQ(IndexOfText(array, "a"), 1);
  EXPECT_EQ(IndexOfText(array, ""), 2);
  EXPECT_EQ(IndexOfText(array, "b"), 3);
  EXPECT_EQ(IndexOfText(array, "A"), -1);
  EXPECT_EQ(IndexOfText(array, "a "), -1);
  EXPECT_EQ(IndexOfText({}, ""), -1);
}

}  // namespace
}  // namespace tavrel
