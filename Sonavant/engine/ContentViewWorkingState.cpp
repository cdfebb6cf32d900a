// The working state mirrored in the user defaults, one "saved..." key per item. Every key
// is written and read on its own: a value that cannot be written keeps the one stored
// before, and a value that is missing, of another type or unreadable takes its default
// (or leaves the show as it is), without touching the other keys.

#include "Sonavant/engine/BackgroundImageBookmark.h"
#include "Sonavant/engine/ContentView.h"
#include "Sonavant/engine/ContentViewPresenter.h"
#include "Sonavant/engine/LatestWriteQueue.h"
#include "Sonavant/model/AppStatePersistence.h"
#include "platform/Dispatch.h"
#include "platform/Log.h"
#include "platform/Serialization.h"
#include "platform/UserDefaults.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <map>
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
// Which joint write of the autosave and the working state wrote them (an added key).
constexpr const char* writeStamp = "savedWriteStamp";
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

namespace {

// The show as a document holds it, in objects of its own: the writer's thread reads them
// while the operator changes the live ones. Cues shared with the view's list are copied once.
using CueCopies = std::map<const PathCue*, std::shared_ptr<PathCue>>;

std::vector<std::shared_ptr<PathCue>> copyCues(const std::vector<std::shared_ptr<PathCue>>& cues,
                                               CueCopies& copies) {
    std::vector<std::shared_ptr<PathCue>> list;
    list.reserve(cues.size());
    for (const auto& cue : cues) {
        auto& copy = copies[cue.get()];
        if (!copy && cue)
            copy = std::make_shared<PathCue>(*cue);
        list.push_back(copy);
    }
    return list;
}

std::shared_ptr<AppState> detachedShow(const AppState& s, CueCopies& cues) {
    std::vector<std::shared_ptr<SoundObject>> sources;
    sources.reserve(s.soundObjects->size());
    for (const auto& source : s.soundObjects.get())
        sources.push_back(source ? source->detachedCopy() : nullptr);
    auto copy = std::make_shared<AppState>(
        s.speakers.get(), std::move(sources), s.groups.get(), s.snapshots.get(), s.selectedDesk.get(),
        s.oscOutputOn.get(), s.targetDeskIP.get(), s.targetPort.get(), s.showZeroPoint.get(), s.range.get(),
        s.minLevel.get(), s.maxLevel.get(), s.minMaxRelitive.get(), copyCues(s.pathCues.get(), cues),
        s.zeroPoint.get(), s.zeroPointPosition.get(), s.isSoundScapeMode.get(), s.receivePort.get(),
        s.backgroundImageURL.get(), s.showBackgroundImage.get(), s.backgroundImageOffset.get(),
        s.backgroundImageScale.get(), s.canvasOrientation.get(), s.backgroundImageRotation.get(),
        s.showSidebar.get(), s.constantPowerPan.get(), s.panningMode.get());
    copy->audienceAreas = s.audienceAreas.get();
    copy->selectedAudienceAreaID = s.selectedAudienceAreaID.get();
    copy->isEditingAudienceArea = s.isEditingAudienceArea.get();
    copy->soundscapeSpeakers = s.soundscapeSpeakers.get();
    copy->freezeStates = s.freezeStates.get();
    copy->muteStates = s.muteStates.get();
    copy->showGrid = s.showGrid.get();
    copy->showSpeakerFocus = s.showSpeakerFocus.get();
    copy->showSpeakerCoverage = s.showSpeakerCoverage.get();
    copy->defaultSpeakerWidth = s.defaultSpeakerWidth.get();
    copy->audienceAwarePanLaw = s.audienceAwarePanLaw.get();
    return copy;
}

} // namespace

// What the two files hold, taken on the main thread; afterwards only the writer reads it.
struct ContentView::WorkingStateCopy {
    std::shared_ptr<AppState> show;
    std::optional<MixingDesk> selectedDesk;
    bool oscOutputOn = false;
    std::string targetDeskIP;
    std::string targetPort;
    bool showZeroPoint = true;
    double zoomLevel = 0;
    std::vector<std::shared_ptr<PathCue>> pathCues;
    double defaultTime = 0;
    std::uint64_t bookmarkRemoval = 0; // the removal request it carries; 0 for none
    std::optional<std::int64_t> stamp;
};

struct ContentView::JointWriteResult {
    std::optional<std::string> autosaveFailure;
    std::filesystem::path autosaveTarget;
    std::optional<std::string> workingStateFailure;
    std::filesystem::path workingStateFile;
};

ContentView::WorkingStateCopy ContentView::copyWorkingState() {
    CueCopies cues;
    WorkingStateCopy copy;
    copy.show = detachedShow(*appState, cues);
    copy.selectedDesk = selectedDesk.get();
    copy.oscOutputOn = oscOutputOn.get();
    copy.targetDeskIP = targetDeskIP.get();
    copy.targetPort = targetPort.get();
    copy.showZeroPoint = showZeroPoint.get();
    copy.zoomLevel = zoomLevel.get();
    copy.pathCues = copyCues(pathManager->pathCues.get(), cues);
    copy.defaultTime = pathManager->defaultTime.get();
    if (backgroundBookmarkRemovalAsked_ > backgroundBookmarkRemovalWritten_->load())
        copy.bookmarkRemoval = backgroundBookmarkRemovalAsked_;
    return copy;
}

// The keys and their values; a value that cannot be coded is left out, so that its key
// keeps the value stored before.
ValueObject ContentView::encodeWorkingState(const WorkingStateCopy& copy) {
    ValueObject d;
    const AppState& show = *copy.show;
    auto storeJSON = [&d](const char* name, auto&& encode) {
        try {
            if (auto data = jsonData(encode()))
                d.emplace(name, Value(std::move(*data)));
        } catch (const std::exception&) {
        }
    };
    storeJSON(key::speakers, [&] { return platform::encodeValue(show.speakers.get()); });
    storeJSON(key::soundObjects, [&] { return platform::encodeValue(show.soundObjects.get()); });
    storeJSON(key::selectedDesk,
              [&] { return copy.selectedDesk ? copy.selectedDesk->encode() : Value(platform::Null{}); });
    storeJSON(key::groups, [&] { return platform::encodeValue(show.groups.get()); });
    storeJSON(key::snapshots, [&] { return platform::encodeValue(show.snapshots.get()); });
    d.emplace(key::range, Value(show.range.get()));
    d.emplace(key::oscOutputOn, Value(copy.oscOutputOn));
    d.emplace(key::targetDeskIP, Value(copy.targetDeskIP));
    d.emplace(key::targetPort, Value(copy.targetPort));
    d.emplace(key::minLevel, Value(show.minLevel.get()));
    d.emplace(key::maxLevel, Value(show.maxLevel.get()));
    d.emplace(key::minMaxRelitive, Value(show.minMaxRelitive.get()));
    d.emplace(key::showZeroPoint, Value(copy.showZeroPoint));
    d.emplace(key::showGrid, Value(show.showGrid.get()));
    d.emplace(key::zoomLevel, Value(copy.zoomLevel));
    d.emplace(key::zeroPoint, pointDictionary(show.zeroPoint));
    d.emplace(key::zeroPointPosition, Value(std::string(rawValue(show.zeroPointPosition.get()))));
    d.emplace(key::isSoundScapeMode, Value(show.isSoundScapeMode.get()));
    d.emplace(key::receivePort, Value(show.receivePort.get()));

    if (const auto& url = show.backgroundImageURL.get(); url && !url->empty()) {
        auto bookmark = BackgroundImageBookmark::make(*url);
        if (bookmark.data)
            d.emplace(key::backgroundImageBookmark, Value(std::move(*bookmark.data)));
        else
            consoleLog("Error creating bookmark for background image URL: " + bookmark.error);
    } else if (copy.bookmarkRemoval) {
        d.emplace(key::backgroundImageBookmark, Value(platform::Null{}));
    }

    d.emplace(key::showBackgroundImage, Value(show.showBackgroundImage.get()));
    d.emplace(key::backgroundImageOffset, pointDictionary(show.backgroundImageOffset));
    d.emplace(key::backgroundImageScale, Value(show.backgroundImageScale.get()));
    storeJSON(key::pathCues, [&] { return platform::encodeValue(copy.pathCues); });
    d.emplace(key::defaultTime, Value(copy.defaultTime));
    storeJSON(key::freezeStates, [&] { return encodePerSource(show.freezeStates); });
    storeJSON(key::muteStates, [&] { return encodePerSource(show.muteStates); });
    d.emplace(key::canvasOrientation, Value(std::string(rawValue(show.canvasOrientation.get()))));
    d.emplace(key::backgroundImageRotation, Value(show.backgroundImageRotation.get()));
    if (copy.stamp)
        d.emplace(key::writeStamp, Value(*copy.stamp));
    return d;
}

void ContentView::saveState() {
    auto values = encodeWorkingState(copyWorkingState());
    UserDefaults& d = workingStateDefaults();
    for (auto& [name, value] : values)
        d.set(name, std::move(value));
}

std::shared_ptr<ContentView::JointWriteResult> ContentView::submitJointWrite(bool tell) {
    auto copy = std::make_shared<WorkingStateCopy>(copyWorkingState());
    copy->stamp = nextWriteStamp_++;
    auto result = std::make_shared<JointWriteResult>();
    if (!jointWrites_)
        jointWrites_ = std::make_unique<LatestWriteQueue>("Sonavant.jointWrite");
    std::shared_ptr<platform::Lease<AppStatePersistence>> files =
        persistence ? persistence->lease() : nullptr;
    jointWrites_->submit([copy, result, tell, files, store = workingStateDefaults().lease(),
                          removalWritten = backgroundBookmarkRemovalWritten_,
                          alive = std::weak_ptr<ContentView*>(aliveToken_)] {
        // The autosave first: the launch takes the working state over it only when both
        // carry the same stamp.
        if (files)
            files->use([&](AppStatePersistence& persistence) {
                if (!persistence.writeAutosave(*copy->show, copy->stamp))
                    result->autosaveFailure = persistence.autosaveError();
                result->autosaveTarget = persistence.autosaveTarget();
            });
        store->use([&](UserDefaults& defaults) {
            if (defaults.setAndSynchronize(encodeWorkingState(*copy))) {
                // Writes run in the order asked, so a later request is never marked written.
                if (copy->bookmarkRemoval)
                    removalWritten->store(copy->bookmarkRemoval);
                consoleLog("✅ App state saved successfully.");
            } else
                result->workingStateFailure = defaults.writeError();
            result->workingStateFile = defaults.filePath();
        });
        if (tell)
            platform::DispatchQueue::main()->async([alive, result] {
                if (auto view = alive.lock())
                    (*view)->reportJointWrite(*result, true);
            });
    });
    return result;
}

void ContentView::writeAutosaveAndWorkingState() {
    submitJointWrite(true);
}

bool ContentView::finishWrites() {
    auto result = submitJointWrite(false);
    waitForWrites();
    reportJointWrite(*result, false);
    return !result->autosaveFailure && !result->workingStateFailure;
}

void ContentView::waitForWrites() {
    if (jointWrites_)
        jointWrites_->wait();
}

void ContentView::reportJointWrite(const JointWriteResult& result, bool tellFailures) {
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
    if (persistence)
        tell(autosaveFailureTold_, result.autosaveFailure,
             {PresenterAlert::Style::warning,
              "The show could not be autosaved.",
              result.autosaveTarget.string() + "\n\n" + result.autosaveFailure.value_or("") + retry,
              {}});
    tell(workingStateFailureTold_, result.workingStateFailure,
         {PresenterAlert::Style::warning,
          "The working state could not be saved.",
          result.workingStateFile.string() + "\n\n" + result.workingStateFailure.value_or("") + retry,
          {}});
}

void ContentView::loadState() {
    const UserDefaults& d = workingStateDefaults();
    AppState& show = *appState;

    // Both files carry the stamp of the joint write that wrote them. An autosave written
    // later than the working state (a kill between the two renames, or a working state that
    // could not be written) holds the newer show whole: the working state's show keys would
    // graft an older show onto it, so only the view's own keys are read then. Files without
    // stamps are read as they always were.
    const std::optional<std::int64_t> autosaveStamp =
        persistence ? persistence->restoredWriteStamp() : std::nullopt;
    const std::optional<std::int64_t> workingStamp = d.integer(key::writeStamp);
    const bool readShow = !autosaveStamp || (workingStamp && *workingStamp >= *autosaveStamp);
    nextWriteStamp_ =
        std::max({nextWriteStamp_, autosaveStamp.value_or(0) + 1, workingStamp.value_or(0) + 1});
    // The desk the stored port was set for; unset when the key is missing or unreadable.
    std::optional<std::optional<MixingDesk>> storedDesk;
    if (auto desk = storedJSON(d, key::selectedDesk)) {
        try {
            storedDesk =
                desk->isNull() ? std::nullopt : std::optional(MixingDesk::decode(*desk, key::selectedDesk));
        } catch (const std::exception&) {
        }
    }
    // As after an Open: the show's desk, when it names one, with its own port where it is
    // not the desk the stored port belongs to.
    const std::optional<MixingDesk> autosaveDesk = readShow ? std::nullopt : show.selectedDesk.get();
    if (!readShow)
        consoleLog("⚠️ The autosave was written after the working state; the show is the autosave's.");
    if (autosaveDesk)
        selectedDesk = *autosaveDesk;
    else if (storedDesk)
        selectedDesk = *storedDesk;

    if (readShow) {
        if (auto speakers = decodeJSON<std::vector<Speaker>>(d, key::speakers))
            show.speakers = std::move(*speakers);
        if (auto sources = decodeJSON<std::vector<std::shared_ptr<SoundObject>>>(d, key::soundObjects))
            show.soundObjects = std::move(*sources);
        else
            consoleLog("⚠️ No saved sound objects found.");
        show.groups =
            decodeJSON<std::vector<ObjectGroup>>(d, key::groups).value_or(std::vector<ObjectGroup>{});
        show.snapshots =
            decodeJSON<std::vector<Snapshot>>(d, key::snapshots).value_or(std::vector<Snapshot>{});
    }

    oscOutputOn = d.boolean(key::oscOutputOn).value_or(false);
    if (readShow)
        show.range = positiveOr(d.number(key::range), 5.0);
    targetDeskIP = d.string(key::targetDeskIP).value_or("192.168.0.2");
    targetPort = d.string(key::targetPort).value_or("49900");
    if (autosaveDesk && (!storedDesk || *storedDesk != autosaveDesk))
        targetPort = std::to_string(autosaveDesk->defaultPort);
    showZeroPoint = d.boolean(key::showZeroPoint).value_or(true);
    show.showGrid = d.boolean(key::showGrid).value_or(false);
    zoomLevel = positiveOr(d.number(key::zoomLevel), 100.0);
    if (readShow) {
        show.minLevel = storedInt(d, key::minLevel).value_or(0);
        // A stored 0 is the operator's; only a missing value means full scale.
        show.maxLevel = storedInt(d, key::maxLevel).value_or(100);
        show.minMaxRelitive = d.boolean(key::minMaxRelitive).value_or(false);

        if (auto zero = storedPoint(d, key::zeroPoint))
            show.zeroPoint = *zero;
        if (auto raw = d.string(key::zeroPointPosition))
            show.zeroPointPosition =
                zeroPointPositionFromRawValue(*raw).value_or(ZeroPointPosition::bottomLeft);
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
    }
    pathManager->defaultTime = positiveOr(d.number(key::defaultTime), PathManager::initialDefaultTime);

    if (readShow) {
        if (auto value = storedJSON(d, key::freezeStates))
            if (auto states = decodePerSource(*value))
                show.freezeStates = std::move(*states);
        if (auto value = storedJSON(d, key::muteStates))
            if (auto states = decodePerSource(*value))
                show.muteStates = std::move(*states);
        show.canvasOrientation = canvasOrientationFromRawValue(d.string(key::canvasOrientation).value_or(""))
                                     .value_or(CanvasOrientation::top);
        show.backgroundImageRotation = finiteOr(d.number(key::backgroundImageRotation), 0.0);
    }

    consoleLog("✅ App state loaded successfully.");
    consoleLog("🔹 Loaded " + std::to_string(show.soundObjects->size()) +
               " sound objects with corrected numbering.");
    consoleLog("🔹 Loaded " + std::to_string(show.speakers->size()) + " speakers.");
    onMainQueue([](ContentView& view) { view.refreshPositionsAfterZeroPointChange(); });
}
