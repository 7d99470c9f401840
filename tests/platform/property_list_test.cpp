#include <gtest/gtest.h>

#include "platform/property_list.h"

using sonara::Array;
using sonara::Dict;
using sonara::Value;
using sonara::platform::parsePropertyList;
using sonara::platform::toXmlPropertyList;

TEST(PropertyList, WritesAndReadsBackUnchanged) {
  Dict d;
  d["Tracks"] = Value(Array{Value(Dict{{"Track ID", Value(1)}, {"Name", Value("A & <B>")}})});
  d["Major Version"] = Value(1);
  d["Ratio"] = Value(0.25);
  Value root(d);
  auto back = parsePropertyList(toXmlPropertyList(root));
  ASSERT_TRUE(back.has_value());
  EXPECT_EQ(*back, root);
}

TEST(PropertyList, RejectsMalformedText) {
  EXPECT_FALSE(parsePropertyList("").has_value());
  EXPECT_FALSE(parsePropertyList("not xml at all").has_value());
  EXPECT_FALSE(parsePropertyList("<plist><dict><key>k</key>").has_value());
}

TEST(PropertyList, RefusesAbsurdNesting) {
  std::string deep = "<?xml version=\"1.0\"?><plist version=\"1.0\">";
  for (int i = 0; i < 200; ++i) deep += "<array>";
  for (int i = 0; i < 200; ++i) deep += "</array>";
  deep += "</plist>";
  EXPECT_FALSE(parsePropertyList(deep).has_value());
}

TEST(PropertyList, NulCharactersAreRefusedNotFatal) {
  std::string raw = "<?xml version=\"1.0\"?><plist version=\"1.0\"><string>a";
  raw.push_back('\0');
  raw += "b</string></plist>";
  EXPECT_FALSE(parsePropertyList(raw).has_value());
  EXPECT_FALSE(parsePropertyList("<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>k&#x00;</key>"
                                 "<string>v</string></dict></plist>")
                   .has_value());
  auto fine = parsePropertyList("<?xml version=\"1.0\"?><plist version=\"1.0\"><string>&#65;&#x20;</string></plist>");
  ASSERT_TRUE(fine.has_value());
}

// Megabytes of open tags: libplist would recurse once a level while parsing and
// freeing them and run out of stack; they are refused before it sees them.
TEST(PropertyList, MegabytesOfNestedTagsAreRefusedBeforeParsing) {
  std::string deep = "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>k</key>";
  for (int i = 0; i < 200000; ++i) deep += "<array>";
  std::string why;
  EXPECT_FALSE(parsePropertyList(deep, &why).has_value());
  EXPECT_EQ(why, "its arrays and dictionaries are nested more than 64 deep");
  why.clear();
  EXPECT_FALSE(sonara::platform::parsePropertyListDictionary(deep, &why).has_value());
  EXPECT_FALSE(why.empty());
  // Empty containers and nesting as deep as allowed are read.
  std::string fine = "<?xml version=\"1.0\"?><plist version=\"1.0\"><array>";
  for (int i = 0; i < 60; ++i) fine += "<array><dict/><array/>";
  for (int i = 0; i < 60; ++i) fine += "</array>";
  fine += "</array></plist>";
  EXPECT_TRUE(parsePropertyList(fine).has_value());
}

// A file name from an old 8-bit system is not UTF-8; written raw it would make the
// whole file malformed XML. Its bytes are written as the Latin-1 characters.
TEST(PropertyList, TextThatIsNotUtf8IsWrittenAsLatin1) {
  Dict d;
  d["caf\xE9"] = Value("R\xE9sum\xE9 \xE2\x80\x93 ok");
  const std::string xml = toXmlPropertyList(Value(d));
  auto back = parsePropertyList(xml);
  ASSERT_TRUE(back.has_value());
  ASSERT_TRUE(back->isDict());
  EXPECT_EQ((*back)["caf\xC3\xA9"].asString(), "R\xC3\xA9sum\xC3\xA9 \xE2\x80\x93 ok");
}
