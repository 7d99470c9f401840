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
