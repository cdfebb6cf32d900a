#include "OSCCore/ASCIICharacter.h"

#include "OSCCore/ASCIIString.h"
#include "OSCCore/TextCharacters.h"

ASCIICharacter::ASCIICharacter(std::string_view text) : ASCIICharacter() {
    if (text.empty())
        return;
    osccore::Characters characters(text);
    const std::string_view first = characters[0];
    if (auto code = osccore::asciiCode(first)) {
        characterValue_ = std::string(first);
        asciiValue_ = *code;
        return;
    }
    std::string converted = latinASCIITransform(first).stringValue();
    if (converted.empty())
        converted.assign(1, '?');
    asciiValue_ = osccore::asciiCode(converted).value_or(63);
    characterValue_ = std::move(converted);
}

std::optional<ASCIICharacter> ASCIICharacter::exactly(std::string_view character) {
    if (character.empty())
        return std::nullopt;
    if (auto code = osccore::asciiCode(character))
        return ASCIICharacter(std::string(character), *code);
    if (osccore::isASCIIBytes(character))
        return std::nullopt; // several ASCII characters
    osccore::Characters characters(character);
    if (characters.size() != 1)
        return std::nullopt;
    if (auto code = osccore::asciiCode(characters[0]))
        return ASCIICharacter(std::string(characters[0]), *code); // e.g. a canonical equivalent of "K"
    return std::nullopt;
}

std::optional<ASCIICharacter> ASCIICharacter::fromRawData(ByteView bytes) {
    if (bytes.size() != 1 || bytes[0] >= 0x80)
        return std::nullopt;
    return ASCIICharacter(std::string(1, static_cast<char>(bytes[0])), bytes[0]);
}

std::string ASCIICharacter::description() const {
    if (asciiValue_ >= 32 && asciiValue_ <= 126)
        return characterValue_;
    return "?";
}

std::string ASCIICharacter::debugDescription() const {
    return "ASCIICharacter(#" + std::to_string(asciiValue_) + ": \"" + description() + "\")";
}

bool ASCIICharacter::operator==(std::string_view character) const {
    return osccore::canonicallyEqual(characterValue_, character);
}
