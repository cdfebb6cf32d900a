#include "platform/Coding.h"

#include <gtest/gtest.h>

#include <limits>

using namespace platform;

namespace {
struct Point {
    double x = 0, y = 0;
    Value encode() const {
        KeyedEncoder e;
        e.encode("x", x);
        e.encode("y", y);
        return std::move(e).finish();
    }
    static Point decode(const Value& v, const std::string& path) {
        KeyedDecoder d(v, path);
        return {d.decode<double>("x"), d.decode<double>("y")};
    }
};
} // namespace

TEST(Coding, ErrorsNameTheKeyPath) {
    Value tree = ValueObject{{"points", ValueArray{Point{1, 2}.encode(), ValueObject{{"x", 1.0}}}}};
    KeyedDecoder d(tree, "root");
    try {
        d.decode<std::vector<Point>>("points");
        FAIL() << "missing key accepted";
    } catch (const CodingError& e) {
        EXPECT_EQ(e.reason(), CodingError::Reason::keyNotFound);
        EXPECT_EQ(e.path(), "root.points[1].y");
    }
}

TEST(Coding, NumbersConvertOnlyWhenExact) {
    EXPECT_EQ(decodeValue<int>(Value(5.0)), 5);
    EXPECT_DOUBLE_EQ(decodeValue<double>(Value(7)), 7.0);
    EXPECT_THROW(decodeValue<int>(Value(5.5)), CodingError);
    EXPECT_THROW(decodeValue<int>(Value(1LL << 40)), CodingError);
    EXPECT_THROW(decodeValue<std::string>(Value(true)), CodingError);
}

TEST(Coding, FloatsBeyondTheFloatRangeAreRefusedWithTheirPath) {
    Value tree = ValueObject{{"x", 1e308}, {"y", -3.5e38}, {"top", 3.4028235e38}, {"bottom", -3.4028235e38}};
    KeyedDecoder d(tree, "show.soundscapeSpeakers[0]");
    for (const char* key : {"x", "y"}) {
        try {
            d.decode<float>(key);
            ADD_FAILURE() << key << " accepted";
        } catch (const CodingError& e) {
            EXPECT_EQ(e.reason(), CodingError::Reason::dataCorrupted);
            EXPECT_EQ(e.path(), std::string("show.soundscapeSpeakers[0].") + key);
        }
    }
    EXPECT_EQ(d.decode<float>("top"), std::numeric_limits<float>::max());
    EXPECT_EQ(d.decode<float>("bottom"), -std::numeric_limits<float>::max());
    // Doubles keep their whole range.
    EXPECT_EQ(d.decode<double>("x"), 1e308);
}

TEST(Coding, OptionalKeys) {
    Value tree = ValueObject{{"a", Null{}}, {"b", 3}};
    KeyedDecoder d(tree, "");
    EXPECT_EQ(d.decodeOr<int>("a", 9), 9);
    EXPECT_EQ(d.decodeOr<int>("missing", 8), 8);
    EXPECT_EQ(d.decodeIfPresent<int>("b"), 3);
    EXPECT_THROW(d.decode<int>("a"), CodingError);
    KeyedEncoder e;
    e.encodeIfPresent<int>("absent", std::nullopt);
    e.encodeOrNull<int>("empty", std::nullopt);
    Value out = std::move(e).finish();
    EXPECT_EQ(out.find("absent"), nullptr);
    ASSERT_NE(out.find("empty"), nullptr);
    EXPECT_TRUE(out.find("empty")->isNull());
}
