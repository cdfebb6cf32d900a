#pragma once
// Every failure to decode received bytes. The description is fixed text: a prefix and the reason.

#include <exception>
#include <string>

class OSCDecodeError : public std::exception {
public:
    enum class Kind { malformed, unexpectedType, internalInconsistency };

    static OSCDecodeError malformed(std::string reason) { return {Kind::malformed, std::move(reason)}; }
    static OSCDecodeError unexpectedType(char tag) { return {Kind::unexpectedType, std::string(1, tag)}; }
    static OSCDecodeError internalInconsistency(std::string text) {
        return {Kind::internalInconsistency, std::move(text)};
    }

    Kind kind() const { return kind_; }
    // The reason, the tag character or the inconsistency text, without the prefix.
    const std::string& detail() const { return detail_; }
    const std::string& localizedDescription() const { return description_; }
    const char* what() const noexcept override { return description_.c_str(); }

    bool operator==(const OSCDecodeError& other) const {
        return kind_ == other.kind_ && detail_ == other.detail_;
    }

private:
    OSCDecodeError(Kind kind, std::string detail) : kind_(kind), detail_(std::move(detail)) {
        switch (kind_) {
        case Kind::malformed:
            description_ = "Malformed data: " + detail_;
            break;
        case Kind::unexpectedType:
            description_ = "Unexpected OSC Type Tag: " + detail_;
            break;
        case Kind::internalInconsistency:
            description_ = "Internal inconsistency: " + detail_;
            break;
        }
    }

    Kind kind_;
    std::string detail_;
    std::string description_;
};
