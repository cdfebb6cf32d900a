#include "platform/Serialization.h"

#include "platform/Coding.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <functional>
#include <limits>
#include <locale>
#include <string>

using namespace platform;

namespace {

const std::string plistHeader = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
                                "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
                                "<plist version=\"1.0\">\n";

Value smallTree() {
    return ValueObject{{"b", true},
                       {"a", ValueArray{1, 2.5, "x<&>"}},
                       {"d", Bytes{0, 1, 2}},
                       {"e", ValueObject{}},
                       {"f", ValueArray{}},
                       {"n", Null{}},
                       {"r", 5.0}};
}

// Every kind, with the awkward corners of each.
Value everyKind() {
    Bytes longData;
    for (int i = 0; i < 200; ++i)
        longData.push_back(static_cast<std::uint8_t>(i * 7));
    return ValueObject{
        {"bools", ValueArray{true, false}},
        {"integers",
         ValueArray{0, -1, std::numeric_limits<long long>::max(), std::numeric_limits<long long>::min()}},
        {"reals", ValueArray{0.1, -2.5e-300, 1e100, 5.0, 123456.789, -0.0}},
        {"texts", ValueArray{"", " ", "a & b < c > d", "line\r\nbreak\ttab", "Grüße 🎛", "]]>"}},
        {"data", ValueArray{Bytes{}, Bytes{0xFF}, Bytes{1, 2}, longData}},
        {"dates", ValueArray{Date{0}, Date{-978307200}, Date{756000000}}},
        {"nested", ValueObject{{"deeper", ValueObject{{"list", ValueArray{ValueArray{}, ValueObject{}}}}}}},
        {"null", Null{}},
        {"key with & and <", 1},
    };
}

// A German number format for the C++ global locale: comma decimal, dot grouping.
struct GermanPunct : std::numpunct<char> {
    char do_decimal_point() const override { return ','; }
    char do_thousands_sep() const override { return '.'; }
    std::string do_grouping() const override { return "\3"; }
};

class GermanLocale {
public:
    GermanLocale() : previousCpp_(std::locale::global(std::locale(std::locale::classic(), new GermanPunct))) {
        previousC_ = std::setlocale(LC_ALL, nullptr);
        cLocaleSet_ = std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
    }
    ~GermanLocale() {
        std::setlocale(LC_ALL, previousC_.c_str());
        std::locale::global(previousCpp_);
    }

private:
    std::locale previousCpp_;
    std::string previousC_;
    bool cLocaleSet_ = false;
};

std::string nested(int depth, const std::string& open, const std::string& close) {
    std::string s;
    for (int i = 0; i < depth; ++i)
        s += open;
    for (int i = 0; i < depth; ++i)
        s += close;
    return s;
}

void expectCorrupted(const std::function<void()>& f, const std::string& fragment) {
    try {
        f();
        ADD_FAILURE() << "accepted input that should fail with: " << fragment;
    } catch (const CodingError& e) {
        EXPECT_EQ(e.reason(), CodingError::Reason::dataCorrupted);
        EXPECT_NE(std::string(e.what()).find(fragment), std::string::npos) << e.what();
    }
}

} // namespace

TEST(PropertyList, ByteShape) {
    EXPECT_EQ(writePropertyList(smallTree()), plistHeader + "<dict>\n"
                                                            "\t<key>a</key>\n"
                                                            "\t<array>\n"
                                                            "\t\t<integer>1</integer>\n"
                                                            "\t\t<real>2.5</real>\n"
                                                            "\t\t<string>x&lt;&amp;&gt;</string>\n"
                                                            "\t</array>\n"
                                                            "\t<key>b</key>\n"
                                                            "\t<true/>\n"
                                                            "\t<key>d</key>\n"
                                                            "\t<data>\n"
                                                            "\tAAEC\n"
                                                            "\t</data>\n"
                                                            "\t<key>e</key>\n"
                                                            "\t<dict/>\n"
                                                            "\t<key>f</key>\n"
                                                            "\t<array/>\n"
                                                            "\t<key>n</key>\n"
                                                            "\t<string>$null</string>\n"
                                                            "\t<key>r</key>\n"
                                                            "\t<real>5</real>\n"
                                                            "</dict>\n"
                                                            "</plist>\n");
    EXPECT_EQ(writePropertyList(Value(Date{0})),
              plistHeader + "<date>2001-01-01T00:00:00Z</date>\n</plist>\n");
}

TEST(PropertyList, RoundTripOfEveryKind) {
    Value tree = everyKind();
    Value back = readPropertyList(writePropertyList(tree));
    EXPECT_EQ(back, tree);
    EXPECT_TRUE(std::signbit(*(*back.find("reals")->asArray())[5].asReal()));
    // Integers stay integers and reals stay reals, even when whole.
    EXPECT_NE(back.find("reals")->asArray()->at(3).asReal(), nullptr);
}

TEST(PropertyList, ReadsForeignForms) {
    // What other writers produce: no DOCTYPE, spaces, hex and signed integers, odd base64 wrapping,
    // fractional dates, and a bare root without <plist>.
    Value v = readPropertyList("<plist><dict>\n  <key>i</key> <integer> +0x1F </integer>\n"
                               "  <key>r</key><real>-1E3</real><key>d</key><data>AA\n  EC</data>"
                               "<key>t</key><date>2001-01-01T00:00:01.5Z</date>"
                               "<key>s</key><string><![CDATA[a<b]]></string></dict></plist>");
    EXPECT_EQ(v, Value(ValueObject{
                     {"i", 31}, {"r", -1000.0}, {"d", Bytes{0, 1, 2}}, {"t", Date{1.5}}, {"s", "a<b"}}));
    EXPECT_EQ(readPropertyList("<array><false/></array>"), Value(ValueArray{false}));
}

TEST(PropertyList, MalformedInputFailsClearly) {
    expectCorrupted([] { readPropertyList(""); }, "not a valid property list");
    expectCorrupted([] { readPropertyList("<plist><dict><key>a</key>"); }, "not a valid property list");
    expectCorrupted([] { readPropertyList("<plist><float>1</float></plist>"); }, "unknown element <float>");
    expectCorrupted(
        [] { readPropertyList("<plist><dict><key>n</key><integer>1.5</integer></dict></plist>"); },
        "bad integer");
    expectCorrupted([] { readPropertyList("<plist><integer>99999999999999999999</integer></plist>"); },
                    "bad integer");
    expectCorrupted([] { readPropertyList("<plist><real>1,5</real></plist>"); }, "bad real");
    expectCorrupted([] { readPropertyList("<plist><data>AA*C</data></plist>"); }, "bad base64");
    expectCorrupted([] { readPropertyList("<plist><data>A</data></plist>"); }, "bad base64");
    expectCorrupted([] { readPropertyList("<plist><date>yesterday</date></plist>"); }, "bad date");
    expectCorrupted([] { readPropertyList("<plist><dict><string>a</string></dict></plist>"); },
                    "expected <key>");
    expectCorrupted([] { readPropertyList("<plist><dict><key>a</key></dict></plist>"); }, "has no value");
    expectCorrupted([] { readPropertyList("<plist><array>text</array></plist>"); }, "unexpected text");
    expectCorrupted([] { readPropertyList("<plist></plist>"); }, "holds no value");
    // Errors name where they happened.
    try {
        readPropertyList("<plist><dict><key>list</key><array><true/><real>x</real></array></dict></plist>");
        ADD_FAILURE();
    } catch (const CodingError& e) {
        EXPECT_EQ(e.path(), "list[1]");
    }
    // Deep nesting is refused, not recursed into.
    expectCorrupted([] { readPropertyList(nested(100000, "<array>", "</array>")); }, "deeper than");
    EXPECT_NO_THROW(readPropertyList(nested(200, "<array>", "</array>")));
}

TEST(JSON, ByteShape) {
    EXPECT_EQ(writeJSON(smallTree()), "{\n"
                                      "  \"a\": [\n"
                                      "    1,\n"
                                      "    2.5,\n"
                                      "    \"x<&>\"\n"
                                      "  ],\n"
                                      "  \"b\": true,\n"
                                      "  \"d\": \"AAEC\",\n"
                                      "  \"e\": {},\n"
                                      "  \"f\": [],\n"
                                      "  \"n\": null,\n"
                                      "  \"r\": 5.0\n"
                                      "}");
    // Sorted at every level.
    EXPECT_EQ(writeJSON(ValueArray{ValueObject{{"z", 1}, {"m", ValueObject{{"y", 1}, {"b", 2}}}}}),
              "[\n  {\n    \"m\": {\n      \"b\": 2,\n      \"y\": 1\n    },\n    \"z\": 1\n  }\n]");
}

TEST(JSON, RoundTripKeepsIntegersAndReals) {
    Value tree = ValueObject{{"integers", ValueArray{0, -7, std::numeric_limits<long long>::max(),
                                                     std::numeric_limits<long long>::min()}},
                             {"reals", ValueArray{5.0, 0.1, 1e100, -2.5e-300, -0.0, 123456.789}},
                             {"texts", ValueArray{"", "quote \" backslash \\ tab \t", "Grüße 🎛"}},
                             {"bools", ValueArray{true, false}},
                             {"null", Null{}},
                             {"nested", ValueObject{{"a", ValueArray{ValueObject{}, ValueArray{}}}}}};
    Value back = readJSON(writeJSON(tree));
    EXPECT_EQ(back, tree);
    EXPECT_NE(back.find("reals")->asArray()->at(0).asReal(), nullptr);
    EXPECT_NE(back.find("integers")->asArray()->at(2).asInteger(), nullptr);
    // Data and dates have no JSON kind: base64 text and seconds since the reference date.
    EXPECT_EQ(readJSON(writeJSON(ValueArray{Bytes{1, 2, 3}, Date{12.5}})), Value(ValueArray{"AQID", 12.5}));
    // Beyond 64-bit integers a JSON number is still read, as a real.
    EXPECT_DOUBLE_EQ(*readJSON("18446744073709551615").asReal(), 18446744073709551615.0);
}

TEST(JSON, MalformedInputFailsClearly) {
    expectCorrupted([] { readJSON(""); }, "not valid JSON");
    expectCorrupted([] { readJSON("{\"a\": }"); }, "not valid JSON");
    expectCorrupted([] { readJSON("[1, 2"); }, "not valid JSON");
    expectCorrupted([] { readJSON("{} {}"); }, "not valid JSON");
    expectCorrupted([] { readJSON("1e999"); }, "1e999");
    expectCorrupted([] { readJSON(nested(100000, "[", "]")); }, "deeper than");
    expectCorrupted([] { readJSON(nested(100000, "{\"a\":", "}") + "1"); }, "deeper than");
    EXPECT_NO_THROW(readJSON(nested(200, "[", "]")));
    expectCorrupted([] { writeJSON(Value(std::numeric_limits<double>::quiet_NaN())); }, "nan");
}

TEST(Serialization, NumbersIgnoreTheProcessLocale) {
    Value tree = ValueObject{{"r", 1234567.25}, {"i", 1234567}, {"small", 0.001}};
    const std::string expectedPlistReal = "<real>1234567.25</real>";
    const std::string expectedJSON = "{\n  \"i\": 1234567,\n  \"r\": 1234567.25,\n  \"small\": 0.001\n}";
    GermanLocale german;
    std::string plist = writePropertyList(tree);
    EXPECT_NE(plist.find(expectedPlistReal), std::string::npos) << plist;
    EXPECT_NE(plist.find("<integer>1234567</integer>"), std::string::npos) << plist;
    EXPECT_EQ(writeJSON(tree), expectedJSON);
    EXPECT_EQ(readPropertyList(plist), tree);
    EXPECT_EQ(readJSON(expectedJSON), tree);
    EXPECT_EQ(*readPropertyList("<real>0.5</real>").asReal(), 0.5);
}

// What a show may hold and what a file may hold are the same set, in both forms.
TEST(Serialization, TextAndNumbersReadBackAsWrittenOrAreRefusedWithTheirKeyPath) {
    // A text no file can hold is written with U+FFFD in place of the offending characters
    // (invalid UTF-8, controls XML cannot carry), so a save never fails and reads back as
    // it was written, in either form.
    const Value awkward = ValueObject{{"name", std::string("Kic\0k\x01\xff", 7)}, {std::string("k\x02"), 1}};
    const Value written = ValueObject{{"name", "Kic\uFFFDk\uFFFD\uFFFD"}, {"k\uFFFD", 1}};
    EXPECT_EQ(readPropertyList(writePropertyList(awkward)), written);
    EXPECT_EQ(readJSON(writeJSON(awkward)), written);
    EXPECT_EQ(storableText("a\tb\nc\rd\x7f"), "a\tb\nc\rd\x7f") << "what XML can hold is kept";
    EXPECT_EQ(storableText("\xef\xbf\xbe|\xed\xa0\x80|\xc0\xaf"), "\uFFFD|\uFFFD\uFFFD\uFFFD|\uFFFD\uFFFD");

    // Readers refuse such characters, naming where they stood.
    auto expectRefusedAt = [](const std::function<void()>& read, const std::string& path,
                              const std::string& what) {
        try {
            read();
            ADD_FAILURE() << "accepted " << what;
        } catch (const CodingError& e) {
            EXPECT_EQ(e.path(), path) << e.what();
            EXPECT_NE(std::string(e.what()).find(what), std::string::npos) << e.what();
        }
    };
    expectRefusedAt(
        [] {
            readPropertyList("<plist><dict><key>a</key><array><string>x\x01</string></array></dict></plist>");
        },
        "a[0]", "U+0001");
    expectRefusedAt([] { readJSON(R"({"a": {"b": ["ok", "no\u0000"]}})"); }, "a.b[1]", "U+0000");
    expectRefusedAt([] { readJSON(R"({"a": {"b\u0003": 1}})"); }, "a.b\uFFFD", "U+0003");
    // Non-finite numbers: refused by both readers and both writers.
    expectRefusedAt([] { readPropertyList("<plist><dict><key>r</key><real>nan</real></dict></plist>"); }, "r",
                    "not finite");
    expectRefusedAt([] { readPropertyList("<plist><array><real>-infinity</real></array></plist>"); }, "[0]",
                    "not finite");
    expectCorrupted([] { readJSON(R"({"x": [1, 1e999]})"); }, "1e999");
    expectRefusedAt(
        [] {
            writePropertyList(ValueObject{{"s", ValueArray{1.0, std::nan("")}}});
        },
        "s[1]", "nan");
    expectRefusedAt([] { writeJSON(ValueObject{{"s", -1.0 / 0.0}}); }, "s", "-infinity");

    // Text that is not UTF-8 is read as UTF-8 with each bad sequence replaced, in both forms.
    EXPECT_EQ(readPropertyList("<plist><string>Caf\xe9 \xff</string></plist>"), Value("Caf\uFFFD \uFFFD"));
    EXPECT_EQ(readPropertyList("<plist><dict><key>\xe9</key><true/></dict></plist>"),
              Value(ValueObject{{"\uFFFD", true}}));
    EXPECT_EQ(readJSON("[\"Caf\xe9\"]"), Value(ValueArray{"Caf\uFFFD"}));
}

TEST(Serialization, TheNullMarkerReadsAsAbsentOnlyWhereANullIsWritten) {
    // The marker itself is kept: a null still writes as "$null", and "$null" reads as a
    // null marked as the marker.
    const Value back = readPropertyList(writePropertyList(ValueObject{{"text", "$null"}, {"none", Null{}}}));
    EXPECT_TRUE(back.find("text")->isNullMarker());
    EXPECT_TRUE(back.find("none")->isNullMarker());
    const KeyedDecoder d(back, "root");
    EXPECT_EQ(d.decode<std::string>("text"), "$null") << "a required text";
    EXPECT_EQ(d.decodeIfPresent<std::string>("text"), std::optional<std::string>("$null"))
        << "written only when present";
    EXPECT_EQ(d.decodeOrNull<std::string>("text"), std::nullopt) << "written as null when empty";
    EXPECT_EQ(
        decodeValue<std::vector<std::string>>(readPropertyList(writePropertyList(ValueArray{"a", "$null"}))),
        (std::vector<std::string>{"a", "$null"}));
    // JSON says what it means: a null for a required text is still an error, "$null" is text.
    const Value json = readJSON(R"({"text": null, "marker": "$null"})");
    EXPECT_THROW(KeyedDecoder(json, "").decode<std::string>("text"), CodingError);
    EXPECT_EQ(KeyedDecoder(json, "").decode<std::string>("marker"), "$null");
    // Stores that never hold null read the marker as the text.
    EXPECT_EQ(readPropertyList(writePropertyList(Value("$null")), true), Value("$null"));
}
