#pragma once
// The one live show state. Every field is published: each assignment is announced to
// observers before it becomes visible. The live instance is never replaced: documents and
// history entries are decoded into a second instance and copied in with `load` or
// `restore`. Main thread only.

#include "Sonavant/cues/PathCue.h"
#include "Sonavant/model/AudienceArea.h"
#include "Sonavant/model/CanvasOrientation.h"
#include "Sonavant/model/Geometry.h"
#include "Sonavant/model/MixingDesk.h"
#include "Sonavant/model/ObjectGroup.h"
#include "Sonavant/model/PanningMode.h"
#include "Sonavant/model/Snapshot.h"
#include "Sonavant/model/SoundObject.h"
#include "Sonavant/model/SoundscapeSpeaker.h"
#include "Sonavant/model/Speaker.h"
#include "Sonavant/model/ZeroPointPosition.h"
#include "platform/Coding.h"
#include "platform/Observable.h"
#include "platform/UUID.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

// Per source (by id), per loudspeaker (by `Speaker::id`).
template <class T> using PerSourcePerSpeaker = std::map<platform::UUID, std::map<std::int64_t, T>>;

class AppState : public std::enable_shared_from_this<AppState> {
public:
    static constexpr std::size_t maxUndoEntries = 20;
    static constexpr double defaultSpeakerWidthValue = 70.0;

    AppState(std::vector<Speaker> speakers, std::vector<std::shared_ptr<SoundObject>> soundObjects,
             std::vector<ObjectGroup> groups, std::vector<Snapshot> snapshots,
             std::optional<MixingDesk> selectedDesk, bool oscOutputOn, std::string targetDeskIP,
             std::string targetPort, bool showZeroPoint, double range, int minLevel, int maxLevel,
             bool minMaxRelitive, std::vector<std::shared_ptr<PathCue>> pathCues, Point zeroPoint,
             ZeroPointPosition zeroPointPosition, bool isSoundScapeMode, std::string receivePort,
             std::optional<std::string> backgroundImageURL, bool showBackgroundImage,
             Point backgroundImageOffset, double backgroundImageScale, CanvasOrientation canvasOrientation,
             double backgroundImageRotation, bool showSidebar, bool constantPowerPan,
             PanningMode panningMode);

    AppState(const AppState&) = delete;
    AppState& operator=(const AppState&) = delete;

    // Fields in declaration order (1 to 40).
    platform::Published<std::vector<Speaker>> speakers;
    platform::Published<std::vector<std::shared_ptr<SoundObject>>> soundObjects;
    platform::Published<std::vector<ObjectGroup>> groups;
    platform::Published<std::vector<Snapshot>> snapshots;
    platform::Published<std::optional<MixingDesk>> selectedDesk;
    platform::Published<bool> oscOutputOn;
    platform::Published<std::string> targetDeskIP;
    platform::Published<std::string> targetPort;
    platform::Published<bool> showZeroPoint;
    platform::Published<double> range; // metres
    platform::Published<int> minLevel; // percent
    platform::Published<int> maxLevel; // percent
    platform::Published<bool> minMaxRelitive;
    platform::Published<std::vector<std::shared_ptr<PathCue>>> pathCues;
    platform::Published<std::vector<AudienceArea>> audienceAreas;
    platform::Published<std::optional<platform::UUID>> selectedAudienceAreaID;
    platform::Published<bool> isEditingAudienceArea;
    platform::Published<Point> zeroPoint; // canvas points
    platform::Published<ZeroPointPosition> zeroPointPosition;
    platform::Published<bool> isSoundScapeMode;
    platform::Published<std::string> receivePort;
    platform::Published<std::optional<std::string>> backgroundImageURL;
    platform::Published<bool> showBackgroundImage;
    platform::Published<Point> backgroundImageOffset;
    platform::Published<double> backgroundImageScale;
    platform::Published<std::vector<SoundscapeSpeaker>> soundscapeSpeakers;
    platform::Published<PerSourcePerSpeaker<double>> mixerLevels;          // run only
    platform::Published<std::shared_ptr<SoundObject>> selectedSoundObject; // run only; null for none
    platform::Published<PerSourcePerSpeaker<bool>> freezeStates;
    platform::Published<PerSourcePerSpeaker<bool>> muteStates;
    platform::Published<bool> showGrid; // run only
    platform::Published<CanvasOrientation> canvasOrientation;
    platform::Published<double> backgroundImageRotation;
    platform::Published<bool> showSidebar;
    platform::Published<bool> constantPowerPan;
    platform::Published<PanningMode> panningMode;
    platform::Published<bool> showSpeakerFocus;
    platform::Published<bool> showSpeakerCoverage;
    platform::Published<double> defaultSpeakerWidth;
    platform::Published<bool> audienceAwarePanLaw;

    // The 37 coded keys, in coding order.
    static const std::vector<std::string>& codingKeys();
    // Throws platform::CodingError (a source or cue that is missing from its list).
    platform::Value encode() const;
    // Throws platform::CodingError; nothing partly decoded escapes.
    static std::shared_ptr<AppState> decode(const platform::Value& value, const std::string& path);

    // Copies the fields from another state, each assignment announced, all but the output
    // switch, which stays as the operator set it. Opening records the show before it whole,
    // so that Undo gives it back and Redo the opened one, each with every field a file holds.
    void load(const AppState& other);

    // Announced once a whole show is in: after `load` (a show was opened) and after an undo
    // or redo step restored an entry (across an Open: the whole show). What hangs on the live
    // canvas, zoom and the cue engine is derived again by its owner then, not field by field
    // while the copy runs.
    enum class Replacement { opened, restored, restoredAcrossOpen, restoredAcrossDeskPick };
    platform::Subject<Replacement> replaced;
    // Announced when an undo or redo step begins, before anything is copied or restored.
    platform::Subject<void> historyStepping;

    // Undo and redo. Process-wide, in memory only, main thread only.
    static inline std::vector<std::shared_ptr<AppState>> undoStack; // oldest first
    static inline std::vector<std::shared_ptr<AppState>> redoStack; // newest last
    static inline bool isRestoring = false;
    // Holds back the history entries of the steps inside one operation that records its own
    // before and after.
    struct HistoryPause {
        bool was = isRestoring;
        HistoryPause() { isRestoring = true; }
        ~HistoryPause() { isRestoring = was; }
    };

    // Records the live show, unless it is the newest entry or the state the last undo or
    // redo left (then nothing is recorded and the redo list stays).
    void saveStateForUndo();
    // As `saveStateForUndo`, just before a desk pick: whichever entry stands for the show
    // before it carries the view's desk and port as they are now, and a step to it gives
    // them back even where the desk is the same.
    void saveStateBeforeDeskPick();
    void undo();
    void redo();
    static void clearHistory();
    // An independent copy holding exactly what a document would (the run-only fields at their
    // initial values); null, with a console line, when the state cannot be coded.
    std::shared_ptr<AppState> deepCopy() const;
    // Copies the undoable fields of a history entry into this state: the show's, with its
    // audience areas, but not the output switch, which stays as the operator set it. The
    // entries on either side of an Open give back every field a show file holds.
    void restore(const AppState& entry);
    // Whether two states hold the same show in what an undo gives back: metres, not the
    // canvas points derived from them or the zero point (both follow the canvas size and
    // zoom), without the output switch. False when either cannot be coded.
    static bool sameShow(const AppState& a, const AppState& b);

    // The sources a playing cue or a tracker moves now; the main view answers. Their
    // positions are not the operator's edits: no push or step compares them (a step still
    // gives them back, and the cue or tracker takes them on from there).
    std::function<std::set<platform::UUID>()> sourcesInMotion;

    // The main view's desk and its live desk port, which the show does not hold (the view
    // keeps it current). Not coded and not compared; history entries carry it, so an undo or
    // redo across a desk pick can give the view its desk and port back.
    struct ViewDesk {
        std::optional<MixingDesk> desk;
        std::string port;
        bool operator==(const ViewDesk&) const = default;
    };
    std::optional<ViewDesk> viewDesk;

private:
    // An entry beside an Open: the show before it on the undo side, the opened one on the
    // redo side. A step to it gives back the whole show, not only what an edit changes.
    bool stepsWhole_ = false;
    // An entry beside a desk pick: a step to it gives back the view's desk and port.
    bool stepsAcrossDeskPick_ = false;
    // The state the last undo or redo left, until the show changes or the next push records.
    static inline std::shared_ptr<AppState> stepResult;
    // A push found the show as the step left it: an edit that records only before itself
    // may follow.
    static inline bool pushedAtStepResult = false;
    static void record(std::shared_ptr<AppState> entry);
    // The show before an Open, as the entry a step across it gives back whole.
    void recordBeforeOpening();
    // Whether the live show is `entry` in what a step to it gives back, the positions of
    // the sources in motion left out.
    bool matches(const AppState& entry) const;
    std::set<platform::UUID> motionNow() const;
    // When the show has changed since the last step without an entry (for Undo and Redo:
    // after a push announced an edit), records the step's state and ends the redo list;
    // unchanged, gives it back as a copy of the live show. Forgets it either way.
    std::shared_ptr<AppState> settleStepResult(bool onlyAfterAPush);
    void historyStep(std::vector<std::shared_ptr<AppState>>& source,
                     std::vector<std::shared_ptr<AppState>>& destination, std::shared_ptr<AppState> current);
};

template <> struct platform::Coder<std::shared_ptr<AppState>> {
    static Value encode(const std::shared_ptr<AppState>& state);
    static std::shared_ptr<AppState> decode(const Value& value, const std::string& path) {
        return AppState::decode(value, path);
    }
};
