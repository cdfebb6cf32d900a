#pragma once
// The argument list of a message: a vector of values that keeps its first few values inside
// itself, so building or parsing a typical message needs no allocation for it. It reads
// like a std::vector and converts to std::span<const OSCValue>.

#include "OSCCore/OSCValue.h"

#include <algorithm>
#include <initializer_list>
#include <memory>
#include <new>
#include <span>
#include <vector>

class OSCValues {
public:
    static constexpr std::size_t inlineCapacity = 4;

    OSCValues() noexcept {}
    OSCValues(std::initializer_list<OSCValue> values) { append(values.begin(), values.end()); }
    OSCValues(std::span<const OSCValue> values) { append(values.begin(), values.end()); }
    OSCValues(const std::vector<OSCValue>& values) { append(values.begin(), values.end()); }
    OSCValues(std::vector<OSCValue>&& values) {
        reserve(values.size());
        for (auto& v : values)
            emplace_back(std::move(v));
    }
    OSCValues(const OSCValues& other) { append(other.begin(), other.end()); }
    OSCValues(OSCValues&& other) noexcept { take(std::move(other)); }
    OSCValues& operator=(const OSCValues& other) {
        if (this != &other) {
            clear();
            append(other.begin(), other.end());
        }
        return *this;
    }
    OSCValues& operator=(OSCValues&& other) noexcept {
        if (this != &other) {
            release();
            take(std::move(other));
        }
        return *this;
    }
    ~OSCValues() { release(); }

    const OSCValue* data() const { return data_; }
    const OSCValue* begin() const { return data_; }
    const OSCValue* end() const { return data_ + size_; }
    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    const OSCValue& operator[](std::size_t i) const { return data_[i]; }
    const OSCValue& front() const { return data_[0]; }
    const OSCValue& back() const { return data_[size_ - 1]; }
    operator std::span<const OSCValue>() const { return {data_, size_}; }
    std::vector<OSCValue> vector() const& { return std::vector<OSCValue>(begin(), end()); }
    std::vector<OSCValue> vector() && {
        std::vector<OSCValue> out;
        out.reserve(size_);
        for (std::size_t i = 0; i < size_; ++i)
            out.push_back(std::move(data_[i]));
        clear();
        return out;
    }

    void reserve(std::size_t capacity) {
        if (capacity <= capacity_)
            return;
        auto* fresh = static_cast<OSCValue*>(
            ::operator new(capacity * sizeof(OSCValue), std::align_val_t(alignof(OSCValue))));
        std::uninitialized_move(data_, data_ + size_, fresh);
        std::destroy(data_, data_ + size_);
        freeHeap();
        data_ = fresh;
        capacity_ = capacity;
    }
    void push_back(OSCValue value) { emplace_back(std::move(value)); }
    template <class... A> void emplace_back(A&&... args) {
        if (size_ == capacity_) {
            // The arguments may refer into this list: build the value before growing.
            OSCValue value(std::forward<A>(args)...);
            reserve(capacity_ * 2);
            new (data_ + size_) OSCValue(std::move(value));
        } else {
            new (data_ + size_) OSCValue(std::forward<A>(args)...);
        }
        ++size_;
    }
    void clear() {
        std::destroy(data_, data_ + size_);
        size_ = 0;
    }

    friend bool operator==(const OSCValues& a, std::span<const OSCValue> b) {
        return std::equal(a.begin(), a.end(), b.begin(), b.end());
    }
    friend bool operator==(const OSCValues& a, const OSCValues& b) {
        return std::equal(a.begin(), a.end(), b.begin(), b.end());
    }
    friend bool operator==(const OSCValues& a, const std::vector<OSCValue>& b) {
        return std::equal(a.begin(), a.end(), b.begin(), b.end());
    }

private:
    template <class It> void append(It first, It last) {
        reserve(size_ + static_cast<std::size_t>(std::distance(first, last)));
        for (; first != last; ++first)
            emplace_back(*first);
    }
    bool onHeap() const { return data_ != inlineData(); }
    OSCValue* inlineData() const { return reinterpret_cast<OSCValue*>(const_cast<unsigned char*>(inline_)); }
    void freeHeap() {
        if (onHeap())
            ::operator delete(data_, std::align_val_t(alignof(OSCValue)));
    }
    void release() {
        clear();
        freeHeap();
        data_ = inlineData();
        capacity_ = inlineCapacity;
    }
    void take(OSCValues&& other) noexcept {
        if (other.onHeap()) {
            data_ = other.data_;
            size_ = other.size_;
            capacity_ = other.capacity_;
        } else {
            // Values move without throwing: every alternative's move is noexcept.
            std::uninitialized_move(other.data_, other.data_ + other.size_, data_);
            size_ = other.size_;
            std::destroy(other.data_, other.data_ + other.size_);
        }
        other.data_ = other.inlineData();
        other.size_ = 0;
        other.capacity_ = inlineCapacity;
    }

    alignas(OSCValue) unsigned char inline_[inlineCapacity * sizeof(OSCValue)];
    OSCValue* data_ = inlineData();
    std::size_t size_ = 0;
    std::size_t capacity_ = inlineCapacity;
};

static_assert(std::is_nothrow_move_constructible_v<OSCValue>);
