#pragma once
// One source (an "input" to the operator): a shared object, held by reference by every view
// and by the show state. Every field but `id` is published: each assignment is announced to
// observers before it takes effect. Two sources are equal when their ids are.

#include "Sonavant/model/Geometry.h"
#include "Sonavant/model/MixingDesk.h"
#include "platform/Coding.h"
#include "platform/Observable.h"
#include "platform/UUID.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class SoundObject {
public:
    // A new source of a desk kind, placed at (x, y) metres; named and coloured from the desk.
    SoundObject(std::string type, std::int64_t number, const MixingDesk& desk, double x, double y,
                double zoom, Point zeroPoint);

    SoundObject(const SoundObject&) = delete;
    SoundObject& operator=(const SoundObject&) = delete;

    platform::UUID id;
    platform::Published<Point> position;       // canvas points
    platform::Published<Point> positionMeters; // metres, y up, relative to the zero point
    platform::Published<std::string> name;
    platform::Published<std::string> colour;        // a colour name
    platform::Published<std::string> outlineColour; // a colour name, or empty for none
    platform::Published<std::int64_t> number;       // fills "{n}" in desk templates
    platform::Published<std::string> type;          // a desk kind name

    bool operator==(const SoundObject& other) const { return id == other.id; }

    // Sets colour and outline from the desk's kind names and colours.
    void refreshColour(const MixingDesk& desk);
    // Regenerates the name from kind and number, unless the operator named the source.
    void refreshName(const MixingDesk& desk);

    static const std::vector<std::string>& codingKeys();
    platform::Value encode() const;
    static SoundObject decode(const platform::Value& value, const std::string& path);
    static std::shared_ptr<SoundObject> decodeShared(const platform::Value& value, const std::string& path);

    // Another object with the same id and values and no observers, for a reader that must not
    // share this one (a save written on another thread).
    std::shared_ptr<SoundObject> detachedCopy() const;

private:
    explicit SoundObject(const platform::KeyedDecoder& decoder);
    struct CopyTag {};
    SoundObject(const SoundObject& other, CopyTag);
};

template <> struct platform::Coder<std::shared_ptr<SoundObject>> {
    static Value encode(const std::shared_ptr<SoundObject>& object) {
        return object ? object->encode() : Value(Null{});
    }
    static std::shared_ptr<SoundObject> decode(const Value& value, const std::string& path) {
        return SoundObject::decodeShared(value, path);
    }
};
