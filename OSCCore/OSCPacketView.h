#pragma once
// Received packets read in place: the views point into the datagram and nothing is copied
// or allocated, so a receiver can read a level or a position at wire speed. They cover the
// argument kinds desks and controllers send (i f d h s b T F N I); a message holding any
// other kind is `unsupported` here and goes through decodeOSCObject, which reads them all.
// The bytes must outlive the views.

#include "OSCCore/Data.h"

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

class OSCArgumentView {
public:
    OSCArgumentView() = default;
    OSCArgumentView(char tag, const std::uint8_t* at, std::uint32_t size) : tag_(tag), at_(at), size_(size) {}

    char tag() const { return tag_; }
    // Each reader is for its own tag only ('i', 'f', 'd', 'h', 's', 'b', 'T'/'F').
    std::int32_t int32() const { return static_cast<std::int32_t>(load32()); }
    float float32() const;
    double float64() const;
    std::int64_t int64() const { return static_cast<std::int64_t>(load64()); }
    std::string_view string() const { return {reinterpret_cast<const char*>(at_), size_}; }
    ByteView blob() const { return {at_, size_}; }
    bool boolean() const { return tag_ == 'T'; }
    // A number argument ('i', 'f', 'd', 'h') as a double; nothing for any other.
    std::optional<double> number() const;
    // Appends what OSCValue::description() gives for the decoded argument.
    void appendDescription(std::string& out) const;

private:
    std::uint32_t load32() const {
        std::uint32_t v;
        std::memcpy(&v, at_, 4);
        return __builtin_bswap32(v);
    }
    std::uint64_t load64() const {
        std::uint64_t v;
        std::memcpy(&v, at_, 8);
        return __builtin_bswap64(v);
    }

    char tag_ = 0;
    const std::uint8_t* at_ = nullptr;
    std::uint32_t size_ = 0;
};

class OSCMessageView {
public:
    enum class Status { ok, unsupported };

    // Checks the whole message once; throws OSCDecodeError (with the full decoder's texts)
    // for bytes no decoder accepts. `unsupported` leaves `out` unusable.
    static Status parse(ByteView bytes, OSCMessageView& out);

    std::string_view address() const { return address_; }
    // The type-tag chunk as sent (commas included).
    std::string_view typeTags() const { return tags_; }
    std::size_t argumentCount() const { return count_; }

    class Iterator {
    public:
        Iterator(std::string_view tags, std::size_t tag, const std::uint8_t* at);
        OSCArgumentView operator*() const { return current_; }
        Iterator& operator++();
        bool operator==(const Iterator& other) const { return tag_ == other.tag_; }

    private:
        void load();
        std::string_view tags_;
        std::size_t tag_;
        const std::uint8_t* at_;
        OSCArgumentView current_;
        std::size_t step_ = 0;
    };
    Iterator begin() const { return {tags_, 0, payload_}; }
    Iterator end() const { return {tags_, tags_.size(), nullptr}; }

private:
    std::string_view address_;
    std::string_view tags_;
    const std::uint8_t* payload_ = nullptr;
    std::size_t count_ = 0;
};

class OSCBundleView {
public:
    // Checks the header and every element's bounds; throws OSCDecodeError as the full
    // decoder does. Elements are handed over as bytes: a message or a nested bundle.
    static OSCBundleView parse(ByteView bytes);
    static bool isBundle(ByteView bytes);

    std::uint64_t timeTag() const { return timeTag_; }

    class Iterator {
    public:
        Iterator(const std::uint8_t* at) : at_(at) {}
        ByteView operator*() const;
        Iterator& operator++();
        bool operator==(const Iterator& other) const { return at_ == other.at_; }

    private:
        const std::uint8_t* at_;
    };
    Iterator begin() const { return {bytes_.data() + 16}; }
    Iterator end() const { return {bytes_.data() + bytes_.size()}; }

private:
    ByteView bytes_;
    std::uint64_t timeTag_ = 0;
};
