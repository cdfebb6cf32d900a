#pragma once
// What the cue sidebar does, without its drawing: the header's flags, the four cue commands,
// each row's state, one handler for a row's clicks, and moving rows. The sidebar paints this
// and calls it. Main thread only.

#include "Sonavant/cues/PathCue.h"
#include "platform/UUID.h"

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class ContentView;
class PathManager;

// How a row is drawn. Playing wins over selected; error wins over relative; the two pairs
// stack (a tint over a state colour).
struct CueRowState {
    bool playing = false;
    bool selected = false;
    bool error = false;
    bool relative = false;
    bool operator==(const CueRowState&) const = default;
};

class CueSidebarModel {
public:
    static constexpr std::string_view title = "Path Cues";
    static constexpr std::string_view numberHeader = "#";
    static constexpr std::string_view nameHeader = "Name";
    static constexpr std::string_view timeHeader = "Time";
    static constexpr std::string_view drawPathHelp = "Draw Path";
    static constexpr std::string_view playHelp = "Play Selected Cue(s)";
    static constexpr std::string_view stopHelp = "Stop Playback";
    static constexpr std::string_view deleteHelp = "Delete Selected Cue(s)";
    static constexpr std::string_view editAreasHelp = "Edit Audience Areas";
    static constexpr std::string_view exitAreasHelp = "Exit Audience Area Edit Mode";
    static constexpr std::string_view mixerHelp = "Open the mixer for the selected Input";
    // Pointer travel (points) before a press on a row becomes a move of the row.
    static constexpr double dragThreshold = 4.0;

    explicit CueSidebarModel(ContentView& view);
    ContentView& view() const { return view_; }
    PathManager& pathManager() const;

    // ---- Header --------------------------------------------------------------------------
    bool isExpanded() const;
    void toggleSidebar();
    static std::string_view sidebarToggleHelp(bool expanded);
    // The mixer and audience-area buttons: not with the DS100 desk selected.
    bool showsDeskButtons() const;
    std::string_view audienceAreaHelp() const;
    void toggleAudienceAreaEditing();
    void openMixer();

    // ---- Toolbar ---------------------------------------------------------------------------
    void startRecording();
    void playSelectedCues();
    void stopPlayback();
    void deleteSelectedCues();

    // ---- Rows ------------------------------------------------------------------------------
    std::shared_ptr<PathCue> cue(const platform::UUID& id) const;
    CueRowState rowState(const PathCue& cue) const;
    // One handler per click. A click selects the cue at once (Shift adds or removes it);
    // a cue without targets is selectable too, so it can be deleted. The second click of a
    // double click opens the cue's sheet and leaves the selection alone.
    void rowClicked(const platform::UUID& id, bool shift);
    void rowDoubleClicked(const platform::UUID& id);
    // Moves the rows at `rows` (indices into the cue list) before the row at `destination`
    // (the count for the end); the moved rows keep their order. False when nothing moved.
    bool moveRows(const std::vector<std::size_t>& rows, std::size_t destination);
    // Where a row dropped at `y` goes, given the vertical centres of the rows in order.
    static std::size_t dropIndex(const std::vector<double>& rowCentres, double y);

private:
    ContentView& view_;
};

// A list with the elements at `rows` taken out and put back, in their order, before the
// element that was at `destination` (the size for the end). Indices out of range are ignored.
template <class T>
std::vector<T> movedList(const std::vector<T>& list, const std::vector<std::size_t>& rows,
                         std::size_t destination) {
    std::vector<bool> moving(list.size(), false);
    for (std::size_t row : rows)
        if (row < list.size())
            moving[row] = true;
    std::vector<T> kept, moved;
    std::size_t insertAt = 0;
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (i == destination)
            insertAt = kept.size();
        (moving[i] ? moved : kept).push_back(list[i]);
    }
    if (destination >= list.size())
        insertAt = kept.size();
    kept.insert(kept.begin() + std::ptrdiff_t(insertAt), moved.begin(), moved.end());
    return kept;
}
