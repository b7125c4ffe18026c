#include <gtest/gtest.h>

#include <cmath>

#include "core/cli/JsonWriter.h"

namespace tessarin {
namespace {

using nlohmann::json;

TEST(JsonWriter, CompactSortedWithEscapedSlashes) {
    const json value = {{"width", 300}, {"path", "/tmp/a b/ü.png"}, {"bbox", {0, 0, 300, 200}}, {"height", 200}};
    EXPECT_EQ(JsonWriter::compact(value),
              R"({"bbox":[0,0,300,200],"height":200,"path":"\/tmp\/a b\/ü.png","width":300})");
}

TEST(JsonWriter, EscapesControlCharactersAndQuotes) {
    EXPECT_EQ(JsonWriter::compact({{"error", "a \"b\"\n\\"}}), R"({"error":"a \"b\"\n\\"})");
}

TEST(JsonWriter, WholeDoublesHaveNoFraction) {
    EXPECT_EQ(JsonWriter::compact({{"n", 300.0}, {"f", 0.5}}), R"({"f":0.5,"n":300})");
}

TEST(JsonWriter, NonFiniteNumbersCannotBeEncoded) {
    EXPECT_FALSE(JsonWriter::compact({{"n", std::nan("")}}));
    EXPECT_FALSE(JsonWriter::pretty({{"list", {1, INFINITY}}}));
}

TEST(JsonWriter, InvalidUtf8IsReplacedNotFatal) {
    const auto text = JsonWriter::compact({{"title", std::string("a\xff" "b")}});
    ASSERT_TRUE(text);
    EXPECT_EQ(*text, "{\"title\":\"a\xef\xbf\xbd" "b\"}");
}

TEST(JsonWriter, PrettyUsesTwoSpacesAndSpacedColons) {
    const json value = {{"windows", json::array()},
                        {"displays", {{{"index", 0}, {"displayID", 1}, {"width", 1920}, {"height", 1080}}}}};
    EXPECT_EQ(JsonWriter::pretty(value), std::string(R"({
  "displays" : [
    {
      "displayID" : 1,
      "height" : 1080,
      "index" : 0,
      "width" : 1920
    }
  ],
  "windows" : []
})"));
}

}  // namespace
}  // namespace tessarin
