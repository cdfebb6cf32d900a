#include "Sonavant/model/AppState.h"

#include <charconv>

using platform::CodingError;
using platform::KeyedDecoder;
using platform::KeyedEncoder;
using platform::UUID;
using platform::Value;
using platform::ValueArray;
using platform::ValueObject;

AppState::AppState(std::vector<Speaker> speakers_, std::vector<std::shared_ptr<SoundObject>> soundObjects_,
                   std::vector<ObjectGroup> groups_, std::vector<Snapshot> snapshots_,
                   std::optional<MixingDesk> selectedDesk_, bool oscOutputOn_, std::string targetDeskIP_,
                   std::string targetPort_, bool showZeroPoint_, double range_, int minLevel_, int maxLevel_,
                   bool minMaxRelitive_, std::vector<std::shared_ptr<PathCue>> pathCues_, Point zeroPoint_,
                   ZeroPointPosition zeroPointPosition_, bool isSoundScapeMode_, std::string receivePort_,
                   std::optional<std::string> backgroundImageURL_, bool showBackgroundImage_,
                   Point backgroundImageOffset_, double backgroundImageScale_,
                   CanvasOrientation canvasOrientation_, double backgroundImageRotation_, bool showSidebar_,
                   bool constantPowerPan_, PanningMode panningMode_)
    : speakers(std::move(speakers_)), soundObjects(std::move(soundObjects_)), groups(std::move(groups_)),
      snapshots(std::move(snapshots_)), selectedDesk(std::move(selectedDesk_)), oscOutputOn(oscOutputOn_),
      targetDeskIP(std::move(targetDeskIP_)), targetPort(std::move(targetPort_)),
      showZeroPoint(showZeroPoint_), range(range_), minLevel(minLevel_), maxLevel(maxLevel_),
      minMaxRelitive(minMaxRelitive_), pathCues(std::move(pathCues_)),
      audienceAreas(std::vector<AudienceArea>{}), selectedAudienceAreaID(std::nullopt),
      isEditingAudienceArea(false), zeroPoint(zeroPoint_), zeroPointPosition(zeroPointPosition_),
      isSoundScapeMode(isSoundScapeMode_), receivePort(std::move(receivePort_)),
      backgroundImageURL(std::move(backgroundImageURL_)), showBackgroundImage(showBackgroundImage_),
      backgroundImageOffset(backgroundImageOffset_), backgroundImageScale(backgroundImageScale_),
      soundscapeSpeakers(std::vector<SoundscapeSpeaker>{}), mixerLevels(PerSourcePerSpeaker<double>{}),
      selectedSoundObject(nullptr), freezeStates(PerSourcePerSpeaker<bool>{}),
      muteStates(PerSourcePerSpeaker<bool>{}), showGrid(false), canvasOrientation(canvasOrientation_),
      backgroundImageRotation(backgroundImageRotation_), showSidebar(showSidebar_),
      constantPowerPan(constantPowerPan_), panningMode(panningMode_), showSpeakerFocus(false),
      showSpeakerCoverage(false), defaultSpeakerWidth(defaultSpeakerWidthValue), audienceAwarePanLaw(false) {}

const std::vector<std::string>& AppState::codingKeys() {
    static const std::vector<std::string> keys{"speakers",
                                               "soundObjects",
                                               "groups",
                                               "snapshots",
                                               "selectedDesk",
                                               "oscOutputOn",
                                               "targetDeskIP",
                                               "targetPort",
                                               "showZeroPoint",
                                               "range",
                                               "minLevel",
                                               "maxLevel",
                                               "minMaxRelitive",
                                               "pathCues",
                                               "zeroPoint",
                                               "zeroPointPosition",
                                               "isSoundScapeMode",
                                               "receivePort",
                                               "backgroundImageURL",
                                               "showBackgroundImage",
                                               "backgroundImageOffset",
                                               "backgroundImageScale",
                                               "soundscapeSpeakers",
                                               "freezeStates",
                                               "muteStates",
                                               "canvasOrientation",
                                               "backgroundImageRotation",
                                               "showSidebar",
                                               "constantPowerPan",
                                               "panningMode",
                                               "showSpeakerFocus",
                                               "showSpeakerCoverage",
                                               "defaultSpeakerWidth",
                                               "audienceAreas",
                                               "selectedAudienceAreaID",
                                               "isEditingAudienceArea",
                                               "audienceAwarePanLaw"};
    return keys;
}

namespace {

// The show's own points are written as {"x": …, "y": …}, unlike the records' [x, y].
Value encodeKeyedPoint(Point p) {
    return Value(ValueObject{{"x", Value(p.x)}, {"y", Value(p.y)}});
}

Point decodeKeyedPoint(const KeyedDecoder& d, const std::string& key) {
    auto map = d.decode<std::map<std::string, double>>(key);
    Point p;
    if (auto x = map.find("x"); x != map.end())
        p.x = x->second;
    if (auto y = map.find("y"); y != map.end())
        p.y = y->second;
    return p;
}

// Dictionaries keyed by source id code as one list alternating key and value; the inner
// dictionaries keyed by loudspeaker id code with the id in decimal text as key.
template <class T> Value encodePerSource(const PerSourcePerSpeaker<T>& map) {
    ValueArray out;
    out.reserve(map.size() * 2);
    for (const auto& [source, perSpeaker] : map) {
        out.push_back(platform::encodeValue(source));
        ValueObject inner;
        for (const auto& [speaker, value] : perSpeaker)
            inner.emplace(std::to_string(speaker), platform::encodeValue(value));
        out.push_back(Value(std::move(inner)));
    }
    return Value(std::move(out));
}

template <class T> PerSourcePerSpeaker<T> decodePerSource(const Value& value, const std::string& path) {
    auto list = value.asArray();
    if (!list)
        platform::throwTypeMismatch(path, "Array", value);
    if (list->size() % 2 != 0)
        throw CodingError(CodingError::Reason::dataCorrupted, path,
                          "Expected a list of key and value pairs but found an odd number of elements.");
    PerSourcePerSpeaker<T> out;
    for (std::size_t i = 0; i < list->size(); i += 2) {
        auto source = platform::decodeValue<UUID>((*list)[i], platform::indexPath(path, i));
        const std::string innerPath = platform::indexPath(path, i + 1);
        auto inner = (*list)[i + 1].asObject();
        if (!inner)
            platform::throwTypeMismatch(innerPath, "Dictionary", (*list)[i + 1]);
        std::map<std::int64_t, T> perSpeaker;
        for (const auto& [key, element] : *inner) {
            std::int64_t speaker = 0;
            auto [end, ec] = std::from_chars(key.data(), key.data() + key.size(), speaker);
            if (ec != std::errc() || end != key.data() + key.size())
                throw CodingError(CodingError::Reason::dataCorrupted, platform::joinPath(innerPath, key),
                                  "Expected an Int key but found \"" + key + "\".");
            perSpeaker[speaker] = platform::decodeValue<T>(element, platform::joinPath(innerPath, key));
        }
        out[source] = std::move(perSpeaker);
    }
    return out;
}

// A missing entry would be written as null and make the document unreadable; refuse it here.
template <class T>
void requireAll(const std::vector<std::shared_ptr<T>>& list, const char* key, const char* what) {
    for (std::size_t i = 0; i < list.size(); ++i)
        if (!list[i])
            throw CodingError(CodingError::Reason::valueNotFound, platform::indexPath(key, i),
                              std::string("Expected ") + what + " but found none.");
}

} // namespace

Value AppState::encode() const {
    requireAll(soundObjects.get(), "soundObjects", "a source");
    requireAll(pathCues.get(), "pathCues", "a path cue");

    KeyedEncoder e;
    e.encode("speakers", speakers.get());
    e.encode("soundObjects", soundObjects.get());
    e.encode("groups", groups.get());
    e.encode("snapshots", snapshots.get());
    e.encodeOrNull("selectedDesk", selectedDesk.get());
    e.encode("oscOutputOn", oscOutputOn.get());
    e.encode("targetDeskIP", targetDeskIP.get());
    e.encode("targetPort", targetPort.get());
    e.encode("showZeroPoint", showZeroPoint.get());
    e.encode("range", range.get());
    e.encode("minLevel", minLevel.get());
    e.encode("maxLevel", maxLevel.get());
    e.encode("minMaxRelitive", minMaxRelitive.get());
    e.encode("pathCues", pathCues.get());
    e.set("zeroPoint", encodeKeyedPoint(zeroPoint));
    e.encode("zeroPointPosition", zeroPointPosition.get());
    e.encode("isSoundScapeMode", isSoundScapeMode.get());
    e.encode("receivePort", receivePort.get());
    e.encodeOrNull("backgroundImageURL", backgroundImageURL.get());
    e.encode("showBackgroundImage", showBackgroundImage.get());
    e.set("backgroundImageOffset", encodeKeyedPoint(backgroundImageOffset));
    e.encode("backgroundImageScale", backgroundImageScale.get());
    e.encode("soundscapeSpeakers", soundscapeSpeakers.get());
    e.set("freezeStates", encodePerSource(freezeStates.get()));
    e.set("muteStates", encodePerSource(muteStates.get()));
    e.encode("canvasOrientation", canvasOrientation.get());
    e.encode("backgroundImageRotation", backgroundImageRotation.get());
    e.encode("showSidebar", showSidebar.get());
    e.encode("constantPowerPan", constantPowerPan.get());
    e.encode("panningMode", panningMode.get());
    e.encode("showSpeakerFocus", showSpeakerFocus.get());
    e.encode("showSpeakerCoverage", showSpeakerCoverage.get());
    e.encode("defaultSpeakerWidth", defaultSpeakerWidth.get());
    e.encode("audienceAreas", audienceAreas.get());
    e.encodeIfPresent("selectedAudienceAreaID", selectedAudienceAreaID.get());
    e.encode("isEditingAudienceArea", isEditingAudienceArea.get());
    e.encode("audienceAwarePanLaw", audienceAwarePanLaw.get());
    return std::move(e).finish();
}

std::shared_ptr<AppState> AppState::decode(const Value& value, const std::string& path) {
    KeyedDecoder d(value, path);

    auto speakers = d.decode<std::vector<Speaker>>("speakers");
    auto soundObjects = d.decode<std::vector<std::shared_ptr<SoundObject>>>("soundObjects");
    auto groups = d.decodeOr<std::vector<ObjectGroup>>("groups", {});
    auto snapshots = d.decodeOr<std::vector<Snapshot>>("snapshots", {});
    auto selectedDesk = d.decodeOrNull<MixingDesk>("selectedDesk");
    auto oscOutputOn = d.decode<bool>("oscOutputOn");
    auto targetDeskIP = d.decode<std::string>("targetDeskIP");
    auto targetPort = d.decode<std::string>("targetPort");
    auto showZeroPoint = d.decode<bool>("showZeroPoint");
    auto range = d.decode<double>("range");
    auto minLevel = d.decode<int>("minLevel");
    auto maxLevel = d.decode<int>("maxLevel");
    auto minMaxRelitive = d.decode<bool>("minMaxRelitive");
    auto pathCues = d.decode<std::vector<std::shared_ptr<PathCue>>>("pathCues");

    auto zeroPoint = decodeKeyedPoint(d, "zeroPoint");
    // An unknown placement is no reason to lose the show.
    auto zeroPointPosition = zeroPointPositionFromRawValue(d.decode<std::string>("zeroPointPosition"))
                                 .value_or(ZeroPointPosition::bottomLeft);

    auto isSoundScapeMode = d.decode<bool>("isSoundScapeMode");
    auto receivePort = d.decode<std::string>("receivePort");
    auto backgroundImageURL = d.decodeOrNull<std::string>("backgroundImageURL");
    auto showBackgroundImage = d.decode<bool>("showBackgroundImage");
    auto backgroundImageOffset = decodeKeyedPoint(d, "backgroundImageOffset");
    auto backgroundImageScale = d.decode<double>("backgroundImageScale");
    auto canvasOrientation = d.decode<CanvasOrientation>("canvasOrientation");
    auto backgroundImageRotation = d.decode<double>("backgroundImageRotation");

    auto showSidebar = d.decodeOr<bool>("showSidebar", true);
    auto constantPowerPan = d.decodeOr<bool>("constantPowerPan", true);
    auto panningMode = d.decodeOr<PanningMode>("panningMode", PanningMode::constantPower);
    auto showSpeakerFocus = d.decodeOr<bool>("showSpeakerFocus", false);
    auto showSpeakerCoverage = d.decodeOr<bool>("showSpeakerCoverage", false);
    auto defaultSpeakerWidth = d.decodeOr<double>("defaultSpeakerWidth", defaultSpeakerWidthValue);
    auto audienceAreas = d.decodeOr<std::vector<AudienceArea>>("audienceAreas", {});
    auto selectedAudienceAreaID = d.decodeIfPresent<UUID>("selectedAudienceAreaID");
    auto isEditingAudienceArea = d.decodeOr<bool>("isEditingAudienceArea", false);
    auto audienceAwarePanLaw = d.decodeOr<bool>("audienceAwarePanLaw", false);

    auto state = std::make_shared<AppState>(
        std::move(speakers), std::move(soundObjects), std::move(groups), std::move(snapshots),
        std::move(selectedDesk), oscOutputOn, std::move(targetDeskIP), std::move(targetPort), showZeroPoint,
        range, minLevel, maxLevel, minMaxRelitive, std::move(pathCues), zeroPoint, zeroPointPosition,
        isSoundScapeMode, std::move(receivePort), std::move(backgroundImageURL), showBackgroundImage,
        backgroundImageOffset, backgroundImageScale, canvasOrientation, backgroundImageRotation, showSidebar,
        constantPowerPan, panningMode);
    state->showSpeakerFocus = showSpeakerFocus;
    state->showSpeakerCoverage = showSpeakerCoverage;
    state->defaultSpeakerWidth = defaultSpeakerWidth;

    if (auto v = d.member("soundscapeSpeakers"); v && !v->isNull())
        state->soundscapeSpeakers = platform::decodeValue<std::vector<SoundscapeSpeaker>>(
            *v, platform::joinPath(path, "soundscapeSpeakers"));
    if (auto v = d.member("freezeStates"); v && !v->isNull())
        state->freezeStates = decodePerSource<bool>(*v, platform::joinPath(path, "freezeStates"));
    if (auto v = d.member("muteStates"); v && !v->isNull())
        state->muteStates = decodePerSource<bool>(*v, platform::joinPath(path, "muteStates"));
    state->audienceAreas = std::move(audienceAreas);
    state->selectedAudienceAreaID = selectedAudienceAreaID;
    state->isEditingAudienceArea = isEditingAudienceArea;
    state->audienceAwarePanLaw = audienceAwarePanLaw;
    return state;
}

platform::Value platform::Coder<std::shared_ptr<AppState>>::encode(const std::shared_ptr<AppState>& state) {
    if (!state)
        throw CodingError(CodingError::Reason::valueNotFound, "appState",
                          "Expected a show state but found none.");
    return state->encode();
}

void AppState::load(const AppState& other) {
    recordBeforeOpening();
    // Whatever reacts to the fields one by one records nothing of the half-copied show.
    std::optional<HistoryPause> pause(std::in_place);
    speakers = other.speakers;
    soundObjects = other.soundObjects;
    groups = other.groups;
    snapshots = other.snapshots;
    selectedDesk = other.selectedDesk;
    // The output switch is the operator's live choice: a show prepared with output off must
    // not start sending because the file was saved with it on.
    targetDeskIP = other.targetDeskIP;
    targetPort = other.targetPort;
    showZeroPoint = other.showZeroPoint;
    range = other.range;
    minLevel = other.minLevel;
    maxLevel = other.maxLevel;
    minMaxRelitive = other.minMaxRelitive;
    pathCues = other.pathCues;
    audienceAreas = other.audienceAreas;
    selectedAudienceAreaID = other.selectedAudienceAreaID;
    isEditingAudienceArea = other.isEditingAudienceArea;
    zeroPoint = other.zeroPoint;
    zeroPointPosition = other.zeroPointPosition;
    isSoundScapeMode = other.isSoundScapeMode;
    receivePort = other.receivePort;
    backgroundImageURL = other.backgroundImageURL;
    showBackgroundImage = other.showBackgroundImage;
    backgroundImageOffset = other.backgroundImageOffset;
    backgroundImageScale = other.backgroundImageScale;
    soundscapeSpeakers = other.soundscapeSpeakers;
    mixerLevels = other.mixerLevels;
    selectedSoundObject = other.selectedSoundObject;
    freezeStates = other.freezeStates;
    muteStates = other.muteStates;
    showGrid = other.showGrid;
    canvasOrientation = other.canvasOrientation;
    backgroundImageRotation = other.backgroundImageRotation;
    showSidebar = other.showSidebar;
    constantPowerPan = other.constantPowerPan;
    panningMode = other.panningMode;
    showSpeakerFocus = other.showSpeakerFocus;
    showSpeakerCoverage = other.showSpeakerCoverage;
    defaultSpeakerWidth = other.defaultSpeakerWidth;
    audienceAwarePanLaw = other.audienceAwarePanLaw;
    pause.reset();
    replaced.send(Replacement::opened);
}
