#include "OSCCore/OSCValueMasking.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using Vs = std::vector<OSCValue>;

template <class F> std::string maskError(F&& f) {
    try {
        f();
    } catch (const OSCValueMaskError& e) {
        return e.what();
    }
    return "(ok)";
}

} // namespace

TEST(Masking, NumbersAsDoublesForTheReceiver) {
    const std::vector<OSCValue> values = {std::int32_t{1}, 2.5f, std::int64_t{(std::int64_t{1} << 53) + 1}};
    auto [a, b, c] = masked<AnyOSCNumberValue, AnyOSCNumberValue, AnyOSCNumberValue>(values);
    EXPECT_EQ(a.doubleValue(), 1.0);
    EXPECT_EQ(b.doubleValue(), 2.5);
    EXPECT_EQ(c.doubleValue(), std::ldexp(1.0, 53));
    EXPECT_EQ(a.base.kind(), OSCNumberValueBase::Case::integer);
    EXPECT_EQ(b.base.kind(), OSCNumberValueBase::Case::floatingPoint);
    EXPECT_EQ(masked<AnyOSCNumberValue>(Vs{0.5}).doubleValue(), 0.5);
    EXPECT_EQ(masked<AnyOSCNumberValue>(Vs{std::uint8_t{200}}).intValue(), 200);
    EXPECT_EQ(AnyOSCNumberValue(OSCNumberValueBase(2.9)).intValue(), 2);
    EXPECT_EQ(AnyOSCNumberValue(OSCNumberValueBase(INFINITY)).intValue(), std::nullopt);
    EXPECT_EQ(AnyOSCNumberValue(OSCNumberValueBase(std::uint64_t(-1))).intValue(), std::nullopt);
    EXPECT_EQ(OSCNumberValue<std::int32_t>(3).description(), "Number(3)");
    EXPECT_EQ(AnyOSCNumberValue(OSCNumberValueBase(3.0f)).description(), "3.0");

    // Six numbers of mixed kinds, as a DS100 loudspeaker reply brings them.
    const std::vector<OSCValue> six = {std::int32_t{1}, 2.0f, 3.0, std::int64_t{4}, 5.0f, std::int32_t{6}};
    auto all = masked<AnyOSCNumberValue, AnyOSCNumberValue, AnyOSCNumberValue, AnyOSCNumberValue,
                      AnyOSCNumberValue, AnyOSCNumberValue>(six);
    EXPECT_EQ(std::get<5>(all).doubleValue(), 6.0);
}

TEST(Masking, CountAndTypeErrors) {
    using N = AnyOSCNumberValue;
    const std::string count = "Invalid argument count";
    const std::string type = "Mismatched types";
    EXPECT_EQ(maskError([] { masked<N, N>(Vs{std::int32_t{1}}); }), count);
    EXPECT_EQ(maskError([] { masked<N, N>(Vs{std::int32_t{1}, 2.0f, 3.0f}); }), count);
    EXPECT_EQ(maskError([] { masked<N, N>(Vs{"a", "b", "c"}); }), count); // count before types
    EXPECT_EQ(maskError([] { masked<N, N>(Vs{std::int32_t{1}, "x"}); }), type);
    EXPECT_EQ(maskError([] { masked<N>(Vs{true}); }), type);
    EXPECT_EQ(maskError([] { masked<N>(Vs{OSCNullValue{}}); }), type);
    EXPECT_EQ(maskError([] { masked<std::int32_t>(Vs{}); }), count);
    EXPECT_EQ(maskError([] { masked<std::int32_t>(Vs{std::int64_t{1}}); }), type); // no narrowing
    EXPECT_EQ(maskError([] { masked<double>(Vs{1.0f}); }), type);                  // no widening
    EXPECT_EQ(maskError([] { masked<std::string>(Vs{OSCStringAltValue("a")}); }), type);
    EXPECT_EQ(maskError([] { masked<OSCInt>(Vs{1.0f}); }), type);
    EXPECT_EQ(maskError([] { masked<OSCInt>(Vs{std::uint64_t(-1)}); }), type);
    EXPECT_EQ(maskError([] { masked<std::int32_t, std::optional<float>>(Vs{std::int32_t{1}, "x"}); }), type);
    EXPECT_EQ(maskError([] {
                  masked<std::int32_t, std::optional<std::int32_t>>(Vs{std::int32_t{1}, OSCNullValue{}});
              }),
              type);
    // Both positions wrong: one error, for the first.
    EXPECT_EQ(maskError([] { masked<std::int32_t, std::int32_t>(Vs{"a", "b"}); }), type);
}

TEST(Masking, OptionalPositionsAndExactTypes) {
    EXPECT_EQ(masked<std::optional<std::int32_t>>(Vs{}), std::nullopt);
    auto [i, f] = masked<std::int32_t, std::optional<float>>(Vs{std::int32_t{4}});
    EXPECT_EQ(i, 4);
    EXPECT_EQ(f, std::nullopt);
    EXPECT_EQ(masked<OSCInt>(Vs{std::int64_t{1} << 40}).value, std::int64_t{1} << 40);
    EXPECT_EQ(masked<OSCInt>(Vs{std::int8_t{-3}}).value, -3);
    EXPECT_EQ(masked<OSCStringAltValue>(Vs{OSCStringAltValue("a")}).string, "a");
    EXPECT_EQ(masked<std::string>(Vs{"t"}), "t");
    EXPECT_EQ(masked<OSCNumberValue<std::int32_t>>(Vs{std::int32_t{9}}).value(), 9);
    auto [x, y, z] = masked<float, std::optional<float>, std::optional<float>>(Vs{1.0f, 2.0f});
    EXPECT_EQ(x, 1.0f);
    EXPECT_EQ(y, 2.0f);
    EXPECT_EQ(z, std::nullopt);
    EXPECT_NO_THROW(validateCount(Vs{std::int32_t{1}}, 1));
    EXPECT_THROW(validateCountRange(Vs{}, 1, 2), OSCValueMaskError);
}

TEST(Masking, TokenListTest) {
    using T = OSCValueToken;
    EXPECT_TRUE(matches(Vs{}, {T::int32Optional}));
    EXPECT_FALSE(matches(Vs{}, {T::int32}));
    EXPECT_TRUE(matches(Vs{}, {}));
    EXPECT_FALSE(matches(Vs{std::int32_t{1}}, {}));
    EXPECT_FALSE(matches(Vs{std::int8_t{1}}, {T::int32}));
    EXPECT_TRUE(matches(Vs{std::int8_t{1}}, {T::number}));
    EXPECT_FALSE(matches(Vs{OSCStringAltValue("a")}, {T::string}));
    EXPECT_TRUE(
        matches(Vs{std::int32_t{1}, 2.0, "s"}, {T::number, T::numberOptional, T::string, T::blobOptional}));

    EXPECT_EQ(oscValueTokenFromRaw(30), std::nullopt);
    EXPECT_EQ(oscValueTokenFromRaw(-1), std::nullopt);
    EXPECT_EQ(baseToken(T::numberOptional), T::number);
    EXPECT_FALSE(isOptional(T::number));
    EXPECT_TRUE(isOptional(T::blobOptional));
    EXPECT_EQ(allOSCValueTokens()[29], T::numberOptional);
}
