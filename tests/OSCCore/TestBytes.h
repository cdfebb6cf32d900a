#pragma once
// Byte vectors written the way packet dumps read: hex bytes and quoted text side by side.

#include "OSCCore/Data.h"

#include <cctype>
#include <stdexcept>
#include <string>
#include <string_view>

// "2F 61 00 00" or with text: bytesOf("'/ab' 00 ',i' 00 00 00 00 01")
inline Data bytesOf(std::string_view dump) {
    Data out;
    for (std::size_t i = 0; i < dump.size();) {
        const char c = dump[i];
        if (c == ' ') {
            ++i;
        } else if (c == '\'') {
            const auto end = dump.find('\'', i + 1);
            if (end == std::string_view::npos)
                throw std::invalid_argument("unterminated text");
            out.insert(out.end(), dump.begin() + static_cast<long>(i) + 1,
                       dump.begin() + static_cast<long>(end));
            i = end + 1;
        } else {
            out.push_back(static_cast<std::uint8_t>(std::stoi(std::string(dump.substr(i, 2)), nullptr, 16)));
            i += 2;
        }
    }
    return out;
}

inline std::string hexOf(const Data& bytes) {
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i)
            out += ' ';
        out += digits[bytes[i] >> 4];
        out += digits[bytes[i] & 0xF];
    }
    return out;
}

inline Data operator+(Data a, const Data& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}
