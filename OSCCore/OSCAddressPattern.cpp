#include "OSCCore/OSCAddressPattern.h"

#include "OSCCore/ASCIIString.h"
#include "OSCCore/TextCharacters.h"
#include "OSCCore/TextUtilities.h"

#include <algorithm>
#include <list>
#include <optional>

using Token = OSCAddressPattern::Component::Token;
using CharacterGroup = Token::CharacterGroup;

OSCAddressPattern::OSCAddressPattern(std::string_view text)
    : rawAddress_(osccore::isASCIIBytes(text) ? text
                                              : std::string_view(latinASCIITransform(text).stringValue())) {}

OSCAddressPattern OSCAddressPattern::fromPathComponents(const std::vector<std::string>& parts) {
    std::string text = "/";
    for (std::size_t i = 0; i < parts.size(); ++i)
        text += (i ? "/" : "") + parts[i];
    return OSCAddressPattern(text);
}

std::vector<std::string> OSCAddressPattern::pathComponents() const {
    std::vector<std::string> out;
    for (auto part : osccore::addressComponents(rawAddress()))
        out.emplace_back(part);
    return out;
}

std::vector<OSCAddressPattern::Component> OSCAddressPattern::components() const {
    std::vector<Component> out;
    for (auto part : osccore::addressComponents(rawAddress()))
        out.push_back(parsePatternComponent(part));
    return out;
}

bool OSCAddressPattern::matches(std::string_view address) const {
    const auto patternParts = osccore::addressComponents(rawAddress());
    if (patternParts.empty())
        return false;
    const auto addressParts = osccore::addressComponents(address);
    if (patternParts.size() != addressParts.size())
        return false;
    for (std::size_t i = 0; i < patternParts.size(); ++i)
        if (!parsePatternComponent(patternParts[i]).matches(addressParts[i]))
            return false;
    return true;
}

OSCAddressPattern::Component OSCAddressPattern::parsePatternComponent(std::string_view text) {
    Component component;
    auto& tokens = component.tokens;
    const osccore::Characters chars(text);
    std::string buffer;
    const auto flush = [&] {
        if (!buffer.empty())
            tokens.push_back(Token::literal(std::move(buffer)));
        buffer.clear();
    };
    // Where the next "]" and "}" stand from each place on, found in one backward pass: a
    // long run of unclosed brackets must not cost a scan each.
    std::vector<std::size_t> nextSquare(chars.size() + 1, chars.size()),
        nextCurly(chars.size() + 1, chars.size());
    for (std::size_t j = chars.size(); j-- > 0;) {
        nextSquare[j] = chars[j] == "]" ? j : nextSquare[j + 1];
        nextCurly[j] = chars[j] == "}" ? j : nextCurly[j + 1];
    }
    const auto find = [&](std::size_t from, std::string_view what) {
        return std::min(from, chars.size()) == chars.size() ? chars.size()
               : what == "]"                                ? nextSquare[from]
                                                            : nextCurly[from];
    };
    std::size_t i = 0;
    while (i < chars.size()) {
        const std::string_view c = chars[i];
        if (c == "*") {
            flush();
            if (tokens.empty() || tokens.back().kind() != Token::Kind::zeroOrMoreWildcard)
                tokens.push_back(Token::zeroOrMoreWildcard());
            ++i;
        } else if (c == "?") {
            flush();
            tokens.push_back(Token::singleCharWildcard());
            ++i;
        } else if (c == "[" && find(i + 1, "]") < chars.size()) {
            const std::size_t close = find(i + 1, "]");
            flush();
            tokens.push_back(parseCharacterGroup(chars.slice(i + 1, close)));
            i = close + 1;
        } else if (c == "{" && find(i + 1, "}") < chars.size()) {
            const std::size_t close = find(i + 1, "}");
            std::set<std::string> members;
            std::string member;
            for (std::size_t j = i + 1; j <= close; ++j) {
                if (j == close || chars[j] == ",") {
                    if (!member.empty())
                        members.insert(std::move(member));
                    member.clear();
                } else {
                    member += chars[j];
                }
            }
            flush();
            tokens.push_back(Token::strings(std::move(members)));
            i = close + 1;
        } else {
            // Also an unclosed "[" or "{": an ordinary character.
            buffer += c;
            ++i;
        }
    }
    flush();
    return component;
}

Token OSCAddressPattern::parseCharacterGroup(std::string_view text) {
    if (text.empty())
        return Token::singleChar(false, {});
    const osccore::Characters chars(text);
    std::list<std::string> rest;
    for (std::size_t i = 0; i < chars.size(); ++i)
        rest.emplace_back(chars[i]);
    bool isExclusion = false;
    if (rest.front() == "!") {
        if (rest.size() == 1)
            return Token::singleChar(true, {});
        rest.pop_front();
        isExclusion = true;
    }
    std::set<CharacterGroup> groups;
    bool dash = false;
    while (!rest.empty()) {
        const auto hyphen = std::find(rest.begin(), rest.end(), "-");
        if (hyphen == rest.end()) {
            for (auto& c : rest)
                groups.insert(CharacterGroup::single(c));
            break;
        }
        if (hyphen == rest.begin() || std::next(hyphen) == rest.end()) {
            rest.erase(hyphen);
            dash = true;
            continue;
        }
        const auto before = std::prev(hyphen);
        const auto after = std::next(hyphen);
        groups.insert(CharacterGroup::asciiRange(*before, *after));
        rest.erase(before, std::next(after));
    }
    if (dash)
        groups.insert(CharacterGroup::single("-"));
    return Token::singleChar(isExclusion, std::move(groups));
}

bool CharacterGroup::accepts(std::string_view character) const {
    if (kind == Kind::single)
        return character == start;
    const auto c = osccore::asciiCode(character);
    const auto s = osccore::asciiCode(start);
    const auto e = osccore::asciiCode(end);
    return c && s && e && *s <= *c && *c <= *e;
}

namespace {

std::vector<std::string> charactersOf(std::string_view text) {
    const osccore::Characters chars(text);
    std::vector<std::string> out;
    out.reserve(chars.size());
    for (std::size_t i = 0; i < chars.size(); ++i)
        out.emplace_back(chars[i]);
    return out;
}

// Whether the characters of `name` from `p` begin with `wanted`; gives the end.
std::optional<std::size_t> prefixEnd(const osccore::Characters& name, std::size_t p,
                                     const std::vector<std::string>& wanted) {
    if (p + wanted.size() > name.size())
        return std::nullopt;
    for (std::size_t k = 0; k < wanted.size(); ++k)
        if (name[p + k] != wanted[k])
            return std::nullopt;
    return p + wanted.size();
}

} // namespace

bool OSCAddressPattern::Component::matches(std::string_view nameText) const {
    if (tokens.empty())
        return nameText.empty();
    if (tokens.size() == 1 && tokens[0].kind() == Token::Kind::literal)
        return osccore::canonicallyEqual(nameText, tokens[0].literalText());
    if (tokens.size() == 1 && tokens[0].kind() == Token::Kind::zeroOrMoreWildcard)
        return true;

    // The set of positions each token can start at, token by token: polynomial in the
    // length of the name, however many "*" the pattern holds.
    const osccore::Characters name(nameText);
    const std::size_t n = name.size();
    // The work grows with the pattern's length times the name's: past a bound far beyond
    // any real address, the component matches nothing rather than stalling its caller.
    std::size_t patternWeight = 0;
    for (const Token& token : tokens) {
        patternWeight += 1 + token.literalText().size() + token.groups().size();
        for (const auto& member : token.stringMembers())
            patternWeight += member.size();
    }
    if (patternWeight > maxMatchWork / (n + 1))
        return false;
    std::vector<char> reach(n + 1, 0), next(n + 1, 0);
    reach[0] = 1;
    for (const Token& token : tokens) {
        std::fill(next.begin(), next.end(), 0);
        bool any = false;
        std::vector<std::vector<std::string>> texts; // the literal, or the list's members
        if (token.kind() == Token::Kind::literal)
            texts.push_back(charactersOf(token.literalText()));
        for (const auto& member : token.stringMembers())
            texts.push_back(charactersOf(member));
        const auto mark = [&](std::size_t q) {
            next[q] = 1;
            any = true;
        };
        for (std::size_t p = 0; p <= n; ++p) {
            if (!reach[p])
                continue;
            switch (token.kind()) {
            case Token::Kind::literal:
                if (auto end = prefixEnd(name, p, texts[0]))
                    mark(*end);
                break;
            case Token::Kind::zeroOrMoreWildcard:
                for (std::size_t q = p; q <= n; ++q)
                    mark(q);
                p = n; // every later start is covered
                break;
            case Token::Kind::singleCharWildcard:
                if (p < n)
                    mark(p + 1);
                break;
            case Token::Kind::singleChar:
                if (p < n) {
                    const bool inGroup =
                        std::any_of(token.groups().begin(), token.groups().end(),
                                    [&](const CharacterGroup& g) { return g.accepts(name[p]); });
                    if (inGroup != token.isExclusion())
                        mark(p + 1);
                }
                break;
            case Token::Kind::strings:
                if (token.stringMembers().empty())
                    mark(p);
                for (const auto& member : texts)
                    if (auto end = prefixEnd(name, p, member))
                        mark(*end);
                break;
            }
        }
        if (!any)
            return false;
        std::swap(reach, next);
    }
    return reach[n] != 0;
}
