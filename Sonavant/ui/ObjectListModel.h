#pragma once
// The "Inputs" list's rules: its rows (every source by number, ties in show order), each
// row's swatch from the desk's kind colours, and what a click, a Shift-click and a double
// click do to the canvas selection and the input sheet. The list changes nothing but the
// selection and the open sheet. Main thread only.

#include "Sonavant/engine/ContentView.h"
#include "Sonavant/model/NamedColor.h"

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

struct ObjectListRow {
    platform::UUID id;
    std::string key;        // the canvas selection key
    std::string numberText; // "#3"
    std::string name;
    NamedColor swatch = NamedColor::gray;
    bool selected = false;
    bool operator==(const ObjectListRow&) const = default;
};

class ObjectListModel {
public:
    explicit ObjectListModel(ContentView& view);

    std::vector<ObjectListRow> rows() const;

    // Without Shift the row's key becomes the whole selection (loudspeakers and path nodes
    // included go); with Shift the row's key is toggled and the rest stays.
    void click(const platform::UUID& sourceID, bool shift);
    // Opens the source's input sheet; the selection is left alone.
    void doubleClick(const platform::UUID& sourceID);
    // Hides the list; the selection is left alone.
    void close();

    static std::string selectionKey(const platform::UUID& sourceID);
    static NamedColor typeSwatchColour(const std::optional<MixingDesk>& desk, const std::string& type);
    static std::set<std::string> selectionAfterClick(std::set<std::string> selection, const std::string& key,
                                                     bool shift);

private:
    ContentView& view_;
};
