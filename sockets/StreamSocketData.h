#pragma once
// Bytes handed to and from a StreamSocket. A read into the caller's own buffer is delivered
// as a view of that buffer (no copy); everything else owns its bytes. Copies share storage.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

class StreamSocketData {
public:
    StreamSocketData() = default;
    StreamSocketData(std::vector<std::uint8_t> bytes) // NOLINT: implicit, so writes take a vector
        : length_(bytes.size()), storage_(std::make_shared<std::vector<std::uint8_t>>(std::move(bytes))) {}
    // A view of `length` bytes of `storage` starting at `offset`.
    StreamSocketData(std::shared_ptr<std::vector<std::uint8_t>> storage, std::size_t offset,
                     std::size_t length)
        : offset_(offset), length_(length), storage_(std::move(storage)) {}

    static StreamSocketData fromString(std::string_view text) {
        return StreamSocketData(std::vector<std::uint8_t>(text.begin(), text.end()));
    }

    const std::uint8_t* data() const { return storage_ ? storage_->data() + offset_ : nullptr; }
    std::size_t size() const { return length_; }
    bool empty() const { return length_ == 0; }
    std::span<const std::uint8_t> bytes() const { return {data(), length_}; }
    std::vector<std::uint8_t> toVector() const { return {data(), data() + length_}; }
    std::string toString() const { return std::string(reinterpret_cast<const char*>(data()), length_); }

private:
    std::size_t offset_ = 0;
    std::size_t length_ = 0;
    std::shared_ptr<std::vector<std::uint8_t>> storage_;
};
