#include "Sonavant/ui/ToolPalette.h"

std::vector<ToolPalette::Button> ToolPalette::buttons(bool isEditingAudienceArea, bool isSoundScapeMode) {
    if (isEditingAudienceArea)
        return {
            {"Add Area", "Create a new audience area", Action::addArea},
            {"Delete Area", "Delete the selected audience area", Action::deleteArea},
            {"Duplicate", "Duplicate the selected audience area", Action::duplicateArea},
            {"Clear", "Remove all audience areas from the canvas", Action::clearAreas},
        };
    std::vector<Button> buttons;
    if (isSoundScapeMode)
        buttons.push_back({"Import .dbpr", "Import speaker layout from a .dbpr file", Action::importDbpr});
    else
        buttons.push_back({"Add Output", "Add a new output to the canvas", Action::addSpeaker});
    buttons.push_back({"Add Input", "Add a new input to the canvas", Action::addSoundObject});
    buttons.push_back(
        {"Clear", "Clear all outputs, inputs, cues, and paths from the canvas", Action::clearCanvas});
    buttons.push_back({"Groups", "Show or hide the groups window", Action::showGroups});
    buttons.push_back({"Snapshots", "Show or hide the snapshots window", Action::showSnapshots});
    return buttons;
}
