#include <gtest/gtest.h>

#include <cmath>

#include "core/cli/JsonWriter.h"

namespace tessarin {
namespace {

using nlohmann::json;

TEST(JsonWriter, CompactIsSortedWithEscapedSlashesAndWholeDoublesWithoutFraction) {
    const json value = {{"width", 300.0}, {"path", "/tmp/a b/ü.png"}, {"f", 0.5}, {"error", "a \"b\"\n\\"}};
    EXPECT_EQ(JsonWriter::compact(value),
              R"({"error":"a \"b\"\n\\","f":0.5,"path":"\/tmp\/a b\/ü.png","width":300})");
    // Invalid UTF-8 is replaced, not fatal.
    EXPECT_EQ(JsonWriter::compact({{"title", std::string("a\xff" "b")}}), "{\"title\":\"a\xef\xbf\xbd" "b\"}");
}

TEST(JsonWriter, NonFiniteNumbersCannotBeEncoded) {
    EXPECT_FALSE(JsonWriter::compact({{"n", std::nan("")}}));
    EXPECT_FALSE(JsonWriter::pretty({{"list", {1, INFINITY}}}));
}

TEST(JsonWriter, PrettyLayout) {
    EXPECT_EQ(JsonWriter::pretty({{"list", json::array({json{{"b", 1.0}}, json::object()})}, {"none", json::array()}}),
              std::string("{\n  \"list\" : [\n    {\n      \"b\" : 1\n    },\n    {}\n  ],\n  \"none\" : []\n}"));
}

}  // namespace
}  // namespace tessarin
