#include "Sonavant/OSC/PersistentTCPClient.h"
#include "Sonavant/engine/AudienceFactors.h"
#include "Sonavant/engine/ContentView.h"
#include "Sonavant/model/DeskRoute.h"
#include "platform/Log.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <deque>
#include <limits>
#include <map>
#include <numbers>
#include <optional>
#include <string_view>
#include <tuple>
#include <unordered_map>
#include <unordered_set>
#include <utility>

using platform::consoleLog;

namespace {

constexpr double fullLevelRadius = 30.0; // canvas points at speakerZeroFactor 1
constexpr DeskRange defaultBounds{-59.0, 0.0};

// One loudspeaker id of the pass. With several loudspeakers of one id, the last decides
// position, template and channel (its entries overwrite the earlier ones') and the first is
// the one the id finds: its aim, its stagger and its repeat cadence.
struct SpeakerSlot {
    std::int64_t id = 0;
    const Speaker* first = nullptr;
    const Speaker* last = nullptr;
    std::vector<const Speaker*> sharers; // every loudspeaker of the id, when there are several
    double focusFactor = 1.0;
    double coverageFactor = 1.0;
};

// The desk's answer for a pair of kinds: whether a message goes out, between which bounds,
// and the plan its addresses are filled in from.
struct KindRoute {
    const std::string* sourceType = nullptr;
    const std::string* speakerType = nullptr;
    bool sends = false;
    bool carriesNumber = false; // the source number is part of its addresses
    DeskRange bounds = defaultBounds;
    DeskSendPlan plan;
};

// The route of one source kind on one loudspeaker id, and the loudspeaker that gave it: the
// last of the id that has one (one without a route writes nothing over an earlier one's).
struct SlotRoute {
    const KindRoute* route = nullptr;
    const Speaker* via = nullptr;
};

const std::map<std::int64_t, bool>* rowOf(const PerSourcePerSpeaker<bool>& table,
                                          const platform::UUID& source) {
    auto it = table.find(source);
    return it == table.end() ? nullptr : &it->second;
}

bool flagged(const std::map<std::int64_t, bool>* row, std::int64_t speaker) {
    if (!row)
        return false;
    auto it = row->find(speaker);
    return it != row->end() && it->second;
}

double decibelsToRange(double lower, double upper, double gain) {
    const double dB = std::max(20 * std::log10(std::max(gain, 0.0001)), -80.0);
    return (upper - lower) * (std::min(dB, 10.0) + 80) / 90;
}

// A pass's levels by source and loudspeaker order, and whether a pair has one at all.
struct PassLevels {
    std::vector<double> values;
    std::vector<char> has;
    std::size_t count = 0;              // loudspeaker ids of the pass
    std::vector<std::size_t> slotsByID; // slot indices in the map's key order
    std::vector<std::map<std::int64_t, double>*> rows, sortedRows;

    void start(std::size_t sources, std::size_t speakerIDs) {
        count = speakerIDs;
        values.resize(sources * count);
        has.assign(sources * count, 0);
    }

    // Into `levels` exactly as building it pair by pair would (a source id twice keeps its
    // first source's pairs); the nodes already there are reused when they fit.
    // `changedRows`, when given, are the only rows whose pairs differ from what `levels`
    // holds: the map is known to be laid out for this pass's sources and loudspeakers.
    void store(PerSourcePerSpeaker<double>& levels, const std::vector<std::shared_ptr<SoundObject>>& sources,
               const std::vector<SpeakerSlot>& slots, const std::vector<std::size_t>* changedRows) {
        slotsByID.resize(count);
        for (std::size_t i = 0; i < count; ++i)
            slotsByID[i] = i;
        std::sort(slotsByID.begin(), slotsByID.end(),
                  [&](std::size_t a, std::size_t b) { return slots[a].id < slots[b].id; });
        if (changedRows ? refillRows(levels, sources, slots, *changedRows) : refill(levels, sources, slots))
            return;
        levels.clear();
        for (std::size_t s = 0; s < sources.size(); ++s) {
            auto& row =
                levels.emplace_hint(levels.end(), sources[s]->id, std::map<std::int64_t, double>{})->second;
            for (std::size_t i = 0; i < count; ++i)
                if (has[s * count + i])
                    row.emplace_hint(row.end(), slots[i].id, values[s * count + i]);
        }
    }

private:
    // Only when `levels` holds exactly the pass's pairs; false (values partly written) if not.
    bool refill(PerSourcePerSpeaker<double>& levels, const std::vector<std::shared_ptr<SoundObject>>& sources,
                const std::vector<SpeakerSlot>& slots) {
        if (levels.size() != sources.size())
            return false;
        rows.clear();
        for (const auto& source : sources) {
            auto it = levels.find(source->id);
            if (it == levels.end())
                return false;
            rows.push_back(&it->second);
        }
        // A source id twice would leave some row of the map without a source.
        sortedRows = rows;
        std::sort(sortedRows.begin(), sortedRows.end());
        if (std::adjacent_find(sortedRows.begin(), sortedRows.end()) != sortedRows.end())
            return false;

        for (std::size_t s = 0; s < rows.size(); ++s)
            if (!refillRow(*rows[s], s, slots))
                return false;
        return true;
    }

    bool refillRows(PerSourcePerSpeaker<double>& levels,
                    const std::vector<std::shared_ptr<SoundObject>>& sources,
                    const std::vector<SpeakerSlot>& slots, const std::vector<std::size_t>& changedRows) {
        for (std::size_t s : changedRows) {
            auto it = levels.find(sources[s]->id);
            if (it == levels.end() || !refillRow(it->second, s, slots))
                return false;
        }
        return true;
    }

    bool refillRow(std::map<std::int64_t, double>& row, std::size_t s,
                   const std::vector<SpeakerSlot>& slots) {
        auto it = row.begin();
        const auto end = row.end();
        for (std::size_t i : slotsByID) {
            const bool present = it != end && it->first == slots[i].id;
            if (!has[s * count + i]) {
                if (present)
                    return false;
                continue;
            }
            if (!present)
                return false;
            it->second = values[s * count + i];
            ++it;
        }
        return it == end;
    }
};

bool sameBits(double a, double b) {
    return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}
bool sameBits(Point a, Point b) {
    return sameBits(a.x, b.x) && sameBits(a.y, b.y);
}

// Everything a source's levels depend on besides the source itself. Numbers compare by their
// bits: a -0 that would turn an angle must not pass for a 0.
struct PassInputs {
    struct SpeakerInputs {
        std::int64_t id;
        Point position;
        std::string type;
        double focus, width;
    };
    std::vector<SpeakerInputs> speakers;
    std::vector<Point> areaNodes;
    std::vector<std::size_t> areaSizes;
    double zoom = 0, range = 0, minLevel = 0, maxLevel = 0, zeroFactor = 0;
    bool relative = false, audienceAware = false;
    PanningMode mode = PanningMode::linear;
    CanvasOrientation orientation{};
    Point zeroPoint;
    MixingDesk desk;

    bool sameAs(const PassInputs& o) const {
        if (speakers.size() != o.speakers.size() || areaNodes.size() != o.areaNodes.size() ||
            areaSizes != o.areaSizes || !sameBits(zoom, o.zoom) || !sameBits(range, o.range) ||
            !sameBits(minLevel, o.minLevel) || !sameBits(maxLevel, o.maxLevel) ||
            !sameBits(zeroFactor, o.zeroFactor) || relative != o.relative ||
            audienceAware != o.audienceAware || mode != o.mode || orientation != o.orientation ||
            !sameBits(zeroPoint, o.zeroPoint))
            return false;
        for (std::size_t i = 0; i < speakers.size(); ++i) {
            const auto &a = speakers[i], &b = o.speakers[i];
            if (a.id != b.id || !sameBits(a.position, b.position) || !sameBits(a.focus, b.focus) ||
                !sameBits(a.width, b.width) || a.type != b.type)
                return false;
        }
        for (std::size_t i = 0; i < areaNodes.size(); ++i)
            if (!sameBits(areaNodes[i], o.areaNodes[i]))
                return false;
        return desk == o.desk;
    }
};

// One source's levels of the last pass and what they were computed from. A source with a
// frozen pair reads the last published levels, so its row is always computed anew.
struct SourceRow {
    bool valid = false;
    platform::UUID id;
    Point position;
    std::string type;
    std::map<std::int64_t, bool> mutes;
    std::vector<double> values;
    std::vector<char> has;
    bool skippedUndefined = false;
};

// The address and throttle key of one pair, and what they were made of.
struct PairTexts {
    std::uint64_t deskGeneration = 0;
    platform::UUID source;
    std::int64_t sourceNumber = 0, speakerID = 0, channel = 0;
    std::string sourceType, viaType;
    std::shared_ptr<const std::string> address, key;
};

// What the addresses of a pass are made of besides the desk: every source's and
// loudspeaker's number and kind. While it stays, every pair keeps its address.
struct PassStructure {
    struct SourceEntry {
        platform::UUID id;
        std::int64_t number = 0;
        std::string type;
    };
    struct SpeakerEntry {
        std::int64_t id = 0, channel = 0;
        std::string type;
    };
    bool valid = false;
    std::uint64_t deskGeneration = 0;
    std::vector<SourceEntry> sources;
    std::vector<SpeakerEntry> speakers;

    // Takes this pass's; true when anything differs from the last.
    bool update(std::uint64_t generation, const std::vector<std::shared_ptr<SoundObject>>& sourceList,
                const std::vector<Speaker>& speakerList) {
        bool changed = !valid || deskGeneration != generation;
        valid = true;
        deskGeneration = generation;
        if (sources.size() != sourceList.size()) {
            changed = true;
            sources.resize(sourceList.size());
        }
        for (std::size_t i = 0; i < sourceList.size(); ++i) {
            const SoundObject& source = *sourceList[i];
            const std::int64_t number = source.number;
            const std::string& type = source.type;
            SourceEntry& entry = sources[i];
            if (!(entry.id == source.id) || entry.number != number || entry.type != type) {
                changed = true;
                entry = {source.id, number, type};
            }
        }
        if (speakers.size() != speakerList.size()) {
            changed = true;
            speakers.resize(speakerList.size());
        }
        for (std::size_t i = 0; i < speakerList.size(); ++i) {
            const Speaker& speaker = speakerList[i];
            SpeakerEntry& entry = speakers[i];
            if (entry.id != speaker.id || entry.channel != speaker.channelNumber ||
                entry.type != speaker.type) {
                changed = true;
                entry = {speaker.id, speaker.channelNumber, speaker.type};
            }
        }
        return changed;
    }
};

bool anyFlagged(const std::map<std::int64_t, bool>* row) {
    if (row)
        for (const auto& [id, on] : *row)
            if (on)
                return true;
    return false;
}

} // namespace

struct ContentView::LevelPassTables {
    // Rows reused while neither their source nor the pass's inputs changed.
    bool reuseRows = true;
    bool haveInputs = false;
    PassInputs inputs, nextInputs;
    std::vector<SourceRow> sourceRows; // by source index

    // The published map and the spare are ours, from the last two passes, while nobody else
    // assigned the levels: then only rows computed since the spare's pass need writing.
    struct Layout {
        std::vector<platform::UUID> sources;
        std::vector<std::int64_t> speakers;
        bool operator==(const Layout&) const = default;
    };
    std::uint64_t passNumber = 0;
    std::vector<std::uint64_t> rowComputedAt; // by source index
    std::optional<std::uint64_t> publishedVersion;
    Layout publishedLayout, spareLayout, layout;
    bool spareIsOurs = false;
    std::vector<std::size_t> changedRows;
    std::vector<SpeakerSlot> slots;
    std::unordered_map<std::int64_t, std::size_t> slotOf;
    std::vector<std::int64_t> slotIDs;
    std::deque<KindRoute> kindRoutes;
    std::vector<std::pair<const std::string*, std::vector<SlotRoute>>> routesByKind; // first `kindsInUse`
    std::size_t kindsInUse = 0;
    std::vector<double> distance, share, gain;
    std::vector<StaggeredBatch> batches;
    // By source index and loudspeaker order; kept while their parts stay, as filling in the
    // texts was most of what a send cost the main thread.
    std::vector<PairTexts> pairTexts;
    std::uint64_t deskGeneration = 0; // counts desk changes
    PassStructure structure;
    std::tuple<double, double, bool> boundsInputs{-1, -1, false}; // what the bounds of routes follow
    // While addresses are checked: every address of the pass, and the ones pairs moved from.
    std::unordered_set<std::string_view> currentAddresses;
    std::vector<GoneAddress> movedFrom;
    PassLevels passLevels;
    // The map the last assignment replaced; refilled in place when it has this pass's pairs.
    PerSourcePerSpeaker<double> spareLevels;
};

void ContentView::setLevelRowReuse(bool on) {
    if (!levelPassTables_)
        levelPassTables_ = std::make_shared<LevelPassTables>();
    levelPassTables_->reuseRows = on;
}

void ContentView::updateRelativeLevels() {
    const std::string host = targetDeskIP.get();
    const auto port = parsePortNumber(targetPort.get());
    if (host.empty() || !port || !selectedDesk.get()) {
        consoleLog("Error: Missing targetDeskIP, port, or selectedDesk.");
        return;
    }
    const MixingDesk desk = *selectedDesk.get();
    consoleLog(std::string("Desk UDP property: ") + (desk.UDP ? "true" : "false"));
    appState->selectedDesk = desk;

    if (appState->soundObjects->empty()) {
        consoleLog("Error: No sound objects available.");
        // The last source went: what was sent for it comes down (positions stay).
        if (!appState->isSoundScapeMode && !lastMappedLevels_.empty()) {
            if (levelPassTables_ && levelPassTables_->haveInputs && !(levelPassTables_->inputs.desk == desk))
                forgetSentLevels();
            else if (!appState->oscOutputOn)
                addressCheckDue_ = true;
            else
                bringDownGoneAddresses({}, {}, {}, 0, DeskTransport{desk.UDP, desk.OSCFloat}, *port);
        }
        return;
    }
    // Distances and positions divide by the zoom, shares by the range: neither may be 0,
    // negative or undefined, or every level would be.
    const double zoom = zoomLevel;
    if (!std::isfinite(zoom) || zoom <= 0) {
        consoleLog("Error: Zoom level must be a positive number; nothing sent.");
        return;
    }
    if (appState->isSoundScapeMode) {
        sendSoundScapePositions(desk, *port);
        return;
    }
    const double range = appState->range;
    if (!std::isfinite(range) || range <= 0) {
        consoleLog("Error: Range must be a positive number; nothing sent.");
        return;
    }
    consoleLog("Starting update for " + std::to_string(appState->soundObjects->size()) + " sound objects...");
    computeAndSendLevels(desk, *port);
    consoleLog("Update completed for all sound objects.");
}

void ContentView::sendEveryPairOnce() {
    const bool before = std::exchange(sendEveryPair_, true);
    updateRelativeLevels();
    sendEveryPair_ = before;
}

void ContentView::forgetSentLevels() {
    lastMappedLevels_.clear();
    mixerSendMarks_.clear();
    addressCheckDue_ = false;
}

void ContentView::tcpLinkRestored() {
    const auto& desk = selectedDesk.get();
    if (!appState->oscOutputOn || !desk || desk->UDP || appState->isSoundScapeMode)
        return;
    consoleLog("TCP link to the desk is ready again; sending every level once.");
    sendEveryPairOnce();
}

void ContentView::setOSCOutput(bool on) {
    const bool wasOn = appState->oscOutputOn;
    appState->oscOutputOn = on;
    if (on && !wasOn)
        sendEveryPairOnce();
}

void ContentView::computeAndSendLevels(const MixingDesk& desk, std::uint16_t port) {
    const AppState& show = *appState;
    const auto& sources = show.soundObjects.get();
    const auto& speakers = show.speakers.get();
    const double zoom = zoomLevel;
    const double range = show.range;
    const double minLevel = show.minLevel, maxLevel = show.maxLevel;
    const bool relative = show.minMaxRelitive;
    const PanningMode mode = show.panningMode;
    const bool audienceAware = show.audienceAwarePanLaw;
    const bool outputOn = show.oscOutputOn;
    const auto& oldLevels = show.mixerLevels.get();
    const double r0 = speakerZeroFactor * fullLevelRadius / zoom;

    if (!levelPassTables_)
        levelPassTables_ = std::make_shared<LevelPassTables>();
    LevelPassTables& tables = *levelPassTables_;

    // Loudspeaker ids in order of first appearance, with their factors, once per pass.
    auto& slots = tables.slots;
    slots.clear();
    tables.slotOf.clear();
    for (const Speaker& speaker : speakers) {
        auto [it, inserted] = tables.slotOf.try_emplace(speaker.id, slots.size());
        if (inserted) {
            slots.push_back({speaker.id, &speaker, &speaker, {}});
            continue;
        }
        SpeakerSlot& slot = slots[it->second];
        if (slot.sharers.empty())
            slot.sharers.push_back(slot.first);
        slot.sharers.push_back(&speaker);
        slot.last = &speaker;
    }
    const std::size_t count = slots.size();

    // Rows of the last pass stay good while nothing they were computed from changed.
    PassInputs& inputs = tables.nextInputs;
    inputs.speakers.resize(speakers.size());
    for (std::size_t i = 0; i < speakers.size(); ++i) {
        const Speaker& speaker = speakers[i];
        auto& in = inputs.speakers[i];
        in.id = speaker.id;
        in.position = speaker.position;
        in.focus = speaker.focus;
        in.width = speaker.width;
        in.type = speaker.type;
    }
    inputs.areaNodes.clear();
    inputs.areaSizes.clear();
    if (audienceAware)
        for (const AudienceArea& area : show.audienceAreas.get()) {
            inputs.areaSizes.push_back(area.nodesMeters.size());
            inputs.areaNodes.insert(inputs.areaNodes.end(), area.nodesMeters.begin(), area.nodesMeters.end());
        }
    inputs.zoom = zoom;
    inputs.range = range;
    inputs.minLevel = minLevel;
    inputs.maxLevel = maxLevel;
    inputs.zeroFactor = speakerZeroFactor;
    inputs.relative = relative;
    inputs.audienceAware = audienceAware;
    inputs.mode = mode;
    inputs.orientation = show.canvasOrientation.get();
    inputs.zeroPoint = show.zeroPoint.get();
    if (!tables.haveInputs || !(tables.inputs.desk == desk)) {
        // Another desk holds none of what the last one was sent.
        if (tables.haveInputs)
            forgetSentLevels();
        inputs.desk = desk;
        ++tables.deskGeneration;
    } else
        inputs.desk = tables.inputs.desk; // equal; spares copying a desk's texts when unchanged
    const bool rowsStillGood = tables.reuseRows && tables.haveInputs && inputs.sameAs(tables.inputs);
    std::swap(tables.inputs, tables.nextInputs);
    tables.haveInputs = true;
    if (!rowsStillGood)
        for (SourceRow& row : tables.sourceRows)
            row.valid = false;
    tables.sourceRows.resize(sources.size());
    ++tables.passNumber;
    tables.rowComputedAt.resize(sources.size(), tables.passNumber);

    bool factorsReady = false;
    auto computeFactors = [&] {
        if (factorsReady || !audienceAware)
            return;
        factorsReady = true;
        const auto orientation = show.canvasOrientation.get();
        const auto nodes = audienceNodeCanvasPoints(show.audienceAreas, orientation, zoom, show.zeroPoint);
        for (SpeakerSlot& slot : slots) {
            std::tie(slot.focusFactor, slot.coverageFactor) =
                audienceFactors(*slot.first, orientation, nodes, focusFactorLimits(slot.first->width),
                                coverageFactorLimits(slot.first->width));
        }
    };

    // Where each source's remembered levels are, by loudspeaker order; found again only when
    // the loudspeakers changed.
    tables.slotIDs.resize(count);
    for (std::size_t i = 0; i < count; ++i)
        tables.slotIDs[i] = slots[i].id;
    if (tables.slotIDs != mappedLevelSpeakerIDs_) {
        mappedLevelSpeakerIDs_ = tables.slotIDs;
        ++mappedLevelLayout_;
    }

    // Template choice depends only on the two kinds: decided once per pair of kinds, and
    // looked up once per source kind for all loudspeakers.
    tables.kindRoutes.clear();
    tables.kindsInUse = 0;
    auto routeFor = [&](const std::string& sourceType, const std::string& speakerType) -> const KindRoute* {
        for (const KindRoute& route : tables.kindRoutes)
            if (*route.sourceType == sourceType && *route.speakerType == speakerType)
                return &route;
        KindRoute kind{.sourceType = &sourceType,
                       .speakerType = &speakerType,
                       .plan = planDeskSend(desk, sourceType, speakerType, DeskRouteCaller::levelEngine)};
        kind.sends = kind.plan.range.has_value();
        kind.carriesNumber =
            kind.plan.addressTemplate && kind.plan.addressTemplate->find("{n}") != std::string_view::npos;
        if (kind.sends) {
            double lower = kind.plan.range->lower, upper = kind.plan.range->upper;
            if (relative) {
                const double span = upper - lower;
                lower = lower + span * minLevel / 100;
                upper = lower + span * (maxLevel - minLevel) / 100;
            }
            kind.bounds = {lower, upper};
        }
        return &tables.kindRoutes.emplace_back(kind);
    };
    auto routesFor = [&](const std::string& sourceType) -> const std::vector<SlotRoute>& {
        for (std::size_t k = 0; k < tables.kindsInUse; ++k)
            if (*tables.routesByKind[k].first == sourceType)
                return tables.routesByKind[k].second;
        if (tables.kindsInUse == tables.routesByKind.size())
            tables.routesByKind.emplace_back();
        auto& [kind, routes] = tables.routesByKind[tables.kindsInUse++];
        kind = &sourceType;
        routes.clear();
        for (const SpeakerSlot& slot : slots) {
            SlotRoute chosen{routeFor(sourceType, slot.last->type), slot.last};
            for (auto it = slot.sharers.rbegin(); !chosen.route->sends && it != slot.sharers.rend(); ++it)
                if (const KindRoute* route = routeFor(sourceType, (*it)->type); route->sends)
                    chosen = {route, *it};
            routes.push_back(chosen);
        }
        return routes;
    };

    auto& distance = tables.distance;
    auto& share = tables.share;
    auto& gain = tables.gain;
    distance.resize(count);
    share.resize(count);
    gain.resize(count);
    // Each loudspeaker's sends leave together, after its stagger.
    auto& batches = tables.batches;
    batches.resize(count);
    for (std::size_t i = 0; i < count; ++i)
        batches[i] = {slots[i].first->id, {}};
    tables.pairTexts.resize(sources.size() * count);

    // One source's levels on every loudspeaker id into `passLevels`; true when a pair had to
    // be left out for an undefined level.
    auto oldRowOf = [&](const platform::UUID& id) -> const std::map<std::int64_t, double>* {
        const auto it = oldLevels.find(id);
        return it == oldLevels.end() ? nullptr : &it->second;
    };
    auto computeSourceLevels = [&](const SoundObject& source, Point at, const std::vector<SlotRoute>& routes,
                                   const std::map<std::int64_t, bool>* muteRow,
                                   const std::map<std::int64_t, bool>* freezeRow, double* passLevels,
                                   char* passHasLevel) {
        bool skipped = false;
        std::fill(passHasLevel, passHasLevel + count, 0);
        // Pass 1: distance and share per loudspeaker id.
        double total = 0;
        for (std::size_t i = 0; i < count; ++i) {
            const Speaker& speaker = *slots[i].last;
            const double dx = at.x - speaker.position.x, dy = at.y - speaker.position.y;
            // A distance beyond what a double holds is out of range, as any far source.
            double d = std::sqrt(dx * dx + dy * dy) / zoom;
            if (!std::isfinite(d))
                d = std::numeric_limits<double>::infinity();
            double s = d <= r0 ? 100.0 : std::max((1 - (d - r0) / range) * 100.0, 0.0);
            if (!relative)
                s = std::min(std::max(s, minLevel), maxLevel);
            distance[i] = d;
            share[i] = s;
            total += s;
        }

        // "Constant Power" normalises over the source's loudspeakers once. Without any share
        // there is nothing to divide: every gain is 0, not undefined.
        double norm = 1.0;
        if (mode == PanningMode::constantPower) {
            const double nearField = 0.6 * range;
            double sumOfSquares = 0;
            for (std::size_t i = 0; i < count; ++i) {
                const double c = audienceAware ? slots[i].coverageFactor : 1.0;
                const double d = distance[i];
                const double part = total == 0 ? 0.0 : share[i] / total;
                double g = 0;
                if (d <= range) {
                    // Within the near field the ratio is exactly 1, and so is its power.
                    const double ratio = nearField / std::max(nearField, d);
                    g = c * part * (ratio == 1.0 ? 1.0 : std::pow(ratio, 1.5));
                } else if (d <= 1.1 * range)
                    g = c * part * std::pow(nearField / std::max(nearField, range), 1.5) *
                        (1 - (d - range) / (1.1 * range - range));
                gain[i] = g;
                sumOfSquares += g * g;
            }
            norm = sumOfSquares > 0 ? std::sqrt(sumOfSquares) : 1.0;
        }

        // Pass 2: the level of every loudspeaker id.
        const auto* oldRow = freezeRow ? oldRowOf(source.id) : nullptr;

        for (std::size_t i = 0; i < count; ++i) {
            const SpeakerSlot& slot = slots[i];
            const KindRoute& route = *routes[i].route;
            const double lower = route.bounds.lower, upper = route.bounds.upper;
            const double d = distance[i];
            const double focus = audienceAware ? slot.focusFactor : 1.0;
            const double t = std::max(0.0, std::min(1 - d / range, 1.0));

            // Out of range or muted, the level is the lower bound whatever the law gives, and a
            // frozen pair keeps its last level: the law is only worked out when it is used.
            const bool muted = flagged(muteRow, slot.id);
            const double* kept = nullptr;
            if (!(range < d) && !muted && flagged(freezeRow, slot.id) && oldRow)
                if (auto it = oldRow->find(slot.id); it != oldRow->end())
                    kept = &it->second;
            double level = lower;
            if (range < d || muted) {
                level = lower;
            } else if (kept) {
                level = *kept;
            } else {
                double raw = 0;
                switch (mode) {
                case PanningMode::linear:
                    raw = (upper - lower) * share[i] * focus / 100;
                    break;
                case PanningMode::sine:
                    raw = decibelsToRange(lower, upper, focus * std::sin(t * std::numbers::pi * 0.5));
                    break;
                case PanningMode::cosine:
                    raw = decibelsToRange(lower, upper, focus * ((1 - std::cos(t * std::numbers::pi)) * 0.5));
                    break;
                case PanningMode::power:
                    raw = decibelsToRange(lower, upper, focus * std::pow(t, 1.5));
                    break;
                case PanningMode::constantPower:
                    raw = decibelsToRange(lower, upper, gain[i] / norm);
                    break;
                }
                level = lower + raw;
            }
            // Only a desk range beyond what a double holds gets here; such a level is neither
            // shown nor sent.
            if (!std::isfinite(level)) {
                skipped = true;
                continue;
            }
            passLevels[i] = level;
            passHasLevel[i] = 1;
        }
        return skipped;
    };

    tables.passLevels.start(sources.size(), count);
    bool skippedUndefined = false;

    // A pair whose address changed counts as new, and an address no pair uses any more comes
    // down. Addresses change only with the desk, numbers and kinds: checked only then, or
    // when output was off as they changed.
    const bool boundsChanged = tables.boundsInputs != std::tuple(minLevel, maxLevel, relative);
    tables.boundsInputs = std::tuple(minLevel, maxLevel, relative);
    const bool structureChanged =
        tables.structure.update(tables.deskGeneration, sources, speakers) || boundsChanged;
    if (structureChanged && !outputOn)
        addressCheckDue_ = true;
    const bool checkAddresses = outputOn && (structureChanged || addressCheckDue_);
    const std::uint64_t check = checkAddresses ? ++addressChecks_ : 0;
    // A number outside the desk's inputs has no address where the number is part of it; a
    // desk that declares no inputs limits none.
    auto numbered = [&](const SoundObject& source) {
        const std::int64_t number = source.number;
        return desk.inputsNum < 1 || (number >= 1 && number <= desk.inputsNum);
    };
    auto addressed = [](const KindRoute& route, bool hasNumber) {
        return route.sends && (hasNumber || !route.carriesNumber);
    };

    for (std::size_t sourceIndex = 0; sourceIndex < sources.size(); ++sourceIndex) {
        const SoundObject& source = *sources[sourceIndex];
        double* const passLevels = tables.passLevels.values.data() + sourceIndex * count;
        char* const passHasLevel = tables.passLevels.has.data() + sourceIndex * count;
        const Point at = source.position;
        const std::string& sourceType = source.type;
        const auto& routes = routesFor(sourceType);

        const auto* muteRow = rowOf(show.muteStates, source.id);
        const auto* freezeRow = rowOf(show.freezeStates, source.id);
        SourceRow& cached = tables.sourceRows[sourceIndex];
        const bool frozen = anyFlagged(freezeRow);
        if (cached.valid && !frozen && cached.id == source.id && sameBits(cached.position, at) &&
            cached.type == sourceType && (muteRow ? cached.mutes == *muteRow : cached.mutes.empty())) {
            std::copy(cached.values.begin(), cached.values.end(), passLevels);
            std::copy(cached.has.begin(), cached.has.end(), passHasLevel);
            skippedUndefined = skippedUndefined || cached.skippedUndefined;
        } else {
            computeFactors();
            tables.rowComputedAt[sourceIndex] = tables.passNumber;
            const bool skipped =
                computeSourceLevels(source, at, routes, muteRow, freezeRow, passLevels, passHasLevel);
            skippedUndefined = skippedUndefined || skipped;
            cached.valid = !frozen;
            cached.id = source.id;
            cached.position = at;
            cached.type = sourceType;
            if (muteRow)
                cached.mutes = *muteRow;
            else
                cached.mutes.clear();
            cached.values.assign(passLevels, passLevels + count);
            cached.has.assign(passHasLevel, passHasLevel + count);
            cached.skippedUndefined = skipped;
        }

        // The send decision of every pair, reused levels included: repeat counters advance
        // on every pass.
        MappedLevelRow& remembered = mappedLevelRow(source.id);
        const bool hasNumber = numbered(source);
        std::string sourceKey;
        auto textsOf = [&](std::size_t i) -> const PairTexts& {
            const SpeakerSlot& slot = slots[i];
            const Speaker& via = *routes[i].via;
            PairTexts& texts = tables.pairTexts[sourceIndex * count + i];
            if (texts.deskGeneration != tables.deskGeneration || !(texts.source == source.id) ||
                texts.sourceNumber != source.number || texts.speakerID != slot.id ||
                texts.channel != via.channelNumber || texts.sourceType != sourceType ||
                texts.viaType != via.type) {
                if (sourceKey.empty())
                    sourceKey = source.id.string() + "-";
                texts = {tables.deskGeneration,
                         source.id,
                         source.number,
                         slot.id,
                         via.channelNumber,
                         sourceType,
                         via.type,
                         std::make_shared<const std::string>(
                             routes[i].route->plan.address(source.number, via.channelNumber)),
                         std::make_shared<const std::string>(sourceKey + std::to_string(slot.id))};
            }
            return texts;
        };
        for (std::size_t i = 0; i < count; ++i) {
            if (!passHasLevel[i])
                continue;
            const SpeakerSlot& slot = slots[i];
            const KindRoute& route = *routes[i].route;
            const double level = passLevels[i];
            if (!addressed(route, hasNumber))
                continue;
            // While output is off nothing counts as sent: the desk still has the old levels.
            if (!outputOn)
                continue;
            bool moved = false;
            if (checkAddresses) {
                const PairTexts& texts = textsOf(i);
                SentLevelRecord& last = remembered.sent[i];
                tables.currentAddresses.insert(*texts.address);
                moved = remembered.known[i] && last.address && last.address != texts.address &&
                        *last.address != *texts.address;
                last.addressCheck = check;
            }
            bool send = true;
            const bool isNew = !remembered.known[i] || sendEveryPair_ || moved;
            if (isNew) {
                remembered.known[i] = 1;
                remembered.levels[i] = {level, 1};
            } else {
                send = levelNeedsSend(remembered.levels[i], slot.first->channelNumber, level);
            }
            if (!send)
                continue;
            const PairTexts& texts = textsOf(i);
            // Between checks a pair keeps the address and bounds of its last send.
            if (checkAddresses || isNew) {
                SentLevelRecord& sent = remembered.sent[i];
                if (moved)
                    tables.movedFrom.push_back({sent.address, sent.lower, slot.first->id});
                if (sent.address != texts.address)
                    sent.address = texts.address;
                sent.lower = route.bounds.lower;
            }
            if (!mixerSendMarks_.empty())
                mixerSendMarks_.erase({source.id, slot.id});
            auto& sends = batches[i].sends;
            if (sends.empty())
                sends.reserve(sources.size() - sourceIndex); // one allocation per loudspeaker
            sends.push_back({texts.address, texts.key, level, ++nextSendSequence_});
        }
    }

    if (checkAddresses) {
        std::vector<platform::UUID> present;
        present.reserve(sources.size());
        for (const auto& source : sources)
            present.push_back(source->id);
        const auto left =
            bringDownGoneAddresses(tables.currentAddresses, std::move(tables.movedFrom), present, check,
                                   DeskTransport{desk.UDP, desk.OSCFloat}, port);
        // The desk holds what the pair that left sent there: every pair still using the
        // address counts as new (one sending in this pass anyway sends that), and no level
        // the leaving pair had on its way may follow.
        if (!left.empty())
            for (std::size_t sourceIndex = 0; sourceIndex < sources.size(); ++sourceIndex) {
                const SoundObject& source = *sources[sourceIndex];
                const bool hasNumber = numbered(source);
                const auto& routes = routesFor(source.type);
                for (std::size_t i = 0; i < count; ++i) {
                    const std::size_t pair = sourceIndex * count + i;
                    const PairTexts& texts = tables.pairTexts[pair];
                    if (!tables.passLevels.has[pair] || !addressed(*routes[i].route, hasNumber) ||
                        !texts.address || !left.count(*texts.address))
                        continue;
                    auto& sends = batches[i].sends;
                    if (std::any_of(sends.begin(), sends.end(),
                                    [&](const StaggeredSend& send) { return send.key == texts.key; }))
                        continue;
                    const double level = tables.passLevels.values[pair];
                    MappedLevelRow& remembered = mappedLevelRow(source.id);
                    remembered.known[i] = 1;
                    remembered.levels[i] = {level, 1};
                    remembered.sent[i].address = texts.address;
                    remembered.sent[i].lower = routes[i].route->bounds.lower;
                    if (!mixerSendMarks_.empty())
                        mixerSendMarks_.erase({source.id, slots[i].id});
                    sends.push_back({texts.address, texts.key, level, ++nextSendSequence_});
                }
            }
        // Emptied for good: clearing a set keeps its buckets, and every pass would pay for them.
        std::unordered_set<std::string_view>().swap(tables.currentAddresses);
        tables.movedFrom.clear();
    }
    // A deque: its blocks are small, and a pass asks the allocator for nothing large.
    std::deque<StaggeredBatch> due;
    for (StaggeredBatch& batch : batches)
        if (!batch.sends.empty())
            due.push_back(std::move(batch));
    scheduleStaggeredSends(std::move(due), DeskTransport{desk.UDP, desk.OSCFloat}, port);
    if (skippedUndefined)
        consoleLog("Error: Some positions or levels are not finite numbers; those pairs were left out.");

    // The usual drag keeps sources and loudspeakers: the last map's nodes take the new
    // levels, and the map this assignment replaces becomes the next pass's spare.
    auto levels = std::exchange(tables.spareLevels, {});
    auto& layout = tables.layout;
    layout.sources.resize(sources.size());
    for (std::size_t s = 0; s < sources.size(); ++s)
        layout.sources[s] = sources[s]->id;
    layout.speakers = tables.slotIDs;
    const std::vector<std::size_t>* changedRows = nullptr;
    if (tables.spareIsOurs && tables.spareLayout == layout && levels.size() == sources.size()) {
        tables.changedRows.clear();
        for (std::size_t s = 0; s < sources.size(); ++s)
            if (tables.rowComputedAt[s] + 1 >= tables.passNumber) // this pass or the one before
                tables.changedRows.push_back(s);
        changedRows = &tables.changedRows;
    }
    tables.passLevels.store(levels, sources, slots, changedRows);

    // A subscriber may drop the view during the announcement: only the tables are touched after.
    auto keep = levelPassTables_;
    auto& published = appState->mixerLevels;
    const bool heldOurs = keep->publishedVersion && published.version() == *keep->publishedVersion;
    const std::uint64_t before = published.version();
    auto replaced = published.exchange(std::move(levels));
    keep->spareLevels = std::move(replaced);
    // The map handed back is the last pass's only if nobody assigned in between, and ours
    // stays held only if nobody assigned during the announcement.
    keep->spareIsOurs = heldOurs && published.version() == before + 1;
    keep->spareLayout = std::exchange(keep->publishedLayout, keep->layout);
    if (published.version() == before + 1)
        keep->publishedVersion = published.version();
    else
        keep->publishedVersion.reset();
}

std::unordered_set<std::string_view>
ContentView::bringDownGoneAddresses(const std::unordered_set<std::string_view>& current,
                                    std::vector<GoneAddress> replaced,
                                    const std::vector<platform::UUID>& presentSources, std::uint64_t check,
                                    DeskTransport desk, std::uint16_t port) {
    addressCheckDue_ = false;
    std::unordered_set<std::string_view> left;
    std::vector<GoneAddress> gone = std::move(replaced);
    for (auto it = lastMappedLevels_.begin(); it != lastMappedLevels_.end();) {
        MappedLevelRow& row = it->second;
        bool keep = false;
        for (std::size_t j = 0; j < row.speakers.size(); ++j) {
            if (!row.known[j])
                continue;
            SentLevelRecord& sent = row.sent[j];
            // A pair the check found on its address; any other record has left it.
            if (!sent.address || (check != 0 && sent.addressCheck == check)) {
                keep = true;
                continue;
            }
            gone.push_back({std::move(sent.address), sent.lower, row.speakers[j]});
            sent = {};
            row.known[j] = 0;
        }
        if (!keep &&
            std::find(presentSources.begin(), presentSources.end(), it->first) == presentSources.end())
            it = lastMappedLevels_.erase(it);
        else
            ++it;
    }
    // An address any current pair uses stays, and its pairs send again; each gone one comes
    // down once, staggered by the loudspeaker it was last sent for.
    std::unordered_set<std::string_view> downs;
    std::map<std::int64_t, std::vector<StaggeredSend>> bySpeaker;
    for (GoneAddress& entry : gone) {
        if (!entry.address)
            continue;
        if (auto used = current.find(*entry.address); used != current.end()) {
            left.insert(*used);
            continue;
        }
        if (!downs.insert(*entry.address).second)
            continue;
        auto key = entry.address; // its own throttle entry: the pair's key carries its new address
        bySpeaker[entry.speakerID].push_back({entry.address, key, entry.lower, ++nextSendSequence_});
    }
    if (!bySpeaker.empty()) {
        std::deque<StaggeredBatch> batches;
        for (auto& [speakerID, sends] : bySpeaker)
            batches.push_back({speakerID, std::move(sends)});
        scheduleStaggeredSends(std::move(batches), desk, port);
    }
    return left;
}
