// The working state mirrored in the user defaults, one "saved..." key per item. Every key
// is written and read on its own: a value that cannot be written keeps the one stored
// before, and a value that is missing, of another type or unreadable takes its default
// (or leaves the show as it is), without touching the other keys.

#include "Sonavant/engine/BackgroundImageBookmark.h"
#include "Sonavant/engine/ContentView.h"
#include "Sonavant/engine/ContentViewPresenter.h"
#include "Sonavant/model/AppStatePersistence.h"
#include "platform/Log.h"
#include "platform/Serialization.h"
#include "platform/UserDefaults.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <utility>

using platform::Bytes;
using platform::consoleLog;
using platform::UserDefaults;
using platform::Value;
using platform::ValueArray;
using platform::ValueObject;

namespace {

namespace key {
constexpr const char* speakers = "savedSpeakers";
constexpr const char* soundObjects = "savedSoundObjects";
constexpr const char* selectedDesk = "savedSelectedDesk";
constexpr const char* groups = "savedGroups";
constexpr const char* snapshots = "savedSnapshots";
constexpr const char* range = "savedRange";
constexpr const char* oscOutputOn = "savedOscOutputOn";
constexpr const char* targetDeskIP = "savedTargetDeskIP";
constexpr const char* targetPort = "savedTargetPort";
constexpr const char* minLevel = "savedMinLevel";
constexpr const char* maxLevel = "savedMaxLevel";
constexpr const char* minMaxRelitive = "savedminMaxRelitive";
constexpr const char* showZeroPoint = "savedShowZeroPoint";
constexpr const char* showGrid = "savedShowGrid";
constexpr const char* zoomLevel = "savedZoomLevel";
constexpr const char* zeroPoint = "savedZeroPoint";
constexpr const char* zeroPointPosition = "savedZeroPointPosition";
constexpr const char* isSoundScapeMode = "savedIsSoundScapeMode";
constexpr const char* receivePort = "savedReceivePort";
constexpr const char* backgroundImageBookmark = "savedBackgroundImageBookmark";
constexpr const char* showBackgroundImage = "savedShowBackgroundImage";
constexpr const char* backgroundImageOffset = "savedBackgroundImageOffset";
constexpr const char* backgroundImageScale = "savedBackgroundImageScale";
constexpr const char* pathCues = "savedPathCues";
constexpr const char* defaultTime = "savedDefaultTime";
constexpr const char* freezeStates = "savedFreezeStates";
constexpr const char* muteStates = "savedMuteStates";
constexpr const char* canvasOrientation = "savedCanvasOrientation";
constexpr const char* backgroundImageRotation = "savedBackgroundImageRotation";
} // namespace key

// Per source, per loudspeaker: a list alternating the source id and a dictionary keyed by
// the loudspeaker id in decimal.
Value encodePerSource(const PerSourcePerSpeaker<bool>& map) {
    ValueArray list;
    for (const auto& [source, perSpeaker] : map) {
        list.push_back(platform::encodeValue(source));
        ValueObject inner;
        for (const auto& [speaker, flag] : perSpeaker)
            inner.emplace(std::to_string(speaker), Value(flag));
        list.push_back(Value(std::move(inner)));
    }
    return Value(std::move(list));
}

std::optional<PerSourcePerSpeaker<bool>> decodePerSource(const Value& value) {
    const ValueArray* list = value.asArray();
    if (!list || list->size() % 2 != 0)
        return std::nullopt;
    PerSourcePerSpeaker<bool> map;
    for (std::size_t i = 0; i < list->size(); i += 2) {
        const std::string* idText = (*list)[i].asText();
        const ValueObject* inner = (*list)[i + 1].asObject();
        if (!idText || !inner)
            return std::nullopt;
        auto source = platform::UUID::parse(*idText);
        if (!source)
            return std::nullopt;
        std::map<std::int64_t, bool> perSpeaker;
        for (const auto& [text, flag] : *inner) {
            std::int64_t speaker = 0;
            auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), speaker);
            if (ec != std::errc() || end != text.data() + text.size() || !flag.asBool())
                return std::nullopt;
            perSpeaker[speaker] = *flag.asBool();
        }
        map[*source] = std::move(perSpeaker);
    }
    return map;
}

// JSON text stored as data; none when the value cannot be coded.
std::optional<Bytes> jsonData(const Value& value) {
    try {
        const std::string text = platform::writeJSON(value);
        return Bytes(text.begin(), text.end());
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

template <class Encode> void storeJSON(UserDefaults& defaults, const char* name, Encode&& encode) {
    std::optional<Bytes> data;
    try {
        data = jsonData(encode());
    } catch (const std::exception&) {
    }
    // A value that cannot be written leaves the last good one in place.
    if (data)
        defaults.set(name, Value(std::move(*data)));
}

std::optional<Value> storedJSON(const UserDefaults& defaults, const char* name) {
    auto data = defaults.data(name);
    if (!data)
        return std::nullopt;
    try {
        return platform::readJSON(std::string(data->begin(), data->end()));
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

template <class T> std::optional<T> decodeJSON(const UserDefaults& defaults, const char* name) {
    auto value = storedJSON(defaults, name);
    if (!value)
        return std::nullopt;
    try {
        return platform::decodeValue<T>(*value, name);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

Value pointDictionary(Point p) {
    return Value(ValueObject{{"x", Value(p.x)}, {"y", Value(p.y)}});
}

// Only a dictionary of finite numbers; a missing coordinate is 0.
std::optional<Point> storedPoint(const UserDefaults& defaults, const char* name) {
    auto dictionary = defaults.dictionary(name);
    if (!dictionary)
        return std::nullopt;
    Point point;
    for (const auto& [coordinate, value] : *dictionary) {
        double scratch = 0;
        const double* number = value.asNumber(scratch);
        if (!number || !std::isfinite(*number))
            return std::nullopt;
        if (coordinate == "x")
            point.x = *number;
        else if (coordinate == "y")
            point.y = *number;
    }
    return point;
}

double positiveOr(std::optional<double> stored, double fallback) {
    return stored && std::isfinite(*stored) && *stored > 0 ? *stored : fallback;
}

double finiteOr(std::optional<double> stored, double fallback) {
    return stored && std::isfinite(*stored) ? *stored : fallback;
}

std::optional<int> storedInt(const UserDefaults& defaults, const char* name) {
    auto value = defaults.integer(name);
    if (!value || *value < std::numeric_limits<int>::min() || *value > std::numeric_limits<int>::max())
        return std::nullopt;
    return static_cast<int>(*value);
}

} // namespace

UserDefaults& ContentView::workingStateDefaults() {
    return userDefaults ? *userDefaults : UserDefaults::standard();
}

void ContentView::saveState() {
    UserDefaults& d = workingStateDefaults();
    const AppState& show = *appState;

    storeJSON(d, key::speakers, [&] { return platform::encodeValue(show.speakers.get()); });
    storeJSON(d, key::soundObjects, [&] { return platform::encodeValue(show.soundObjects.get()); });
    storeJSON(d, key::selectedDesk, [&] {
        const auto& desk = selectedDesk.get();
        return desk ? desk->encode() : Value(platform::Null{});
    });
    storeJSON(d, key::groups, [&] { return platform::encodeValue(show.groups.get()); });
    storeJSON(d, key::snapshots, [&] { return platform::encodeValue(show.snapshots.get()); });
    d.set(key::range, Value(show.range.get()));
    d.set(key::oscOutputOn, Value(oscOutputOn.get()));
    d.set(key::targetDeskIP, Value(targetDeskIP.get()));
    d.set(key::targetPort, Value(targetPort.get()));
    d.set(key::minLevel, Value(show.minLevel.get()));
    d.set(key::maxLevel, Value(show.maxLevel.get()));
    d.set(key::minMaxRelitive, Value(show.minMaxRelitive.get()));
    d.set(key::showZeroPoint, Value(showZeroPoint.get()));
    d.set(key::showGrid, Value(show.showGrid.get()));
    d.set(key::zoomLevel, Value(zoomLevel.get()));
    d.set(key::zeroPoint, pointDictionary(show.zeroPoint));
    d.set(key::zeroPointPosition, Value(std::string(rawValue(show.zeroPointPosition.get()))));
    d.set(key::isSoundScapeMode, Value(show.isSoundScapeMode.get()));
    d.set(key::receivePort, Value(show.receivePort.get()));

    if (const auto& url = show.backgroundImageURL.get(); url && !url->empty()) {
        auto bookmark = BackgroundImageBookmark::make(*url);
        if (bookmark.data)
            d.set(key::backgroundImageBookmark, Value(std::move(*bookmark.data)));
        else
            consoleLog("Error creating bookmark for background image URL: " + bookmark.error);
    }

    d.set(key::showBackgroundImage, Value(show.showBackgroundImage.get()));
    d.set(key::backgroundImageOffset, pointDictionary(show.backgroundImageOffset));
    d.set(key::backgroundImageScale, Value(show.backgroundImageScale.get()));
    storeJSON(d, key::pathCues, [&] { return platform::encodeValue(pathManager->pathCues.get()); });
    d.set(key::defaultTime, Value(pathManager->defaultTime.get()));
    storeJSON(d, key::freezeStates, [&] { return encodePerSource(show.freezeStates); });
    storeJSON(d, key::muteStates, [&] { return encodePerSource(show.muteStates); });
    d.set(key::canvasOrientation, Value(std::string(rawValue(show.canvasOrientation.get()))));
    d.set(key::backgroundImageRotation, Value(show.backgroundImageRotation.get()));

    consoleLog("✅ App state saved successfully.");
}

bool ContentView::writeAutosaveAndWorkingState(bool tellFailures) {
    std::optional<std::string> autosaveFailure;
    if (persistence && !persistence->writeAutosave(*appState))
        autosaveFailure = persistence->autosaveError();
    saveState();
    // The store writes on a later turn by itself; a kill before then would lose it.
    UserDefaults& defaults = workingStateDefaults();
    std::optional<std::string> workingStateFailure;
    if (!defaults.synchronize())
        workingStateFailure = defaults.writeError();

    // Told once per run of failures, and never from inside a timer's tick: a modal alert
    // there would run the next ticks inside this one.
    auto tell = [&](bool& told, const std::optional<std::string>& failure, PresenterAlert alert) {
        if (!failure) {
            told = false;
            return;
        }
        if (std::exchange(told, true) || !tellFailures)
            return;
        onMainQueue([alert = std::move(alert)](ContentView& view) {
            if (view.presenter)
                view.presenter->showAlert(alert);
        });
    };
    const std::string retry =
        "\n\nSonavant keeps trying. Until a save succeeds, a crash loses the changes made "
        "since the last one.";
    tell(autosaveFailureTold_, autosaveFailure,
         {PresenterAlert::Style::warning,
          "The show could not be autosaved.",
          (persistence ? persistence->autosaveTarget().string() : std::string()) + "\n\n" +
              autosaveFailure.value_or("") + retry,
          {}});
    tell(workingStateFailureTold_, workingStateFailure,
         {PresenterAlert::Style::warning,
          "The working state could not be saved.",
          defaults.filePath().string() + "\n\n" + workingStateFailure.value_or("") + retry,
          {}});
    return !autosaveFailure && !workingStateFailure;
}

void ContentView::loadState() {
    const UserDefaults& d = workingStateDefaults();
    AppState& show = *appState;

    if (auto speakers = decodeJSON<std::vector<Speaker>>(d, key::speakers))
        show.speakers = std::move(*speakers);
    if (auto sources = decodeJSON<std::vector<std::shared_ptr<SoundObject>>>(d, key::soundObjects))
        show.soundObjects = std::move(*sources);
    else
        consoleLog("⚠️ No saved sound objects found.");
    if (auto desk = storedJSON(d, key::selectedDesk)) {
        try {
            selectedDesk =
                desk->isNull() ? std::nullopt : std::optional(MixingDesk::decode(*desk, key::selectedDesk));
        } catch (const std::exception&) {
        }
    }
    show.groups = decodeJSON<std::vector<ObjectGroup>>(d, key::groups).value_or(std::vector<ObjectGroup>{});
    show.snapshots = decodeJSON<std::vector<Snapshot>>(d, key::snapshots).value_or(std::vector<Snapshot>{});

    oscOutputOn = d.boolean(key::oscOutputOn).value_or(false);
    show.range = positiveOr(d.number(key::range), 5.0);
    targetDeskIP = d.string(key::targetDeskIP).value_or("192.168.0.2");
    targetPort = d.string(key::targetPort).value_or("49900");
    showZeroPoint = d.boolean(key::showZeroPoint).value_or(true);
    show.showGrid = d.boolean(key::showGrid).value_or(false);
    zoomLevel = positiveOr(d.number(key::zoomLevel), 100.0);
    show.minLevel = storedInt(d, key::minLevel).value_or(0);
    // A stored 0 is the operator's; only a missing value means full scale.
    show.maxLevel = storedInt(d, key::maxLevel).value_or(100);
    show.minMaxRelitive = d.boolean(key::minMaxRelitive).value_or(false);

    if (auto zero = storedPoint(d, key::zeroPoint))
        show.zeroPoint = *zero;
    if (auto raw = d.string(key::zeroPointPosition))
        show.zeroPointPosition = zeroPointPositionFromRawValue(*raw).value_or(ZeroPointPosition::bottomLeft);
    show.isSoundScapeMode = d.boolean(key::isSoundScapeMode).value_or(false);
    show.receivePort = d.string(key::receivePort).value_or("6000");

    if (auto bookmark = d.data(key::backgroundImageBookmark)) {
        auto resolved = BackgroundImageBookmark::resolve(*bookmark);
        if (!resolved.url) {
            consoleLog("Error resolving background image bookmark: " + resolved.error);
        } else {
            if (resolved.isStale)
                consoleLog("Background image bookmark is stale.");
            show.backgroundImageURL = *resolved.url;
        }
    }
    show.showBackgroundImage = d.boolean(key::showBackgroundImage).value_or(false);
    show.backgroundImageOffset = storedPoint(d, key::backgroundImageOffset).value_or(Point{0, 0});
    show.backgroundImageScale = finiteOr(d.number(key::backgroundImageScale), 1.0);

    if (auto cues = decodeJSON<std::vector<std::shared_ptr<PathCue>>>(d, key::pathCues))
        pathManager->pathCues = std::move(*cues);
    pathManager->defaultTime = positiveOr(d.number(key::defaultTime), PathManager::initialDefaultTime);

    if (auto value = storedJSON(d, key::freezeStates))
        if (auto states = decodePerSource(*value))
            show.freezeStates = std::move(*states);
    if (auto value = storedJSON(d, key::muteStates))
        if (auto states = decodePerSource(*value))
            show.muteStates = std::move(*states);
    show.canvasOrientation = canvasOrientationFromRawValue(d.string(key::canvasOrientation).value_or(""))
                                 .value_or(CanvasOrientation::top);
    show.backgroundImageRotation = finiteOr(d.number(key::backgroundImageRotation), 0.0);

    consoleLog("✅ App state loaded successfully.");
    consoleLog("🔹 Loaded " + std::to_string(show.soundObjects->size()) +
               " sound objects with corrected numbering.");
    consoleLog("🔹 Loaded " + std::to_string(show.speakers->size()) + " speakers.");
    onMainQueue([](ContentView& view) { view.refreshPositionsAfterZeroPointChange(); });
}
