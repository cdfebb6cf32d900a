// Editing audience areas on the canvas: adding one, selecting, dragging nodes and whole
// areas, naming and colouring.

#include "Sonavant/engine/ContentView.h"
#include "Sonavant/model/CanvasGeometry.h"

#include <algorithm>

namespace {

std::vector<AudienceArea>::iterator findArea(std::vector<AudienceArea>& areas, const platform::UUID& id) {
    return std::find_if(areas.begin(), areas.end(), [&](const AudienceArea& a) { return a.id == id; });
}

} // namespace

std::string ContentView::audienceAreaNodeKey(const platform::UUID& area, std::size_t node) {
    return area.string() + "-node-" + std::to_string(node);
}

void ContentView::addAudienceArea() {
    const auto size = canvasSize.get();
    // The middle of the canvas through the one canvas-to-metres conversion, so the square
    // lands where the operator looks under every orientation.
    const Point centre = canvasToMetres(appState->canvasOrientation, {size.width * 0.5, size.height * 0.5},
                                        zoomLevel, appState->zeroPoint);
    AudienceArea area;
    area.name = "Audience";
    area.color = "blue";
    area.nodesMeters = {{centre.x - 1, centre.y + 1},
                        {centre.x + 1, centre.y + 1},
                        {centre.x + 1, centre.y - 1},
                        {centre.x - 1, centre.y - 1}};
    const auto id = area.id;
    appState->saveStateForUndo();
    appState->audienceAreas.update([&](auto& areas) { areas.push_back(std::move(area)); });
    appState->selectedAudienceAreaID = id;
    if (appState->audienceAwarePanLaw)
        updateRelativeLevels();
    // And after, so the Undo of a later edit that records only after itself stops here.
    appState->saveStateForUndo();
}

void ContentView::selectAudienceArea(const platform::UUID& area) {
    if (appState->isEditingAudienceArea)
        appState->selectedAudienceAreaID = area;
}

void ContentView::audienceAreaNodeDragChanged(const platform::UUID& id, std::size_t node, Point translation) {
    auto areas = appState->audienceAreas.get();
    auto area = findArea(areas, id);
    if (area == areas.end() || node >= area->nodesMeters.size())
        return;
    const auto key = audienceAreaNodeKey(id, node);
    if (!dragStartNodeMeters->contains(key)) {
        appState->saveStateForUndo();
        dragStartNodeMeters.update([&](auto& starts) { starts[key] = area->nodesMeters[node]; });
    }
    const auto orientation = appState->canvasOrientation.get();
    const Point zero = appState->zeroPoint;
    const Point start = metresToCanvas(orientation, dragStartNodeMeters->at(key), zoomLevel, zero);
    area->nodesMeters[node] =
        canvasToMetres(orientation, {start.x + translation.x, start.y + translation.y}, zoomLevel, zero);
    appState->audienceAreas = std::move(areas);
}

void ContentView::audienceAreaNodeDragEnded(const platform::UUID& id, std::size_t node) {
    const auto key = audienceAreaNodeKey(id, node);
    if (!dragStartNodeMeters->contains(key))
        return; // no change was made, so there is nothing to record
    dragStartNodeMeters.update([&](auto& starts) { starts.erase(key); });
    appState->saveStateForUndo();
    if (appState->audienceAwarePanLaw)
        updateRelativeLevels();
}

void ContentView::audienceAreaDragChanged(const platform::UUID& id, Point translation) {
    auto areas = appState->audienceAreas.get();
    auto area = findArea(areas, id);
    if (area == areas.end())
        return;
    if (!dragStartAllNodes->contains(id)) {
        appState->saveStateForUndo();
        dragStartAllNodes.update([&](auto& starts) { starts[id] = area->nodesMeters; });
    }
    const auto orientation = appState->canvasOrientation.get();
    const Point zero = appState->zeroPoint;
    const auto& start = dragStartAllNodes->at(id);
    area->nodesMeters.clear();
    for (const auto& n : start) {
        const Point p = metresToCanvas(orientation, n, zoomLevel, zero);
        area->nodesMeters.push_back(
            canvasToMetres(orientation, {p.x + translation.x, p.y + translation.y}, zoomLevel, zero));
    }
    appState->audienceAreas = std::move(areas);
}

void ContentView::audienceAreaDragEnded(const platform::UUID& id) {
    if (!dragStartAllNodes->contains(id))
        return;
    dragStartAllNodes.update([&](auto& starts) { starts.erase(id); });
    appState->saveStateForUndo();
    if (appState->audienceAwarePanLaw)
        updateRelativeLevels();
}

void ContentView::setAudienceAreaName(const platform::UUID& id, const std::string& name) {
    auto areas = appState->audienceAreas.get();
    auto area = findArea(areas, id);
    if (area == areas.end() || area->name == name)
        return;
    area->name = name;
    appState->audienceAreas = std::move(areas);
}

void ContentView::setAudienceAreaColor(const platform::UUID& id, const std::string& color) {
    auto areas = appState->audienceAreas.get();
    auto area = findArea(areas, id);
    if (area == areas.end())
        return;
    area->color = color;
    appState->audienceAreas = std::move(areas);
}
