#pragma once
// Text that keeps up to 55 bytes inside itself: OSC addresses are short, and a message
// should not need an allocation for its address.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

namespace osccore {

class SmallText {
public:
    static constexpr std::size_t inlineCapacity = 55;

    SmallText() { small_[0] = 0; }
    explicit SmallText(std::string_view text) { assign(text); }
    SmallText(const SmallText& other) { assign(other.view()); }
    SmallText(SmallText&& other) noexcept : size_(other.size_), large_(std::move(other.large_)) {
        if (!large_)
            std::memcpy(small_, other.small_, size_ + 1);
        other.size_ = 0;
        other.small_[0] = 0;
    }
    SmallText& operator=(const SmallText& other) {
        if (this != &other)
            assign(other.view());
        return *this;
    }
    SmallText& operator=(SmallText&& other) noexcept {
        if (this != &other) {
            size_ = other.size_;
            large_ = std::move(other.large_);
            if (!large_)
                std::memcpy(small_, other.small_, size_ + 1);
            other.size_ = 0;
            other.small_[0] = 0;
        }
        return *this;
    }

    std::string_view view() const { return {data(), size_}; }
    const char* data() const { return large_ ? large_.get() : small_; }
    std::size_t size() const { return size_; }

private:
    void assign(std::string_view text) {
        if (text.size() <= inlineCapacity) {
            large_.reset();
            if (!text.empty())
                std::memcpy(small_, text.data(), text.size());
            small_[text.size()] = 0;
        } else {
            auto buffer = std::make_unique_for_overwrite<char[]>(text.size() + 1);
            std::memcpy(buffer.get(), text.data(), text.size());
            buffer[text.size()] = 0;
            large_ = std::move(buffer);
        }
        size_ = text.size();
    }

    std::size_t size_ = 0;
    std::unique_ptr<char[]> large_;
    char small_[inlineCapacity + 1];
};

} // namespace osccore
