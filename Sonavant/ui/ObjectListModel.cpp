#include "Sonavant/ui/ObjectListModel.h"

#include <algorithm>

ObjectListModel::ObjectListModel(ContentView& view) : view_(view) {}

std::string ObjectListModel::selectionKey(const platform::UUID& sourceID) {
    return "soundObject-" + sourceID.string();
}

NamedColor ObjectListModel::typeSwatchColour(const std::optional<MixingDesk>& desk, const std::string& type) {
    if (!desk)
        return NamedColor::gray;
    if (type == desk->inputName)
        return colorNamed(desk->inputColour);
    if (desk->mixName == type)
        return colorNamed(desk->mixColour.value_or("white"));
    if (desk->groupName == type)
        return colorNamed(desk->groupColour.value_or("white"));
    if (desk->mtxName == type)
        return colorNamed(desk->mtxColour.value_or("white"));
    return NamedColor::gray;
}

std::vector<ObjectListRow> ObjectListModel::rows() const {
    std::vector<std::shared_ptr<SoundObject>> sources;
    for (const auto& source : view_.appState->soundObjects.get())
        if (source)
            sources.push_back(source);
    std::stable_sort(sources.begin(), sources.end(),
                     [](const auto& a, const auto& b) { return a->number.get() < b->number.get(); });

    const auto& desk = view_.appState->selectedDesk.get();
    const auto& selection = view_.selectedObjects.get();
    std::vector<ObjectListRow> rows;
    rows.reserve(sources.size());
    for (const auto& source : sources) {
        ObjectListRow row;
        row.id = source->id;
        row.key = selectionKey(source->id);
        row.numberText = "#" + std::to_string(source->number.get());
        row.name = source->name.get();
        row.swatch = typeSwatchColour(desk, source->type.get());
        row.selected = selection.count(row.key) > 0;
        rows.push_back(std::move(row));
    }
    return rows;
}

std::set<std::string> ObjectListModel::selectionAfterClick(std::set<std::string> selection,
                                                           const std::string& key, bool shift) {
    if (!shift)
        return {key};
    if (!selection.erase(key))
        selection.insert(key);
    return selection;
}

void ObjectListModel::click(const platform::UUID& sourceID, bool shift) {
    view_.selectedObjects = selectionAfterClick(view_.selectedObjects.get(), selectionKey(sourceID), shift);
}

void ObjectListModel::doubleClick(const platform::UUID& sourceID) {
    view_.presentInputSheet(sourceID);
}

void ObjectListModel::close() {
    view_.showingObjectList = false;
}
