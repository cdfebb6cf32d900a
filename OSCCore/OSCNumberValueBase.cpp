#include "OSCCore/OSCNumberValueBase.h"

#include "OSCCore/Hashing.h"
#include "OSCCore/NumberText.h"

#include <bit>
#include <cmath>
#include <limits>

namespace {
template <class... F> struct Overloaded : F... { using F::operator()...; };
template <class... F> Overloaded(F...) -> Overloaded<F...>;
} // namespace

double OSCNumberValueBase::doubleValue() const {
    return std::visit([](auto v) { return static_cast<double>(v); }, value_);
}

std::optional<std::int64_t> OSCNumberValueBase::intValue() const {
    return std::visit(Overloaded{
                          [](std::int64_t v) -> std::optional<std::int64_t> { return v; },
                          [](std::uint64_t v) -> std::optional<std::int64_t> {
                              if (v > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
                                  return std::nullopt;
                              return static_cast<std::int64_t>(v);
                          },
                          [](auto v) -> std::optional<std::int64_t> {
                              const double t = std::trunc(static_cast<double>(v));
                              // 2^63 itself does not fit; -2^63 does.
                              if (!(t >= -9223372036854775808.0 && t < 9223372036854775808.0))
                                  return std::nullopt;
                              return static_cast<std::int64_t>(t);
                          },
                      },
                      value_);
}

std::string OSCNumberValueBase::description() const {
    return std::visit(Overloaded{
                          [](std::int64_t v) { return std::to_string(v); },
                          [](std::uint64_t v) { return std::to_string(v); },
                          [](auto v) { return osccore::numberText(v); },
                      },
                      value_);
}

bool OSCNumberValueBase::operator==(const OSCNumberValueBase& other) const {
    if (kind() != other.kind())
        return false;
    if (kind() == Case::floatingPoint)
        return doubleValue() == other.doubleValue();
    const auto a = intValue();
    const auto b = other.intValue();
    if (a && b)
        return *a == *b;
    // Only unsigned values above the signed range are left.
    return !a && !b && std::get<std::uint64_t>(value_) == std::get<std::uint64_t>(other.value_);
}

std::size_t OSCNumberValueBase::hashValue() const {
    if (kind() == Case::floatingPoint) {
        const double d = doubleValue();
        return d == 0 ? 0 : std::hash<std::uint64_t>{}(std::bit_cast<std::uint64_t>(d));
    }
    if (auto i = intValue())
        return std::hash<std::int64_t>{}(*i);
    return std::hash<std::uint64_t>{}(std::get<std::uint64_t>(value_));
}
