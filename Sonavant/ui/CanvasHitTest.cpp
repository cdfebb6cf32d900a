#include "Sonavant/ui/CanvasHitTest.h"

#include "Sonavant/ui/CanvasLayerSlot.h"
#include "Sonavant/ui/SpeakerOverlayGeometry.h"

#include <algorithm>
#include <cmath>

namespace {

bool within(Point p, Point centre, double radius) {
    return std::hypot(p.x - centre.x, p.y - centre.y) <= radius;
}

} // namespace

CanvasHitTarget CanvasHitTest::at(const ContentView& view, Point point,
                                  const std::vector<CanvasPointerLayer*>& layers) {
    if (!std::isfinite(point.x) || !std::isfinite(point.y))
        return {};
    const AppState& state = *view.appState;

    // Plugged-in layers, front to back; ties keep the order they were added in.
    std::vector<std::pair<double, CanvasPointerLayer*>> ordered;
    for (CanvasPointerLayer* layer : layers)
        if (layer)
            ordered.emplace_back(layer->zIndex(view), layer);
    std::stable_sort(ordered.begin(), ordered.end(),
                     [](const auto& a, const auto& b) { return a.first > b.first; });
    auto next = ordered.begin();
    auto layersAbove = [&](double z) -> CanvasPointerLayer* {
        for (; next != ordered.end() && next->first > z; ++next)
            if (next->second->hitTest(view, point))
                return next->second;
        return nullptr;
    };

    if (auto* layer = layersAbove(zIndexOf(CanvasLayerSlot::soundObjects)))
        return {CanvasHitTarget::Kind::layer, nullptr, 0, layer};
    const auto& objects = state.soundObjects.get();
    for (auto it = objects.rbegin(); it != objects.rend(); ++it) {
        const auto& object = *it;
        const double r = view.isSoundObjectSelected(*object) ? selectedSoundObjectRadius : itemRadius;
        if (within(point, object->position, r))
            return {CanvasHitTarget::Kind::soundObject, object, 0, nullptr};
    }

    if (auto* layer = layersAbove(zIndexOf(CanvasLayerSlot::speakers)))
        return {CanvasHitTarget::Kind::layer, nullptr, 0, layer};
    const auto& speakers = state.speakers.get();
    const CanvasOrientation orientation = state.canvasOrientation;
    for (auto it = speakers.rbegin(); it != speakers.rend(); ++it) {
        const bool selected = view.isSpeakerSelected(*it);
        if (within(point, it->position, selected ? selectedSpeakerRadius : itemRadius))
            return {CanvasHitTarget::Kind::speaker, nullptr, it->id, nullptr};
        // The overlay lies beneath its own loudspeaker's symbol but above earlier ones.
        const auto overlay = SpeakerOverlayGeometry::of(*it, selected, orientation, state.showSpeakerFocus,
                                                        state.showSpeakerCoverage);
        if (overlay.showsHandle &&
            within(point, overlay.handleCentre, SpeakerOverlayGeometry::handleDiameter / 2))
            return {CanvasHitTarget::Kind::focusHandle, nullptr, it->id, nullptr};
    }

    if (auto* layer = layersAbove(zIndexOf(CanvasLayerSlot::base)))
        return {CanvasHitTarget::Kind::layer, nullptr, 0, layer};
    return {};
}
