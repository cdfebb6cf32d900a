#pragma once
// An OSC bundle: a time tag and a list of elements, each a message or a nested bundle.
// A parsed bundle keeps its bytes and re-encodes to exactly them.

#include "OSCCore/Data.h"
#include "OSCCore/OSCObjectType.h"
#include "OSCCore/OSCTimeTag.h"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class OSCObject;

class OSCBundle {
public:
    static constexpr OSCObjectType oscObjectType = OSCObjectType::bundle;
    // "#bundle" and one NUL.
    static constexpr std::array<std::uint8_t, 8> header = {'#', 'b', 'u', 'n', 'd', 'l', 'e', 0};
    // How deep bundles may nest inside one packet.
    static constexpr int maxNestingDepth = 32;

    // No time tag means immediately.
    OSCBundle();
    explicit OSCBundle(std::vector<OSCObject> elements, std::optional<OSCTimeTag> timeTag = std::nullopt);
    OSCBundle(const OSCBundle&);
    OSCBundle(OSCBundle&&) noexcept;
    OSCBundle& operator=(const OSCBundle&);
    OSCBundle& operator=(OSCBundle&&) noexcept;
    ~OSCBundle();

    // Parses one bundle and everything nested in it; throws OSCDecodeError.
    static OSCBundle fromRawData(ByteView bytes);
    static OSCBundle fromRawData(Data&& bytes);

    // The bundle's bytes: the parsed input when there is one; throws OSCEncodeError.
    Data rawData() const;

    const OSCTimeTag& timeTag() const { return timeTag_; }
    const std::vector<OSCObject>& elements() const { return elements_; }
    const std::optional<Data>& parsedRawData() const { return rawData_; }

    std::string description() const;
    std::string descriptionPretty() const;

    // Elements, pairwise; time tags and parsed bytes are not compared.
    bool operator==(const OSCBundle& other) const;

private:
    struct Parse {};

public:
    // Parses in place (for packets and bundles, whose elements are never moved); use fromRawData.
    OSCBundle(Parse, ByteView bytes, std::optional<Data>&& keep, int depth);

private:
    friend class OSCObject;
    void appendRawData(Data& out) const;
    std::size_t sizeHint() const;

    OSCTimeTag timeTag_;
    std::vector<OSCObject> elements_;
    std::optional<Data> rawData_;
};

template <> struct std::hash<OSCBundle> { std::size_t operator()(const OSCBundle& bundle) const noexcept; };

#include "OSCCore/OSCObject.h"
