// Annotation documents: error texts, defaults, aliases, the bottom-left space, hostile input.

#include <gtest/gtest.h>

#include <chrono>
#include <random>

#include "FakeTextMeasurer.h"
#include "core/annotation/AnnotationSpec.h"
#include "core/annotation/RectAnnotations.h"
#include "core/annotation/SegmentAnnotations.h"

namespace tessarin {
namespace {

std::span<const uint8_t> bytesOf(const std::string& text) {
    return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

AnnotationSpec decode(const std::string& json) { return AnnotationSpec::decode(bytesOf(json)); }

std::string errorOf(const std::string& json) {
    try {
        decode(json);
    } catch (const AnnotationSpecError& e) {
        return e.what();
    }
    return "(decoded)";
}

std::string shapes(const std::string& list) { return R"({"shapes":[)" + list + "]}"; }

TEST(AnnotationSpec, ErrorTexts) {
    const std::pair<std::string, std::string> cases[] = {
        {R"({"type":"star"})", R"(Unknown shape type: "star")"},
        {R"({"type":"star","color":"nope"})", R"(Invalid color: "nope" (expected #RRGGBB or #RRGGBBAA))"},
        {R"({"type":"star"},{"type":"moon"})", R"(Unknown shape type: "star")"},
        {R"({"type":"Box","x":1,"y":2,"w":3})", R"(Shape "Box" is missing required field "h")"},
        {R"({"type":"arrow","from":[1,2,3],"to":[4,5]})", R"(Shape "arrow" is missing required field "from")"},
        {R"({"type":"Text"})", R"(Shape "text" is missing required field "text")"},
        {R"({"type":"label","text":"","x":1,"y":1})", R"(Shape "label" is missing required field "text")"},
        {R"({"type":"Badge","n":1,"x":1})", R"(Shape "Badge" is missing required field "y")"},
        {R"({"type":"redact","x":0,"y":0,"w":1,"h":1,"style":"Swirl"})",
         R"(Invalid blur style: "Swirl" (expected pixelate|secureBlur|smoothBlur|blackOut))"},
        {R"({"type":"box","color":"#GGGGGG"})", R"(Invalid color: "#GGGGGG" (expected #RRGGBB or #RRGGBBAA))"},
    };
    for (const auto& [shapeList, message] : cases) EXPECT_EQ(errorOf(shapes(shapeList)), message) << shapeList;
}

TEST(AnnotationSpec, ParseFailuresOfTheWholeDocumentComeFirst) {
    const std::string prefix = "Invalid annotation spec JSON: ";
    for (const std::string& doc : {
             std::string(""), std::string(R"({"shape":[]})"), std::string(R"({"shapes":{}})"),
             shapes(R"(7)"), shapes(R"({"type":"star"},{"type":"box","x":"1"})"),
             shapes(R"({"type":"number","n":1.5,"x":0,"y":0})"), shapes(R"({"type":"box","filled":1})"),
             shapes(R"({"type":"arrow","from":[1,"2"],"to":[0,0]})"),
             shapes(R"({"type":"box","x":1e400})"), std::string(R"({"shapes":[)"),
             std::string(200, '[') + std::string(200, ']'),
         }) {
        const std::string message = errorOf(doc);
        EXPECT_EQ(message.rfind(prefix, 0), 0u) << doc << " -> " << message;
        EXPECT_GT(message.size(), prefix.size()) << doc;
    }
}

TEST(AnnotationSpec, NestingIsLimitedToSixtyFourLevelsOutsideStrings) {
    const auto nested = [](int levels, const std::string& inside = "") {
        std::string doc = R"({"shapes":[],"extra":)";
        for (int i = 1; i < levels; ++i) doc += '[';  // inside the object: one level already
        doc += inside;
        for (int i = 1; i < levels; ++i) doc += ']';
        return doc + "}";
    };
    const std::string tooDeep = "Invalid annotation spec JSON: nesting deeper than 64 levels";
    EXPECT_EQ(errorOf(nested(64)), "(decoded)");
    EXPECT_EQ(errorOf(nested(65)), tooDeep);
    // Brackets and escaped quotes inside strings are text, not nesting.
    EXPECT_EQ(errorOf(nested(64, R"("[[[[{{{{\"[[[[")")), "(decoded)");
    EXPECT_EQ(errorOf(shapes(R"({"type":"text","x":1,"y":1,"text":")" + std::string(500, '[') + "\"}")), "(decoded)");
}

// A long flat list of shapes used to cost time quadratic in its length.
TEST(AnnotationSpec, AFlatListOfManyShapesIsParsedInOnePass) {
    std::string list = R"({"type":"box","x":1,"y":2,"w":3,"h":4})";
    for (int i = 0; i < 100000; ++i) list += ",{}";
    EXPECT_EQ(errorOf(shapes(list)), R"(Invalid annotation spec JSON: shapes[1] has no key "type")");
}

TEST(AnnotationSpec, DefaultsAliasesAndColours) {
    EXPECT_TRUE(decode(R"({"shapes":[],"other":1})").shapes().empty());
    const auto spec = decode(shapes(R"({"type":"BOX","x":1,"y":2,"w":3,"h":4},
        {"type":"badge","n":3.0,"x":5,"y":6,"color":null},
        {"type":"Pixelate","x":0,"y":0,"w":1,"h":1,"style":"SMOOTHblur","color":"#000000"},
        {"type":"highlighter","x":0,"y":0,"w":1,"h":1,"color":" \n#FF000080\t"})"));
    ASSERT_EQ(spec.shapes().size(), 4u);
    EXPECT_EQ(std::get<ShapeSpec::Box>(spec.shapes()[0]).color, (AnnotationColor{1, 59 / 255.0, 48 / 255.0, 1}));
    EXPECT_EQ(std::get<ShapeSpec::Number>(spec.shapes()[1]).n, 3);
    EXPECT_EQ(std::get<ShapeSpec::Blur>(spec.shapes()[2]).effect, AnnotationMosaicEffect::smoothBlur);
    EXPECT_EQ(std::get<ShapeSpec::Highlight>(spec.shapes()[3]).color, (AnnotationColor{1, 0, 0, 128 / 255.0}));

    EXPECT_EQ(AnnotationSpecColor::parse("0a0B0c"), (AnnotationColor{10 / 255.0, 11 / 255.0, 12 / 255.0, 1}));
    EXPECT_EQ(AnnotationSpecColor::parse(""), AnnotationSpecColor::kDefault);
    for (const std::string bad : {"#", "#FFF", "##FFFFFF", "#FFFFFFF", "+FFFFFF", "FF FF FF"}) {
        EXPECT_THROW(AnnotationSpecColor::parse(bad), AnnotationSpecError) << bad;
    }
    EXPECT_EQ(mosaicEffectFromSpecStyle(""), AnnotationMosaicEffect::pixelate);
    EXPECT_EQ(mosaicEffectFromSpecStyle("BlackOut"), AnnotationMosaicEffect::blackOut);
}

TEST(AnnotationSpec, AnnotationsUseTheBottomLeftDrawingSpace) {
    const auto measurer = std::make_shared<testing::FakeTextMeasurer>();
    const auto spec = decode(shapes(R"({"type":"box","x":50,"y":0,"w":-10,"h":10},
        {"type":"arrow","from":[0,0],"to":[10,20]},
        {"type":"text","x":5,"y":10,"text":"one"},
        {"type":"text","x":5,"y":10,"text":"one\ntwo\nthree","fontSize":20,"width":100},
        {"type":"number","x":7,"y":8,"n":-2},
        {"type":"blur","x":0,"y":0,"w":1,"h":1})"));
    const auto list = spec.annotations({200, 100}, measurer);
    ASSERT_EQ(list.size(), 6u);
    EXPECT_EQ(dynamic_cast<const RectangleAnnotation&>(*list[0]).rect, (Rect{40, 90, 10, 10}));
    const auto& arrow = dynamic_cast<const ArrowAnnotation&>(*list[1]);
    EXPECT_EQ(std::pair(arrow.startPoint, arrow.endPoint), std::pair(Point{0, 100}, Point{10, 80}));
    // One line: the box's bottom edge is fontSize below y. Each extra line lowers it by a line's height.
    EXPECT_EQ(dynamic_cast<const TextAnnotation&>(*list[2]).position, (Point{5, 100 - 10 - 28}));
    const auto& multi = dynamic_cast<const TextAnnotation&>(*list[3]);
    EXPECT_EQ(multi.position, (Point{5, 100 - 10 - 20 - 50}));
    EXPECT_EQ(multi.width, 100);
    EXPECT_EQ(dynamic_cast<const NumberAnnotation&>(*list[4]).center, (Point{7, 92}));
    EXPECT_NE(list[0]->id(), list[1]->id());
}

// Whatever the bytes, decoding ends quickly with shapes or an AnnotationSpecError.
TEST(AnnotationSpec, RandomAndHostileDocuments) {
    const auto finishes = [](const std::string& doc) {
        const auto start = std::chrono::steady_clock::now();
        errorOf(doc);  // any other exception fails the test
        return std::chrono::steady_clock::now() - start < std::chrono::seconds(5);
    };
    const std::string huge = R"({"type":"box","x":-1e308,"y":1e308,"w":1.7e308,"h":-1e308,"lineWidth":1e308})";
    EXPECT_EQ(decode(shapes(huge)).shapes().size(), 1u) << "numbers are taken as written";
    std::string manyNumbers = "0";
    for (int i = 0; i < 1000000; ++i) manyNumbers += ",1";
    EXPECT_EQ(errorOf(shapes(R"({"type":"line","from":[)" + manyNumbers + R"(],"to":[0,0]})")),
              R"(Shape "line" is missing required field "from")");
    EXPECT_EQ(errorOf(std::string(AnnotationSpec::kMaxDocumentBytes + 1, ' ')),
              "Invalid annotation spec JSON: the document is larger than 16 MiB");
    EXPECT_TRUE(finishes(std::string(1 << 20, '[')));
    EXPECT_TRUE(finishes(std::string(1 << 20, '{')));

    const std::vector<std::string> tokens = {
        "{", "}", "[", "]", ",", ":", "\"shapes\"", "\"type\"", "\"box\"", "\"text\"", "\"x\"", "\"y\"", "\"w\"",
        "\"h\"", "\"from\"", "\"to\"", "\"color\"", "\"#FF0000\"", "\"n\"", "\"style\"", "1", "-2.5", "1e308",
        "1e999", "true", "null", "\"\\u0000\"", "\"\xff\"", " ", "NaN", "-"};
    const std::string colorAlphabet = "#0123456789abcdefABCDEFgG \t\n+-x\xff";
    std::mt19937 rng(7);
    for (int i = 0; i < 5000; ++i) {
        std::string input;
        for (int n = int(rng() % 12); n > 0; --n) input += colorAlphabet[rng() % colorAlphabet.size()];
        try {
            const AnnotationColor c = AnnotationSpecColor::parse(input);
            for (const double channel : {c.red, c.green, c.blue, c.alpha}) ASSERT_TRUE(channel >= 0 && channel <= 1);
        } catch (const AnnotationSpecError& e) {
            ASSERT_EQ(e.description(), "Invalid color: \"" + input + "\" (expected #RRGGBB or #RRGGBBAA)");
        }
    }
    for (int i = 0; i < 3000; ++i) {
        std::string doc = i % 2 ? R"({"shapes":[{"type":)" : "";
        for (int n = int(rng() % 40); n > 0; --n) doc += tokens[rng() % tokens.size()];
        ASSERT_TRUE(finishes(doc)) << doc;
    }
}

}  // namespace
}  // namespace tessarin
