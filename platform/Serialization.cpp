#include "platform/Serialization.h"

#include "platform/Coding.h"

#include <nlohmann/json.hpp>
#include <pugixml.hpp>

#include <algorithm>
#include <array>
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <limits>
#include <optional>
#include <system_error>

namespace platform {

namespace {

// Deeper trees are refused rather than risking the stack of whatever thread reads them.
constexpr int maxDepth = 512;

[[noreturn]] void corrupted(const std::string& path, const std::string& message) {
    throw CodingError(CodingError::Reason::dataCorrupted, path, message);
}

// ---- text ----

constexpr std::string_view replacementCharacter = "\xEF\xBF\xBD"; // U+FFFD

// Length of the valid UTF-8 sequence at `at` (shortest form, no surrogates, at most
// U+10FFFF), or 0 when none starts there.
std::size_t sequenceLength(std::string_view text, std::size_t at, char32_t& character) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    if (lead < 0x80) {
        character = lead;
        return 1;
    }
    std::size_t length;
    char32_t value;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        value = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        value = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        value = lead & 0x07;
    } else {
        return 0;
    }
    if (at + length > text.size())
        return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80)
            return 0;
        value = (value << 6) | (byte(at + i) & 0x3F);
    }
    if ((length == 3 && (value < 0x800 || (value >= 0xD800 && value <= 0xDFFF))) ||
        (length == 4 && (value < 0x10000 || value > 0x10FFFF)))
        return 0;
    character = value;
    return length;
}

bool storable(char32_t c) {
    return (c >= 0x20 || c == '\t' || c == '\n' || c == '\r') && c != 0xFFFE && c != 0xFFFF;
}

// Valid UTF-8, and with `replaceUnstorable` no character XML cannot hold.
std::string cleanedText(std::string_view text, bool replaceUnstorable) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        char32_t c = 0;
        const std::size_t length = sequenceLength(text, at, c);
        if (length == 0) {
            out += replacementCharacter;
            ++at;
            continue;
        }
        if (replaceUnstorable && !storable(c))
            out += replacementCharacter;
        else
            out.append(text, at, length);
        at += length;
    }
    return out;
}

bool isCleanText(std::string_view text) {
    for (std::size_t at = 0; at < text.size();) {
        char32_t c = 0;
        const std::size_t length = sequenceLength(text, at, c);
        if (length == 0 || !storable(c))
            return false;
        at += length;
    }
    return true;
}

// ---- numbers, independent of the process locale ----

std::string formatInteger(std::int64_t v) {
    char buf[32];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

std::string formatReal(double v) {
    if (std::isnan(v))
        return "nan";
    if (std::isinf(v))
        return v > 0 ? "+infinity" : "-infinity";
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

std::string_view trim(std::string_view s) {
    auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
    while (!s.empty() && isSpace(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isSpace(s.back()))
        s.remove_suffix(1);
    return s;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z')
            x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z')
            y = static_cast<char>(y - 'A' + 'a');
        if (x != y)
            return false;
    }
    return true;
}

std::optional<std::int64_t> parseInteger(std::string_view text) {
    auto s = trim(text);
    bool negative = false;
    if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
        negative = s.front() == '-';
        s.remove_prefix(1);
    }
    int base = 10;
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        base = 16;
        s.remove_prefix(2);
    }
    if (s.empty())
        return std::nullopt;
    std::uint64_t magnitude = 0;
    auto r = std::from_chars(s.data(), s.data() + s.size(), magnitude, base);
    if (r.ec != std::errc() || r.ptr != s.data() + s.size())
        return std::nullopt;
    constexpr auto maxPositive = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
    if (negative) {
        if (magnitude > maxPositive + 1)
            return std::nullopt;
        return magnitude == maxPositive + 1 ? std::numeric_limits<std::int64_t>::min()
                                            : -static_cast<std::int64_t>(magnitude);
    }
    if (magnitude > maxPositive)
        return std::nullopt;
    return static_cast<std::int64_t>(magnitude);
}

std::optional<double> parseReal(std::string_view text) {
    auto s = trim(text);
    if (equalsIgnoringCase(s, "nan"))
        return std::numeric_limits<double>::quiet_NaN();
    bool negative = false;
    std::string_view unsigned_ = s;
    if (!unsigned_.empty() && (unsigned_.front() == '+' || unsigned_.front() == '-')) {
        negative = unsigned_.front() == '-';
        unsigned_.remove_prefix(1);
    }
    if (equalsIgnoringCase(unsigned_, "infinity") || equalsIgnoringCase(unsigned_, "inf"))
        return negative ? -std::numeric_limits<double>::infinity() : std::numeric_limits<double>::infinity();
    // from_chars takes no leading '+'.
    if (!s.empty() && s.front() == '+') {
        s.remove_prefix(1);
        if (!s.empty() && (s.front() == '+' || s.front() == '-'))
            return std::nullopt;
    }
    double v = 0;
    auto r = std::from_chars(s.data(), s.data() + s.size(), v, std::chars_format::general);
    if (r.ec != std::errc() || r.ptr != s.data() + s.size())
        return std::nullopt;
    return v;
}

// ---- base64 ----

constexpr char base64Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string base64Encode(const Bytes& data) {
    std::string out;
    out.reserve((data.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 2 < data.size(); i += 3) {
        std::uint32_t n = (data[i] << 16) | (data[i + 1] << 8) | data[i + 2];
        out += base64Alphabet[(n >> 18) & 63];
        out += base64Alphabet[(n >> 12) & 63];
        out += base64Alphabet[(n >> 6) & 63];
        out += base64Alphabet[n & 63];
    }
    if (i + 1 == data.size()) {
        std::uint32_t n = data[i] << 16;
        out += base64Alphabet[(n >> 18) & 63];
        out += base64Alphabet[(n >> 12) & 63];
        out += "==";
    } else if (i + 2 == data.size()) {
        std::uint32_t n = (data[i] << 16) | (data[i + 1] << 8);
        out += base64Alphabet[(n >> 18) & 63];
        out += base64Alphabet[(n >> 12) & 63];
        out += base64Alphabet[(n >> 6) & 63];
        out += '=';
    }
    return out;
}

// Whitespace (line breaks, indentation) is skipped; anything else outside the alphabet fails.
std::optional<Bytes> base64Decode(std::string_view text) {
    Bytes out;
    out.reserve(text.size() / 4 * 3);
    std::uint32_t accumulator = 0;
    int bits = 0;
    int symbols = 0;
    int padding = 0;
    for (char c : text) {
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r')
            continue;
        if (c == '=') {
            ++padding;
            continue;
        }
        if (padding > 0)
            return std::nullopt; // data after padding
        int value;
        if (c >= 'A' && c <= 'Z')
            value = c - 'A';
        else if (c >= 'a' && c <= 'z')
            value = c - 'a' + 26;
        else if (c >= '0' && c <= '9')
            value = c - '0' + 52;
        else if (c == '+')
            value = 62;
        else if (c == '/')
            value = 63;
        else
            return std::nullopt;
        ++symbols;
        accumulator = (accumulator << 6) | static_cast<std::uint32_t>(value);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out.push_back(static_cast<std::uint8_t>((accumulator >> bits) & 0xFF));
        }
    }
    int remainder = symbols % 4;
    if (remainder == 1 || padding > 2 || (padding > 0 && (symbols + padding) % 4 != 0))
        return std::nullopt;
    return out;
}

// ---- dates: seconds since 2001-01-01T00:00:00Z as ISO 8601 UTC ----

constexpr std::int64_t unixOfReferenceDate = 978307200;

// Days since 1970-01-01 of a proleptic Gregorian date, and back.
std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void civilFromDays(std::int64_t z, std::int64_t& y, unsigned& m, unsigned& d) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    y = static_cast<std::int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y += m <= 2;
}

// Property lists carry whole seconds.
std::string formatDate(const Date& date) {
    double seconds = std::floor(date.secondsSinceReferenceDate);
    if (!std::isfinite(seconds) || std::fabs(seconds) > 1e14)
        corrupted("", "Date out of range for a property list.");
    auto unix = static_cast<std::int64_t>(seconds) + unixOfReferenceDate;
    std::int64_t days = unix >= 0 ? unix / 86400 : -((-unix + 86399) / 86400);
    std::int64_t secondOfDay = unix - days * 86400;
    std::int64_t y;
    unsigned m, d;
    civilFromDays(days, y, m, d);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04lld-%02u-%02uT%02d:%02d:%02dZ", static_cast<long long>(y), m, d,
                  static_cast<int>(secondOfDay / 3600), static_cast<int>(secondOfDay / 60 % 60),
                  static_cast<int>(secondOfDay % 60));
    return buf;
}

std::optional<Date> parseDate(std::string_view text) {
    auto s = trim(text);
    auto number = [&](std::size_t at, std::size_t length, int& out) {
        if (at + length > s.size())
            return false;
        auto r = std::from_chars(s.data() + at, s.data() + at + length, out);
        return r.ec == std::errc() && r.ptr == s.data() + at + length;
    };
    int y, mo, d, h, mi, se;
    if (s.size() < 20 || s[4] != '-' || s[7] != '-' || s[10] != 'T' || s[13] != ':' || s[16] != ':' ||
        !number(0, 4, y) || !number(5, 2, mo) || !number(8, 2, d) || !number(11, 2, h) ||
        !number(14, 2, mi) || !number(17, 2, se))
        return std::nullopt;
    if (mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || se > 60)
        return std::nullopt;
    double fraction = 0;
    std::size_t at = 19;
    if (s[at] == '.') {
        std::size_t end = at + 1;
        while (end < s.size() && s[end] >= '0' && s[end] <= '9')
            ++end;
        if (end == at + 1)
            return std::nullopt;
        std::string digits = "0" + std::string(s.substr(at, end - at));
        std::from_chars(digits.data(), digits.data() + digits.size(), fraction);
        at = end;
    }
    if (at + 1 != s.size() || s[at] != 'Z')
        return std::nullopt;
    std::int64_t unix = daysFromCivil(y, static_cast<unsigned>(mo), static_cast<unsigned>(d)) * 86400 +
                        h * 3600 + mi * 60 + se;
    return Date{static_cast<double>(unix - unixOfReferenceDate) + fraction};
}

// ---- property-list writer ----

void appendEscaped(std::string& out, std::string_view text) {
    for (char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '\r':
            out += "&#13;";
            break; // a bare CR would be turned into LF by any XML reader
        default:
            out += c;
        }
    }
}

void appendTabs(std::string& out, int count) {
    out.append(static_cast<std::size_t>(count), '\t');
}

void appendText(std::string& out, std::string_view text) {
    if (isCleanText(text))
        appendEscaped(out, text);
    else
        appendEscaped(out, cleanedText(text, true));
}

[[noreturn]] void nonFinite(const std::string& path, double value) {
    corrupted(path, "Unable to store the non-finite number " + formatReal(value) + ".");
}

void writePlistValue(std::string& out, const Value& v, int indent, const std::string& path) {
    if (indent > maxDepth)
        corrupted(path, "Value nested deeper than " + std::to_string(maxDepth) + " levels.");
    appendTabs(out, indent);
    switch (v.kind()) {
    case Value::Kind::null:
        out += "<string>$null</string>\n";
        break;
    case Value::Kind::boolean:
        out += *v.asBool() ? "<true/>\n" : "<false/>\n";
        break;
    case Value::Kind::integer:
        out += "<integer>" + formatInteger(*v.asInteger()) + "</integer>\n";
        break;
    case Value::Kind::real:
        if (!std::isfinite(*v.asReal()))
            nonFinite(path, *v.asReal());
        out += "<real>" + formatReal(*v.asReal()) + "</real>\n";
        break;
    case Value::Kind::text:
        out += "<string>";
        appendText(out, *v.asText());
        out += "</string>\n";
        break;
    case Value::Kind::data: {
        out += "<data>\n";
        std::string encoded = base64Encode(*v.asData());
        int tabs = std::min(indent, 8);
        std::size_t lineLength = static_cast<std::size_t>(76 - 8 * tabs) / 4 * 4;
        for (std::size_t at = 0; at < encoded.size(); at += lineLength) {
            appendTabs(out, indent);
            out.append(encoded, at, lineLength);
            out += '\n';
        }
        appendTabs(out, indent);
        out += "</data>\n";
        break;
    }
    case Value::Kind::date:
        out += "<date>" + formatDate(*v.asDate()) + "</date>\n";
        break;
    case Value::Kind::array: {
        const auto& a = *v.asArray();
        if (a.empty()) {
            out += "<array/>\n";
            break;
        }
        out += "<array>\n";
        for (std::size_t i = 0; i < a.size(); ++i)
            writePlistValue(out, a[i], indent + 1, indexPath(path, i));
        appendTabs(out, indent);
        out += "</array>\n";
        break;
    }
    case Value::Kind::object: {
        const auto& o = *v.asObject();
        if (o.empty()) {
            out += "<dict/>\n";
            break;
        }
        out += "<dict>\n";
        for (const auto& [key, e] : o) {
            appendTabs(out, indent + 1);
            out += "<key>";
            appendText(out, key);
            out += "</key>\n";
            writePlistValue(out, e, indent + 1, joinPath(path, key));
        }
        appendTabs(out, indent);
        out += "</dict>\n";
        break;
    }
    }
}

// ---- property-list reader ----

const std::string plistPrefix = "The given data was not a valid property list: ";

[[noreturn]] void plistError(const std::string& path, const std::string& detail) {
    corrupted(path, plistPrefix + detail);
}

bool isBlank(const char* text) {
    for (; *text; ++text)
        if (*text != ' ' && *text != '\t' && *text != '\n' && *text != '\r')
            return false;
    return true;
}

// The text of a leaf element, as UTF-8; child elements are refused, and so are characters
// no property list may hold (a writer that let them through made a file no reader opens).
std::string leafText(const pugi::xml_node& node, const std::string& path) {
    std::string text;
    for (auto child : node.children()) {
        if (child.type() == pugi::node_pcdata || child.type() == pugi::node_cdata)
            text += child.value();
        else if (child.type() == pugi::node_element)
            plistError(path, std::string("unexpected element <") + child.name() + "> inside <" + node.name() +
                                 ">.");
    }
    if (isCleanText(text))
        return text;
    text = validUTF8(text);
    if (auto c = unstorableCharacter(text))
        plistError(path,
                   "text holds the character " + characterName(*c) + ", which a property list cannot hold.");
    return text;
}

// The element children of a container; stray text is refused.
template <class F> void forEachElement(const pugi::xml_node& node, const std::string& path, F&& f) {
    for (auto child : node.children()) {
        if (child.type() == pugi::node_element)
            f(child);
        else if ((child.type() == pugi::node_pcdata || child.type() == pugi::node_cdata) &&
                 !isBlank(child.value()))
            plistError(path, std::string("unexpected text inside <") + node.name() + ">.");
    }
}

Value readPlistValue(const pugi::xml_node& node, const std::string& path, int depth, bool markerIsText) {
    if (depth > maxDepth)
        plistError(path, "nested deeper than " + std::to_string(maxDepth) + " levels.");
    std::string_view name = node.name();
    if (name == "dict") {
        ValueObject object;
        const std::string* pendingKey = nullptr;
        std::string key;
        forEachElement(node, path, [&](const pugi::xml_node& child) {
            if (!pendingKey) {
                if (std::string_view(child.name()) != "key")
                    plistError(path,
                               std::string("expected <key> in <dict> but found <") + child.name() + ">.");
                key = leafText(child, path);
                pendingKey = &key;
                return;
            }
            object[key] = readPlistValue(child, joinPath(path, key), depth + 1, markerIsText);
            pendingKey = nullptr;
        });
        if (pendingKey)
            plistError(path, "key \"" + key + "\" has no value.");
        return Value(std::move(object));
    }
    if (name == "array") {
        ValueArray array;
        forEachElement(node, path, [&](const pugi::xml_node& child) {
            array.push_back(readPlistValue(child, indexPath(path, array.size()), depth + 1, markerIsText));
        });
        return Value(std::move(array));
    }
    if (name == "string") {
        std::string text = leafText(node, path);
        if (text == "$null" && !markerIsText)
            return Value(Null{true});
        return Value(std::move(text));
    }
    if (name == "integer") {
        std::string text = leafText(node, path);
        auto v = parseInteger(text);
        if (!v)
            plistError(path, "bad integer \"" + text + "\".");
        return Value(static_cast<long long>(*v));
    }
    if (name == "real") {
        std::string text = leafText(node, path);
        auto v = parseReal(text);
        if (!v)
            plistError(path, "bad real \"" + text + "\".");
        if (!std::isfinite(*v))
            plistError(path, "the number " + text + " is not finite.");
        return Value(*v);
    }
    if (name == "true" || name == "false") {
        if (!isBlank(leafText(node, path).c_str()))
            plistError(path, std::string("unexpected text inside <") + node.name() + ">.");
        return Value(name == "true");
    }
    if (name == "data") {
        auto v = base64Decode(leafText(node, path));
        if (!v)
            plistError(path, "bad base64 in <data>.");
        return Value(std::move(*v));
    }
    if (name == "date") {
        std::string text = leafText(node, path);
        auto v = parseDate(text);
        if (!v)
            plistError(path, "bad date \"" + text + "\".");
        return Value(*v);
    }
    plistError(path, "unknown element <" + std::string(name) + ">.");
}

// ---- JSON ----

std::string jsonText(const std::string& text) {
    return isCleanText(text) ? text : cleanedText(text, true);
}

nlohmann::json toJSON(const Value& v, int depth, const std::string& path) {
    if (depth > maxDepth)
        corrupted(path, "Value nested deeper than " + std::to_string(maxDepth) + " levels.");
    switch (v.kind()) {
    case Value::Kind::null:
        return nullptr;
    case Value::Kind::boolean:
        return *v.asBool();
    case Value::Kind::integer:
        return *v.asInteger();
    case Value::Kind::real:
        if (!std::isfinite(*v.asReal()))
            nonFinite(path, *v.asReal());
        return *v.asReal();
    case Value::Kind::text:
        return jsonText(*v.asText());
    case Value::Kind::data:
        return base64Encode(*v.asData());
    case Value::Kind::date:
        return v.asDate()->secondsSinceReferenceDate;
    case Value::Kind::array: {
        auto out = nlohmann::json::array();
        const auto& a = *v.asArray();
        for (std::size_t i = 0; i < a.size(); ++i)
            out.push_back(toJSON(a[i], depth + 1, indexPath(path, i)));
        return out;
    }
    case Value::Kind::object: {
        auto out = nlohmann::json::object();
        for (const auto& [k, e] : *v.asObject())
            out[jsonText(k)] = toJSON(e, depth + 1, joinPath(path, k));
        return out;
    }
    }
    return nullptr;
}

// Builds the value tree straight from the parser's events, so depth is checked before
// anything deep is built.
class ValueBuilder {
public:
    using json = nlohmann::json;

    bool null() { return add(Value(Null{})); }
    bool boolean(bool v) { return add(Value(v)); }
    bool number_integer(json::number_integer_t v) { return add(Value(static_cast<long long>(v))); }
    bool number_unsigned(json::number_unsigned_t v) {
        if (v <= static_cast<json::number_unsigned_t>(std::numeric_limits<std::int64_t>::max()))
            return add(Value(static_cast<long long>(v)));
        return add(Value(static_cast<double>(v))); // beyond 64-bit integers: a JSON number all the same
    }
    bool number_float(json::number_float_t, const std::string& raw) {
        // The parser hands over its token with the C locale's decimal mark in place of '.'.
        std::string text = raw;
        if (const char mark = *std::localeconv()->decimal_point; mark != '.')
            std::replace(text.begin(), text.end(), mark, '.');
        double v = 0;
        auto r = std::from_chars(text.data(), text.data() + text.size(), v);
        if (r.ec != std::errc() || r.ptr != text.data() + text.size() || !std::isfinite(v))
            return failAt("number " + text + " is not representable.");
        return add(Value(v));
    }
    bool string(std::string& v) {
        if (auto c = unstorableCharacter(v))
            return failAt("text holds the character " + characterName(*c) +
                          ", which a show file cannot hold.");
        return add(Value(std::move(v)));
    }
    bool binary(json::binary_t&) { return fail("binary values are not JSON."); }
    bool start_object(std::size_t) { return open(Value(ValueObject{})); }
    bool start_array(std::size_t) { return open(Value(ValueArray{})); }
    bool key(std::string& k) {
        if (auto c = unstorableCharacter(k)) {
            keys_.back() = storableText(k); // the path names it without the character itself
            return failAt("key holds the character " + characterName(*c) +
                          ", which a show file cannot hold.");
        }
        keys_.back() = std::move(k);
        return true;
    }
    bool end_object() { return close(); }
    bool end_array() { return close(); }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception& e) {
        error_ = e.what();
        return false;
    }

    std::optional<Value> result;
    std::string error_;
    std::string errorPath_;

private:
    // The key path of the value being read.
    std::string currentPath() const {
        std::string path;
        for (std::size_t i = 0; i < stack_.size(); ++i)
            path =
                stack_[i].asArray() ? indexPath(path, stack_[i].asArray()->size()) : joinPath(path, keys_[i]);
        return path;
    }
    bool failAt(std::string message) {
        errorPath_ = currentPath();
        return fail(std::move(message));
    }
    bool fail(std::string message) {
        error_ = std::move(message);
        return false;
    }
    bool open(Value container) {
        if (stack_.size() >= static_cast<std::size_t>(maxDepth))
            return fail("nested deeper than " + std::to_string(maxDepth) + " levels.");
        stack_.push_back(std::move(container));
        keys_.emplace_back();
        return true;
    }
    bool close() {
        Value done = std::move(stack_.back());
        stack_.pop_back();
        keys_.pop_back();
        return add(std::move(done));
    }
    bool add(Value v) {
        if (stack_.empty()) {
            result = std::move(v);
            return true;
        }
        if (auto a = stack_.back().asArray())
            a->push_back(std::move(v));
        else
            (*stack_.back().asObject())[keys_.back()] = std::move(v);
        return true;
    }
    std::vector<Value> stack_;
    std::vector<std::string> keys_;
};

} // namespace

std::string writePropertyList(const Value& value) {
    std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                      "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
                      "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
                      "<plist version=\"1.0\">\n";
    writePlistValue(out, value, 0, "");
    out += "</plist>\n";
    return out;
}

Value readPropertyList(std::string_view xml, bool markerIsText) {
    pugi::xml_document document;
    auto result = document.load_buffer(
        xml.data(), xml.size(), pugi::parse_default | pugi::parse_ws_pcdata_single, pugi::encoding_utf8);
    if (!result)
        plistError("",
                   std::string(result.description()) + " at offset " + std::to_string(result.offset) + ".");
    pugi::xml_node root;
    forEachElement(document, "", [&](const pugi::xml_node& child) {
        if (root)
            plistError("", "more than one root element.");
        root = child;
    });
    if (!root)
        plistError("", "no root element.");
    if (std::string_view(root.name()) != "plist")
        return readPlistValue(root, "", 1, markerIsText);
    pugi::xml_node top;
    forEachElement(root, "", [&](const pugi::xml_node& child) {
        if (top)
            plistError("", "more than one value inside <plist>.");
        top = child;
    });
    if (!top)
        plistError("", "<plist> holds no value.");
    return readPlistValue(top, "", 1, markerIsText);
}

std::string writeJSON(const Value& value) {
    try {
        return toJSON(value, 1, "").dump(2, ' ', false, nlohmann::json::error_handler_t::strict);
    } catch (const nlohmann::json::exception& e) {
        corrupted("", std::string("Unable to write JSON: ") + e.what());
    }
}

Value readJSON(std::string_view input) {
    // Invalid UTF-8 is repaired rather than refused; JSON's own syntax is all ASCII.
    std::string repaired;
    std::string_view json = input;
    if (!isCleanText(input)) {
        repaired = validUTF8(input);
        json = repaired;
    }
    ValueBuilder builder;
    bool ok = false;
    try {
        ok = nlohmann::json::sax_parse(json.begin(), json.end(), &builder);
    } catch (const nlohmann::json::exception& e) {
        builder.error_ = e.what();
    }
    if (!ok || !builder.result)
        corrupted(builder.errorPath_,
                  "The given data was not valid JSON: " +
                      (builder.error_.empty() ? std::string("no value.") : builder.error_));
    return std::move(*builder.result);
}

std::string validUTF8(std::string_view text) {
    return cleanedText(text, false);
}

std::optional<char32_t> unstorableCharacter(std::string_view text) {
    for (std::size_t at = 0; at < text.size();) {
        char32_t c = 0;
        const std::size_t length = sequenceLength(text, at, c);
        if (length == 0) {
            ++at;
            continue;
        }
        if (!storable(c))
            return c;
        at += length;
    }
    return std::nullopt;
}

std::string storableText(std::string_view text) {
    return cleanedText(text, true);
}

std::string characterName(char32_t character) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "U+%04X", static_cast<unsigned>(character));
    return buf;
}

} // namespace platform
