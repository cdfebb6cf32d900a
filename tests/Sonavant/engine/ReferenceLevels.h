#pragma once
// The level computation written out the direct way, loudspeaker by loudspeaker: every
// factor asked for where it is used and the "Constant Power" normalisation summed again for
// each loudspeaker. The engine's restructured pass must give exactly these numbers.

#include "Sonavant/engine/ContentView.h"
#include "Sonavant/model/DeskRoute.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <numbers>
#include <string>
#include <vector>

namespace enginetest {

struct ReferenceSend {
    std::string key;
    std::string address;
    double level = 0;
};

struct ReferenceResult {
    PerSourcePerSpeaker<double> levels;
    std::vector<ReferenceSend> sends; // every pair with an address
};

inline ReferenceResult referenceLevels(const ContentView& view) {
    const AppState& show = *view.appState;
    const MixingDesk& desk = *view.selectedDesk.get();
    const double zoom = view.zoomLevel;
    const double range = show.range;
    ReferenceResult result;

    for (const auto& source : show.soundObjects.get()) {
        // Tables keyed by loudspeaker id, iterated in the order the ids first appeared.
        std::vector<std::int64_t> order;
        std::map<std::int64_t, double> distance, share;
        std::map<std::int64_t, std::pair<double, double>> bounds;
        std::map<std::int64_t, std::string> address;

        for (const Speaker& k : show.speakers.get()) {
            const double dx = source->position->x - k.position.x, dy = source->position->y - k.position.y;
            double d = std::sqrt(dx * dx + dy * dy) / zoom;
            if (!std::isfinite(d)) // no distance: as far as any source out of range
                d = std::numeric_limits<double>::infinity();
            if (std::find(order.begin(), order.end(), k.id) == order.end())
                order.push_back(k.id);
            distance[k.id] = d;
            const double r0 = view.speakerZeroFactor * 30.0 / zoom;
            double s = d <= r0 ? 100.0 : (1 - (d - r0) / range) * 100.0;
            if (s < 0)
                s = 0.0;
            if (!show.minMaxRelitive)
                s = std::min(std::max(s, double(show.minLevel)), double(show.maxLevel));
            share[k.id] = s;

            const DeskRoute route = routeDeskSend(desk, source->type, source->number, k.type, k.channelNumber,
                                                  DeskRouteCaller::levelEngine);
            if (!route.address || !route.range)
                continue;
            double lower = route.range->lower, upper = route.range->upper;
            if (show.minMaxRelitive) {
                const double span = upper - lower;
                lower = lower + span * show.minLevel / 100;
                upper = lower + span * (show.maxLevel - show.minLevel) / 100;
            }
            bounds[k.id] = {lower, upper};
            address[k.id] = *route.address;
        }

        double total = 0;
        for (auto id : order)
            total += share[id];
        auto firstSpeaker = [&](std::int64_t id) -> const Speaker* {
            for (const Speaker& k : show.speakers.get())
                if (k.id == id)
                    return &k;
            return nullptr;
        };
        auto toRange = [](double lower, double upper, double g) {
            const double dB = std::max(20 * std::log10(std::max(g, 0.0001)), -80.0);
            return (upper - lower) * (std::min(dB, 10.0) + 80) / 90;
        };

        for (auto id : order) {
            const Speaker* k = firstSpeaker(id);
            if (!k)
                continue;
            const double d = distance.count(id) ? distance[id] : range;
            const auto [lower, upper] = bounds.count(id) ? bounds[id] : std::pair<double, double>{-59.0, 0.0};
            const double focus = show.audienceAwarePanLaw ? view.audienceFocusFactor(*k) : 1.0;
            const double t = std::max(0.0, std::min(1 - d / range, 1.0));
            double raw = 0;
            switch (show.panningMode.get()) {
            case PanningMode::linear:
                raw = (upper - lower) * share[id] * focus / 100;
                break;
            case PanningMode::sine:
                raw = toRange(lower, upper, focus * std::sin(t * std::numbers::pi * 0.5));
                break;
            case PanningMode::cosine:
                raw = toRange(lower, upper, focus * ((1 - std::cos(t * std::numbers::pi)) * 0.5));
                break;
            case PanningMode::power:
                raw = toRange(lower, upper, focus * std::pow(t, 1.5));
                break;
            case PanningMode::constantPower: {
                const double near = 0.6 * range;
                auto gainOf = [&](std::int64_t j) {
                    const Speaker* kj = firstSpeaker(j);
                    const double c = show.audienceAwarePanLaw ? view.audienceCoverageFactor(*kj) : 1.0;
                    const double dj = distance.count(j) ? distance[j] : range;
                    const double part = total == 0 ? 0.0 : share[j] / total;
                    if (dj <= range)
                        return c * part * std::pow(near / std::max(near, dj), 1.5);
                    if (dj <= 1.1 * range)
                        return c * part * std::pow(near / std::max(near, range), 1.5) *
                               (1 - (dj - range) / (1.1 * range - range));
                    return 0.0;
                };
                double s2 = 0;
                for (auto j : order)
                    if (firstSpeaker(j))
                        s2 += gainOf(j) * gainOf(j);
                const double norm = s2 > 0 ? std::sqrt(s2) : 1.0;
                raw = toRange(lower, upper, gainOf(id) / norm);
                break;
            }
            }
            double level = lower + raw;
            auto flag = [&](const PerSourcePerSpeaker<bool>& table) {
                auto row = table.find(source->id);
                if (row == table.end())
                    return false;
                auto cell = row->second.find(id);
                return cell != row->second.end() && cell->second;
            };
            const auto& old = show.mixerLevels.get();
            if (flag(show.muteStates)) {
                level = lower;
            } else if (flag(show.freezeStates) && old.count(source->id) && old.at(source->id).count(id)) {
                level = old.at(source->id).at(id);
            }
            if (range < d)
                level = lower;
            if (!std::isfinite(level))
                continue;
            result.levels[source->id][id] = level;
            if (address.count(id))
                result.sends.push_back({source->id.string() + "-" + std::to_string(id), address[id], level});
        }
    }
    return result;
}

} // namespace enginetest
