#pragma once
// The type tags a value type answers to: always one tag (atomic), one tag out of a list per
// value (variable, like "T"/"F"), or a run of tags per value (variadic, like arrays).

#include <functional>
#include <optional>
#include <string>

class OSCValueTagIdentity {
public:
    enum class Kind { atomic, variable, variadic };

    static OSCValueTagIdentity atomic(char tag) {
        return OSCValueTagIdentity(Kind::atomic, std::string(1, tag));
    }
    static OSCValueTagIdentity variable(std::string tags) {
        return OSCValueTagIdentity(Kind::variable, std::move(tags));
    }
    static OSCValueTagIdentity variadic(std::optional<int> minCount, std::optional<int> maxCount) {
        OSCValueTagIdentity identity(Kind::variadic, {});
        identity.minCount_ = minCount;
        identity.maxCount_ = maxCount;
        return identity;
    }

    Kind kind() const { return kind_; }
    // The one tag of an atomic identity, the list of a variable one, nothing for variadic.
    const std::string& tags() const { return tags_; }
    std::optional<int> minCount() const { return minCount_; }
    std::optional<int> maxCount() const { return maxCount_; }

    // Variadic identities match no single tag.
    bool matches(char tag) const { return kind_ != Kind::variadic && tags_.find(tag) != std::string::npos; }

    bool operator==(const OSCValueTagIdentity&) const = default;

private:
    OSCValueTagIdentity(Kind kind, std::string tags) : kind_(kind), tags_(std::move(tags)) {}

    Kind kind_;
    std::string tags_;
    std::optional<int> minCount_;
    std::optional<int> maxCount_;
};

template <> struct std::hash<OSCValueTagIdentity> {
    std::size_t operator()(const OSCValueTagIdentity& identity) const noexcept {
        std::size_t seed = static_cast<std::size_t>(identity.kind());
        seed = seed * 1099511628211ULL ^ std::hash<std::string>{}(identity.tags());
        for (auto count : {identity.minCount(), identity.maxCount()})
            seed = seed * 1099511628211ULL ^ (count ? std::hash<int>{}(*count) * 2 + 1 : 0);
        return seed;
    }
};
