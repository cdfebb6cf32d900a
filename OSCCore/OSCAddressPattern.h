#pragma once
// The address of an OSC message, as ASCII text; with wildcards it names several methods.
// A pattern splits at "/" into components; each component is a list of tokens: literal
// text, "*", "?", "[...]" character groups and "{...}" string lists. "//" is an empty
// component, not a path wildcard. Characters are user-perceived characters, compared
// case-sensitively; canonically equivalent texts compare equal.

#include "OSCCore/Data.h"
#include "OSCCore/SmallText.h"

#include <functional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

class OSCAddressPattern {
public:
    class Component {
    public:
        class Token {
        public:
            // One member of a "[...]" group: a single character or an ASCII range.
            struct CharacterGroup {
                enum class Kind { single, asciiRange };
                Kind kind = Kind::single;
                std::string start; // the character of a single group
                std::string end;

                static CharacterGroup single(std::string character) {
                    return {Kind::single, std::move(character), {}};
                }
                static CharacterGroup asciiRange(std::string start, std::string end) {
                    return {Kind::asciiRange, std::move(start), std::move(end)};
                }
                bool accepts(std::string_view character) const;
                auto operator<=>(const CharacterGroup&) const = default;
            };

            enum class Kind { literal, zeroOrMoreWildcard, singleCharWildcard, singleChar, strings };

            static Token literal(std::string text) {
                Token t(Kind::literal);
                t.literal_ = std::move(text);
                return t;
            }
            static Token zeroOrMoreWildcard() { return Token(Kind::zeroOrMoreWildcard); }
            static Token singleCharWildcard() { return Token(Kind::singleCharWildcard); }
            static Token singleChar(bool isExclusion, std::set<CharacterGroup> groups) {
                Token t(Kind::singleChar);
                t.isExclusion_ = isExclusion;
                t.groups_ = std::move(groups);
                return t;
            }
            static Token strings(std::set<std::string> members) {
                Token t(Kind::strings);
                t.strings_ = std::move(members);
                return t;
            }

            Kind kind() const { return kind_; }
            const std::string& literalText() const { return literal_; }
            bool isExclusion() const { return isExclusion_; }
            const std::set<CharacterGroup>& groups() const { return groups_; }
            const std::set<std::string>& stringMembers() const { return strings_; }

            bool operator==(const Token&) const = default;

        private:
            explicit Token(Kind kind) : kind_(kind) {}
            Kind kind_;
            std::string literal_;
            bool isExclusion_ = false;
            std::set<CharacterGroup> groups_;
            std::set<std::string> strings_;
        };

        std::vector<Token> tokens;

        // Whether this component matches one part of an address. A "{...}" list tries each
        // of its members, so the answer never depends on their order.
        bool matches(std::string_view name) const;
        // Steps one match may take (pattern weight times name length); beyond it, no match.
        static constexpr std::size_t maxMatchWork = std::size_t{1} << 20;
        bool operator==(const Component&) const = default;
    };

    // Text that is not ASCII is transliterated (latinASCIITransform).
    explicit OSCAddressPattern(std::string_view text);
    explicit OSCAddressPattern(const char* text) : OSCAddressPattern(std::string_view(text)) {}
    // "/" followed by the parts joined with "/".
    static OSCAddressPattern fromPathComponents(const std::vector<std::string>& parts);

    std::string_view rawAddress() const { return rawAddress_.view(); }
    // The ASCII bytes of the address, without NUL termination.
    ByteView rawData() const {
        return ByteView(reinterpret_cast<const std::uint8_t*>(rawAddress_.data()), rawAddress_.size());
    }
    std::string description() const { return std::string(rawAddress_.view()); }

    // The parts of the address, unparsed.
    std::vector<std::string> pathComponents() const;
    std::vector<Component> components() const;
    // Whether a concrete address is matched by the whole pattern; a component never spans a "/".
    bool matches(std::string_view address) const;

    static Component parsePatternComponent(std::string_view text);
    // The text between "[" and "]" as a singleChar token.
    static Component::Token parseCharacterGroup(std::string_view text);

    bool operator==(const OSCAddressPattern& other) const { return rawAddress() == other.rawAddress(); }

private:
    friend class OSCMessage;
    struct TrustedASCII {};
    OSCAddressPattern(TrustedASCII, std::string_view ascii) : rawAddress_(ascii) {}

    osccore::SmallText rawAddress_;
};

template <> struct std::hash<OSCAddressPattern> {
    std::size_t operator()(const OSCAddressPattern& p) const noexcept {
        return std::hash<std::string_view>{}(p.rawAddress());
    }
};
