#pragma once
// The main window's logic without its drawing: the working state the level engine, the
// start-up wiring, remote commands, menu actions, snapshot recall and the saved working state
// share, and the operations on it. The GUI binds to these fields and calls these operations.
//
// Main thread only, with one exception: the desk send step runs on a global queue. What it
// needs outlives the view and is shared under locks: the send-time table (`lastSendTime`),
// the throttling switch (`disableOSCThrottling`), the desk address binding and the outlet.
//
// Operations live in topic files: ContentViewLevels.cpp (level computation),
// ContentViewAudience.cpp (audience-area factors), ContentViewDeskOutput.cpp (send decision,
// staggered and throttled desk sends), ContentViewSoundScape.cpp (DS100 positions).

#include "Sonavant/cues/PathCue.h"
#include "Sonavant/cues/PathManager.h"
#include "Sonavant/engine/Binding.h"
#include "Sonavant/engine/CanvasSelectionKey.h"
#include "Sonavant/engine/DeskOutlet.h"
#include "Sonavant/engine/DestinationKey.h"
#include "Sonavant/engine/LockedValue.h"
#include "Sonavant/engine/MixerSendLink.h"
#include "Sonavant/engine/RemoteCommandQueue.h"
#include "Sonavant/engine/SendTimeTable.h"
#include "Sonavant/engine/ViewGeometry.h"
#include "Sonavant/model/AppState.h"
#include "Sonavant/model/Geometry.h"
#include "Sonavant/model/MixingDesk.h"
#include "Sonavant/model/SoundObject.h"
#include "Sonavant/model/Speaker.h"
#include "platform/Dispatch.h"
#include "platform/Observable.h"
#include "platform/RunLoop.h"
#include "platform/UUID.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

class OSCClient;
class OSCReceiver;
class ContentViewPresenter;
class AppStatePersistence;
class LatestWriteQueue;
struct PresenterFilePanel;
namespace platform {
class UserDefaults;
}

// The last level decided for one destination and how often it has repeated unchanged.
struct MappedLevel {
    double value = 0;
    std::int64_t count = 0;
};

// Where a pair's level last went: the address and the silence value of the range it was
// sent under.
struct SentLevelRecord {
    std::shared_ptr<const std::string> address;
    double lower = 0;
    std::uint64_t addressCheck = 0; // the last address check that found the pair using it
};

// One source's remembered levels, laid out in the loudspeaker order of the last pass so a
// pass reads them in sequence; loudspeakers no longer present stay behind those until
// their addresses are brought down.
struct MappedLevelRow {
    std::uint64_t layout = 0; // the loudspeaker order it is laid out for
    std::vector<std::int64_t> speakers;
    std::vector<MappedLevel> levels;
    std::vector<char> known; // a level has been decided for the pair
    std::vector<SentLevelRecord> sent;
};

// The last position sent to a DS100 for one source and how often it has repeated unchanged.
struct SoundScapeSentPosition {
    float x = 0;
    float y = 0;
    std::int64_t count = 0;
};

// What a desk send needs to know of the desk definition.
struct DeskTransport {
    bool UDP = true;
    bool OSCFloat = false;
};

class ContentView {
public:
    // ---- Construction -------------------------------------------------------------------
    // The application hands over its desk address, port and zero-point visibility (initially
    // "127.0.0.1", "49900" and true), its one show state and the cue-list width.
    explicit ContentView(std::shared_ptr<AppState> appState,
                         Binding<std::string> targetDeskIP = Binding<std::string>("127.0.0.1"),
                         Binding<std::string> targetPort = Binding<std::string>("49900"),
                         Binding<bool> showZeroPoint = Binding<bool>(true), double listW = 320.0,
                         std::shared_ptr<DeskOutlet> outlet = DeskOutlet::network());
    ~ContentView();
    ContentView(const ContentView&) = delete;
    ContentView& operator=(const ContentView&) = delete;

    // ---- Bindings: values the application owns ---------------------------------------------
    Binding<std::string> targetDeskIP; // every desk, DS100 and QLab message goes here
    Binding<std::string> targetPort;   // decimal; parsed as an unsigned 16-bit number where used
    Binding<bool> showZeroPoint;

    // ---- Environment ----------------------------------------------------------------------
    const std::shared_ptr<AppState> appState;

    // ---- Network objects ------------------------------------------------------------------
    const std::unique_ptr<OSCClient> oscClient; // the fade-cue dialogue with QLab
    // Where desk messages leave; the network unless a test or benchmark replaces it.
    const std::shared_ptr<DeskOutlet> outlet;

    // ---- Desk selection and output switch copy ----------------------------------------------
    platform::Published<bool> oscOutputOn{true}; // only carries "savedOscOutputOn"; sending follows AppState
    platform::Published<std::vector<MixingDesk>> mixingDesks;
    platform::Published<std::optional<MixingDesk>> selectedDesk; // the desk levels are sent for

    // ---- Canvas and interaction ---------------------------------------------------------------
    platform::Published<ViewSize> canvasSize;
    platform::Published<double> speakerZeroFactor{1.0}; // full-level radius: 30 canvas points at 1.0
    platform::Published<double> zoomLevel{100.0};       // canvas points per metre
    platform::Published<std::optional<Speaker>> activeSpeaker;
    platform::Published<std::shared_ptr<SoundObject>> activeSoundObject; // null for none
    platform::Published<std::set<std::string>> selectedObjects;          // canvas selection keys
    platform::Published<std::map<std::string, Point>> dragStartPositions;
    platform::Published<Point> dragStartLocation;
    platform::Published<bool> isRecordingPath{false};
    platform::Published<std::optional<Point>> lastDragPosition;
    platform::Published<std::optional<CanvasGeometryProxy>> cachedGeometryProxy;
    platform::Published<std::optional<Point>> selectionStart;
    platform::Published<std::optional<ViewRect>> selectionRect;
    // Audience-area node drags: keyed by area id text, "-node-" and the node index.
    platform::Published<std::map<std::string, Point>> dragStartNodeMeters;
    platform::Published<std::map<platform::UUID, std::vector<Point>>> dragStartAllNodes;
    platform::Published<bool> showingObjectList{false};
    double listW = 320.0;
    static constexpr double gridOpacity = 0.3;

    // ---- DS100 queries ------------------------------------------------------------------------
    platform::Published<bool> disableSoundObjectOSCUpdates{false}; // holds back DS100 positions
    platform::Published<std::int64_t> pendingSoundObjectQueries{0};

    // ---- Windows, sheets and dialogs -----------------------------------------------------------
    platform::Published<std::optional<platform::UUID>> selectedSnapshotID;
    platform::Published<std::shared_ptr<PathCue>> cueForProperties; // null for none
    platform::Published<bool> isExporting{false};
    platform::Published<bool> isImporting{false};

    // ---- Timers -------------------------------------------------------------------------------
    platform::DispatchTimerPtr tcpRefreshTimer; // the TCP link check; null until start-up
    // Seconds between link checks, fixed when the view comes on screen: 10, or the value of
    // the environment variable SONAVANT_LINK_CHECK_INTERVAL given as `setting` (tests shorten
    // it). A value that is not a positive number is refused with a console line.
    double linkCheckSeconds = defaultLinkCheckSeconds;
    static constexpr double defaultLinkCheckSeconds = 10.0;
    static constexpr const char* linkCheckIntervalVariable = "SONAVANT_LINK_CHECK_INTERVAL";
    static double linkCheckInterval(const char* setting);

    // ---- Desk output bookkeeping (never emptied; nobody draws it) ----------------------------
    // Per destination, the last level decided and its repeat count (main thread).
    std::vector<std::pair<DestinationKey, MappedLevel>> lastMappedLevels() const;
    // Keyed "soundscape-" + source id text; main thread.
    std::unordered_map<std::string, SoundScapeSentPosition> lastSentSoundScapePositions;
    const std::shared_ptr<SendTimeTable> lastSendTime;             // shared with the send queue
    const std::shared_ptr<LockedValue<bool>> disableOSCThrottling; // set by fade-cue generation
    static constexpr double throttleInterval = 0.03;               // seconds between sends to one destination

    // ---- Level engine -------------------------------------------------------------------------
    // Every source's level on every loudspeaker into AppState.mixerLevels, and the ones that
    // changed (or are due for a repeat) to the desk; in SoundScape mode positions instead.
    void updateRelativeLevels();
    // A source whose position, kind and mutes are unchanged, in a pass whose loudspeakers,
    // areas, law and limits are unchanged, keeps its last levels instead of computing them
    // again (its send decisions still run). On by default; off, every pass computes every
    // pair, which tests use as the reference.
    void setLevelRowReuse(bool on);
    // "Update OSC" and the operator switching output on: one pass that sends every pair (every
    // position in SoundScape mode) whatever was sent before, through the usual stagger and
    // throttle.
    void sendEveryPairOnce();
    // The top bar's output switch. Switched on, the desk catches up with everything that
    // changed while it was off.
    void setOSCOutput(bool on);
    // The desk that levels go to is another one, or holds another show (Clear, New Blank
    // Canvas, Open): what was sent before is no longer brought down, and every pair counts
    // as new.
    void forgetSentLevels();
    // The TCP desk's link is ready again after the desk missed lines: with output on, every
    // pair once, as switching output on does.
    void tcpLinkRestored();

    // Audience-area factors of one loudspeaker, from the show's areas, orientation and zero
    // point and the zoom.
    double audienceFocusFactor(const Speaker& speaker) const;
    double audienceCoverageFactor(const Speaker& speaker) const;

    // ---- Desk output ----------------------------------------------------------------------------
    // What a send that runs later needs; copies share the tables.
    struct DeskSendContext {
        std::shared_ptr<DeskOutlet> outlet;
        Binding<std::string> targetDeskIP; // read when the send runs
        std::shared_ptr<SendTimeTable> lastSendTime;
        std::shared_ptr<LockedValue<bool>> disableOSCThrottling;
        std::shared_ptr<LockedValue<bool>> outputOn; // the output switch, read as a held send leaves
        std::shared_ptr<std::atomic<std::size_t>>
            staggeredOutstanding; // sends waiting out stagger or throttle
    };
    DeskSendContext deskSendContext() const;
    // Blocks of staggered sends, and sends the throttle holds back, not yet handed to the
    // outlet (any thread).
    std::size_t staggeredSendsOutstanding() const;

    // Sends `level` for `speaker` after its id x 10 ms on the global default queue.
    void scheduleStaggeredSend(const Speaker& speaker, const std::string& address, DeskTransport desk,
                               std::uint16_t port, const std::string& key, double level);
    // All of one loudspeaker's sends of a pass, in one block after its id x 10 ms.
    // The texts are shared, not copied: a pass hands over the ones it keeps per pair.
    struct StaggeredSend {
        std::shared_ptr<const std::string> address;
        std::shared_ptr<const std::string> key;
        double level = 0;
        std::uint64_t sequence = 0; // order of decision
    };
    void scheduleStaggeredSends(const Speaker& speaker, DeskTransport desk, std::uint16_t port,
                                std::vector<StaggeredSend> sends);
    // Several loudspeakers' sends of one pass. The send queue places the blocks, so the main
    // thread hands over once; each still leaves its loudspeaker's id x 10 ms after now.
    struct StaggeredBatch {
        std::int64_t speakerID = 0;
        std::vector<StaggeredSend> sends;
    };
    void scheduleStaggeredSends(std::deque<StaggeredBatch> batches, DeskTransport desk, std::uint16_t port);
    // Fade-cue generation puts a step's level sends behind that step's "/new": while held, the
    // sends passes decide wait here. The release sends them as those passes would have (each
    // loudspeaker's block its id x 10 ms later) and runs `left` on the main queue once every
    // one of them has left through the outlet.
    void holdLevelSends();
    void releaseLevelSends(std::function<void()> left);
    // One throttled send, now, on the calling thread.
    void sendLevelToDesk(const std::string& key, const MixingDesk& desk, const std::string& address,
                         std::uint16_t port, double level);
    // The send step itself; any thread. `sequence` orders sends decided earlier and later.
    static void sendLevelToDesk(const DeskSendContext& context, const std::string& key, DeskTransport desk,
                                const std::string& address, std::uint16_t port, double level,
                                std::uint64_t sequence);

private:
    // The send decision of one pair on its remembered level: true when the level is to go
    // out (changed, or due for its periodic repeat every `repeatBase` + 50 unchanged updates).
    static bool levelNeedsSend(MappedLevel& last, std::int64_t repeatBase, double level);
    void computeAndSendLevels(const MixingDesk& desk, std::uint16_t port);
    void sendSoundScapePositions(const MixingDesk& desk, std::uint16_t port);
    // The position a DS100 is sent for a canvas point: turned, in metres with four decimals;
    // none when that is no finite float.
    std::optional<std::pair<float, float>> soundScapePosition(Point canvas) const;
    // An address that was sent and that no current pair uses any more: one send of the
    // silence value it was last sent under. `current` holds every address of the pass.
    struct GoneAddress {
        std::shared_ptr<const std::string> address;
        double lower = 0;
        std::int64_t speakerID = 0; // its stagger
    };
    // Gives the addresses a pair left (moved away, deleted, no longer routed) that other
    // current pairs still use: those pairs are to send again, so the address ends with the
    // level of a pair that uses it. `check` numbers the address check under way: a record
    // not found in it has left.
    std::unordered_set<std::string_view>
    bringDownGoneAddresses(const std::unordered_set<std::string_view>& current,
                           std::vector<GoneAddress> replaced,
                           const std::vector<platform::UUID>& presentSources, std::uint64_t check,
                           DeskTransport desk, std::uint16_t port);

    std::uint64_t nextSendSequence_ = 0; // main thread
    bool sendEveryPair_ = false;         // the pass under way sends every pair

    // Sends held back by holdLevelSends, in the order decided (main thread; none while not held).
    struct HeldSends {
        std::deque<StaggeredBatch> batches;
        DeskTransport desk;
        std::uint16_t port = 0;
    };
    std::optional<std::vector<HeldSends>> heldLevelSends_;

    // A pass changed what pairs there are while output was off: the next pass with output
    // on checks every address.
    bool addressCheckDue_ = false;
    std::uint64_t addressChecks_ = 0; // address checks made, numbering them
    const std::shared_ptr<std::atomic<std::size_t>> staggeredOutstanding_ =
        std::make_shared<std::atomic<std::size_t>>(0);
    // The mixer's last send per pair (source, loudspeaker id), until a pass sends the pair.
    std::map<std::pair<platform::UUID, std::int64_t>, std::uint64_t> mixerSendMarks_;
    std::shared_ptr<void> tcpLinkObserver_;
    // AppState.oscOutputOn as the send queue reads it.
    const std::shared_ptr<LockedValue<bool>> outputOnForSends_;
    platform::SubscriptionBag outputSwitchObserver_;
    // The rows of lastMappedLevels (never emptied), and the loudspeaker order they follow.
    std::unordered_map<platform::UUID, MappedLevelRow> lastMappedLevels_;
    std::vector<std::int64_t> mappedLevelSpeakerIDs_;
    std::uint64_t mappedLevelLayout_ = 0;
    MappedLevelRow& mappedLevelRow(const platform::UUID& source);
    // Working tables of the level pass, kept so a pass allocates next to nothing.
    struct LevelPassTables;
    std::shared_ptr<LevelPassTables> levelPassTables_;

    // ---- Canvas: change handlers, selection, item drags, rubber band, focus handle ------------
    // (ContentViewCanvas.cpp, ContentViewSelection.cpp.) The canvas widget turns pointer
    // events into these calls; every rule lives here, so it is tested without a window.
public:
    // Where the pointer went down and where it is now, canvas points.
    struct DragValue {
        Point startLocation;
        Point location;
    };
    // An item outside the visible canvas, drawn as a small marker at the edge it crossed.
    struct OffCanvasMarker {
        std::string key;
        Point position;
        std::string colour;
        std::optional<std::string> outline;
    };
    static constexpr std::uint64_t shiftModifierFlag = 0x20000;
    static constexpr std::uint64_t controlModifierFlag = 0x40000;
    // The modifier keys held as a handler runs; the canvas sets it before each call.
    std::uint64_t currentModifierFlags = 0;
    platform::Published<std::shared_ptr<SoundObject>> localSelectedSoundObject; // last click selection

    void canvasAppeared(const CanvasGeometryProxy& geometry);
    void canvasResized(ViewSize newSize, const CanvasGeometryProxy& geometry);
    void zoomLevelChanged(double newZoom);
    void reprojectAllPositions(const CanvasGeometryProxy& geometry);
    void levelSettingsChanged();
    // A level setting changed and its write of both files has not been handed over yet.
    bool levelSettingsWritePending() const { return levelSettingsWriteDue_; }

    void selectItem(const std::string& key);
    bool isSoundObjectSelected(const SoundObject& object) const;
    bool isSpeakerSelected(const Speaker& speaker) const;
    void pressSoundObject(const std::shared_ptr<SoundObject>& object);
    void openSoundObject(const std::shared_ptr<SoundObject>& object);
    void pressSpeaker(const Speaker& speaker);
    void openSpeaker(const Speaker& speaker);
    void moveSelectedObjects(const DragValue& value, const SoundObject& object);
    void finishObjectDrag(const DragValue& value);
    void moveSelectedSpeakers(const DragValue& value, const Speaker& speaker);
    void finishSpeakerDrag(const DragValue& value);
    void canvasTapped();
    void updateSelectionRect(const DragValue& value);
    void finishSelectionRect(const DragValue& value);
    bool isCanvasSpotFree(Point point) const;
    std::vector<OffCanvasMarker> offCanvasMarkers(ViewRect canvas) const;
    // A change of a loudspeaker's focus-handle drag: the loudspeaker turns to face the
    // pointer, and the levels follow when its focus changed.
    void speakerFocusDragged(std::int64_t speakerID, Point location);

private:
    // A drag location the show may store: finite and within reach of the canvas.
    static bool isUsableLocation(Point location);

    // Show control: start-up, working state, remote commands, snapshots, DS100, connections
public:
    // ---- Show-control state -------------------------------------------------------------------
    std::shared_ptr<OSCReceiver> oscReceiver; // the remote-control receiver; set once it started
    // The path-cue engine of this window.
    std::shared_ptr<PathManager> pathManager = std::make_shared<PathManager>();
    std::shared_ptr<ContentViewPresenter> presenter; // the GUI's windows and dialogues; null headless
    // Where the working state is kept; the standard user defaults when null.
    platform::UserDefaults* userDefaults = nullptr;

    // ---- Start-up and shutdown ----------------------------------------------------------------------
    // Desk definitions and working state now; the receiver, observers and first send on the
    // next turn of the main queue. Does nothing while the view is already on screen.
    void onAppearLoad();
    void startReceiverAndObservers();
    void installMenuActions();
    // Gives a receiver the nine callbacks; each hands its arguments to the main queue.
    void installReceiverCallbacks(OSCReceiver& receiver);
    void onDisappearCleanup();
    void stopOSCReceiver();

    // ---- Desk definitions and working state -------------------------------------------------------
    void loadMixingDesks(); // the shipped file
    void loadMixingDesks(const std::optional<std::filesystem::path>& file);
    // The working state into its store now, on the main thread (at shutdown).
    void saveState();
    // Reads the working state. Where the autosave restored at launch was written by a later
    // joint write than the working state (a kill or a failure between the two files), the
    // autosave's show stays whole: only the view's own keys are read.
    void loadState();
    // The autosave file, then the working state, written on a thread of their own from a copy
    // taken now, so the main thread never waits for the disk. Both carry one stamp, so the
    // launch can tell whether they were written together. Runs at every autosave tick and
    // after each wholesale change (Open, Open Recent, Undo, Redo, Clear, New Blank Canvas, a
    // drawn path's end). The autosave is written only where the application gave its
    // `persistence`. A failure of either file is told once, on a later turn of the main
    // queue, until a write of that file succeeds again.
    void writeAutosaveAndWorkingState();
    // The same write for the end of the program: waited for, failures left to the caller to
    // tell. True when both files were written.
    bool finishWrites();
    // Returns once the writes handed over so far are on disk (or failed).
    void waitForWrites();

    // ---- Zero point ----------------------------------------------------------------------------------
    void updateZeroPoint();
    void refreshPositionsAfterZeroPointChange();

    // ---- Remote commands and DS100 replies (main thread) ----------------------------------------------
    void handleCuePlay(double cueNumber);
    void handleStopPlayback();
    void handleTrackPosition(std::int64_t sourceNumber, double x, double y);
    void handleRemoteSpeakerPosition(std::int64_t speakerID, double x, double y);
    void handleRemoteSpeakerFocus(std::int64_t speakerID, double focus);
    void handleRemoteSpeakerWidth(std::int64_t speakerID, double width);
    void handleSoundscapeSpeakerReply(const SoundscapeSpeaker& speaker);
    void handleRemoteObjectXY(std::int64_t sourceNumber, float x, float y);

    // ---- Remote command queue (flood handling) ---------------------------------------------------------
    // Receiver callbacks queue their commands here; one drain on the main queue runs what is
    // pending, with one level pass per run of set-value commands (see RemoteCommandQueue).
    // The lines of a command replaced before it ran are not printed; its "📥 Received OSC: "
    // line was.
    const std::shared_ptr<RemoteCommandQueue> remoteCommands = std::make_shared<RemoteCommandQueue>();
    void drainRemoteCommands();
    bool remoteLevelsDue = false; // a set-value command changed the show since the last pass
    // The set-value commands without their level pass; true when the show changed.
    bool applyTrackPosition(std::int64_t sourceNumber, double x, double y);
    // The sources a playing cue or a tracker moves now (the history leaves their positions
    // out of its comparisons). A tracker places its sources many times a second: one it has
    // not placed for `trackingLapse` seconds (main run-loop clock) is no longer tracked.
    static constexpr double trackingLapse = 1.0;
    std::set<platform::UUID> sourcesInMotion();
    bool applyRemoteSpeakerPosition(std::int64_t speakerID, double x, double y);
    bool applyRemoteSpeakerFocus(std::int64_t speakerID, double focus);
    bool applyRemoteSpeakerWidth(std::int64_t speakerID, double width);
    // DS100 loudspeaker answers still counted as answers to the last query, and until when.
    // Anything else is unasked: it updates that loudspeaker's entry, and is only added while
    // the list holds fewer entries than a query asks for.
    int speakerAnswersExpected = 0;
    std::chrono::steady_clock::time_point speakerAnswersUntil{};
    static constexpr int speakersPerQuery = 64;

    // ---- Snapshot recall -------------------------------------------------------------------------------
    void recallSnapshot(std::int64_t number);
    void recallSnapshot(const Snapshot& snapshot);
    bool isSnapshotFading() const;
    // A newer change wins over a running recall: a drag, an arrow key, a sheet edit or a
    // remote command takes the property it sets of that item out of the fade, which goes on
    // for everything else.
    enum class FadedProperty { position, focus, width };
    void takeOutOfSnapshotFade(std::int64_t speakerID, FadedProperty property);
    void takeOutOfSnapshotFade(const platform::UUID& sourceID); // its position
    // The position of the source or loudspeaker with this canvas selection key.
    void takePositionOutOfSnapshotFade(const std::string& selectionKey);

    // ---- DS100 queries ---------------------------------------------------------------------------------
    void querySoundObjectPositions();
    void querySpeakerPositions();

    // ---- Sources and groups ---------------------------------------------------------------------------
    // Drops every group none of whose members exists any more; groups with one live member
    // keep their stale ids.
    void removeEmptyGroups();

    // ---- Editing: outputs, inputs, reset, selection, tool palette, snapshots ------------------------------
    // Operations that change the show record an undo state before and after, so one Undo
    // takes back exactly one of them.
    void addSpeaker();     // "Add Output"
    void addSoundObject(); // "Add Input"
    void newBlankCanvas();
    void zeroSelected();
    // Ctrl+Backspace: the selected loudspeakers, sources and path nodes.
    void deleteSelection();
    void importDbprFile();
    // With the audience-area switch on, these send the levels for the new areas; the last
    // area going turns the switch off first.
    void deleteAudienceArea();
    void duplicateAudienceArea();
    void removeAllAudienceAreas();
    void toggleObjectList();
    void openSettingsWindow();
    void showSnapshotsWindow();
    void showGroupsWindow();
    void addSnapshot();
    void updateSnapshot(const Snapshot& snapshot); // re-captures; keeps id, number, name, time
    void deleteSnapshot(const Snapshot& snapshot);
    // A loudspeaker id no loudspeaker has: one above the highest in use.
    std::int64_t nextSpeakerID() const;

    // ---- Connections and windows -------------------------------------------------------------------------
    void restartOSCReceiver(const std::string& newPort);
    void reconnectTCPClient();
    // The desk address or port was edited (the settings window): the link follows at once.
    // Once the new destination reads as one (a port number; an IPv4 address for a UDP desk,
    // any address for a TCP desk) and has rested `deskDestinationRest`, with output on, the
    // desk there gets every pair once, a TCP desk once its new link is ready.
    void deskDestinationChanged();
    static constexpr auto deskDestinationRest = std::chrono::milliseconds(500);
    bool destinationRestPending() const { return destinationRest_ != nullptr; }
    // Held while a desk pick, an Open or an Undo sets the destination: those send every pair
    // themselves, so their changes start no round of their own.
    class DeskRoad {
    public:
        explicit DeskRoad(ContentView& view) : view_(view) { ++view_.deskRoadDepth_; }
        ~DeskRoad() { --view_.deskRoadDepth_; }
        DeskRoad(const DeskRoad&) = delete;
        DeskRoad& operator=(const DeskRoad&) = delete;

    private:
        ContentView& view_;
    };
    void checkTCPConnection();
    void openMixerWindow();

    // ---- Path cues, sources and QLab fade cues ----------------------------------------------
    // (ContentViewPathCues.cpp, ContentViewSoundObjects.cpp, ContentViewFadeCues.cpp)
    // The cue sidebar's Play and Stop.
    void playSelectedCues();
    void stopPlayback();
    // Removes the source, takes it out of every cue (a cue left without targets is marked
    // `hasError` and stops playing) and pushes an undo state.
    void deleteSoundObject(const std::shared_ptr<SoundObject>& source);
    // The lowest free number from 1 to 512 among sources of `type`.
    std::int64_t nextSoundObjectNumber(const std::string& type) const;
    static bool speakerIsMatrix(const Speaker& speaker, const MixingDesk& desk);
    static bool speakerIsMix(const Speaker& speaker, const MixingDesk& desk);
    static bool speakerIsGroup(const Speaker& speaker, const MixingDesk& desk);
    std::vector<std::shared_ptr<SoundObject>> objectsMatchingString(const std::string& type) const;
    std::vector<std::shared_ptr<SoundObject>> objectsWithIDs(const std::vector<platform::UUID>& ids) const;
    static bool soundObjectHasID(const SoundObject& source, const platform::UUID& id);
    std::pair<platform::UUID, std::map<std::int64_t, double>>
    objectLevelEntry(const SoundObject& source) const;
    // "QLab did not reply": true when the operator chose "Generate Anyway".
    bool showQLabNoReplyAlert();
    // A reply of QLab on the receiver (2 s); the completion runs on the main queue.
    void awaitQLabReply(const std::string& address,
                        std::function<void(const std::optional<std::string>&)> completion);
    // "Generate Fade Cues": checks, alerts for the first failed check, or starts the run.
    void validateFadeCuePreconditions();
    void generateFadeCues();
    // A second run while one goes would take its replies: the operator is told, nothing starts.
    void refuseSecondFadeCueRun();

    // ---- Audience-area editor (ContentViewAudienceAreas.cpp) ---------------------------------
    // A 2 m square at the middle of the canvas as the operator sees it under any orientation,
    // named "Audience", blue and selected; one undo state before it.
    void addAudienceArea();
    // A tap on an area while editing selects it; outside edit mode nothing changes.
    void selectAudienceArea(const platform::UUID& area);
    // Node and whole-area drags: every change starts from the nodes recorded at the first one
    // plus the drag's total translation in canvas points. The first change pushes an undo state
    // (the outline before the drag), the end another (after it); with the audience-aware pan
    // law on, the end sends levels for the new outline. An area or node that has gone is left
    // alone.
    void audienceAreaNodeDragChanged(const platform::UUID& area, std::size_t node, Point translation);
    void audienceAreaNodeDragEnded(const platform::UUID& area, std::size_t node);
    void audienceAreaDragChanged(const platform::UUID& area, Point translation);
    void audienceAreaDragEnded(const platform::UUID& area);
    // The edit panel's fields; no undo state.
    void setAudienceAreaName(const platform::UUID& area, const std::string& name);
    void setAudienceAreaColor(const platform::UUID& area, const std::string& color);
    // The key of a node drag in `dragStartNodeMeters`: area id text, "-node-", node index.
    static std::string audienceAreaNodeKey(const platform::UUID& area, std::size_t node);

private:
    void bindPathManager();
    platform::SubscriptionBag pathCueObservers_;
    // Keeps the show's note of the view's desk and desk port current for the history.
    void trackViewDesk();
    platform::SubscriptionBag viewDeskObservers_;
    // When a tracker last placed each source.
    std::map<platform::UUID, double> trackedAt_;

public:
    // ---- Path drawing, cue nodes and the cue list's commands ------------------------------------
    // (ContentViewPathDrawing.cpp)
    // One change or the end of a drag on the canvas, in canvas points, with the keys and the
    // button of the moment.
    struct CanvasDrag {
        Point location;
        Point startLocation;
        bool shift = false;
        bool control = false;
        bool rightButton = false; // a right-button press or release is the current event
    };
    // "Draw Path": starts a path at the lowest-numbered selected source; nothing without one.
    void startDrawingPath();
    // "Delete Path" and the cue list's delete: pushes an undo state, then removes every
    // selected cue (their playback ends with them).
    void deleteSelectedPath();
    // Opens the path properties sheet for a cue, and closes it again.
    void editPathCue(const std::shared_ptr<PathCue>& cue);
    void dismissPathCueSheet();

    // The drawing gesture: acts only while `isRecordingPath`, outside audience-area editing.
    // Every change offers a point; a release offers one more and, with Control or the right
    // button, ends the path as a cue for the selected sources.
    Point pathPointToOffer(const CanvasDrag& drag) const; // Shift locks one axis
    void addPathPointFromDrag(const CanvasDrag& drag);
    void endPathOnControlClick(const CanvasDrag& drag);
    void finishPathRecording();
    // Sources and loudspeakers stay put under a drag while a path is drawn.
    bool itemDragsEnabled() const { return !isRecordingPath.get(); }

    // The path-cue layer: the selected cues in list order, each where it would play.
    bool isCueSelected(const PathCue& cue) const;
    std::vector<std::shared_ptr<PathCue>> displayedCues() const;
    std::vector<Point> displayedCueNodes(const PathCue& cue) const;
    // Node handles: a drag selects the node and moves it to the pointer (the place the cue is
    // drawn at taken into account); the release and a double click push an undo state.
    void dragCueNode(const CanvasDrag& drag, const std::shared_ptr<PathCue>& cue, std::size_t index);
    void finishCueNodeDrag(const CanvasDrag& drag, const std::shared_ptr<PathCue>& cue, std::size_t index);
    void cueNodeDoubleClicked();
    void moveCueNode(const PathCue& cue, std::size_t index, Point canvasPoint);

private:
    // Offers a point to the recording unless it lies on the last recorded node.
    void offerPathPoint(Point point);
    bool pathStrokeUndone_ = false; // the drawing stroke under way has pushed its undo state

public:
    // ---- Mixer window ----------------------------------------------------------------------------------
    // writeAutosaveAndWorkingState for a window that may outlive the view: does nothing once
    // the view is gone.
    std::function<void()> saveStateWhileAlive();
    // What the mixer sent for a pair is what the desk holds: recorded as the pair's last sent
    // value, so the next pass sends the computed level when it differs. Gives the send's mark.
    std::uint64_t recordMixerSend(const platform::UUID& source, std::int64_t speakerID,
                                  const std::string& address, double value, double lower);
    // True while the mixer's send `mark` is still the last one of the pair.
    bool isLastSend(const platform::UUID& source, std::int64_t speakerID, std::uint64_t mark) const;
    // A pair unmuted in the mixer: one pass in which it counts as new.
    void mixerPairUnmuted(const platform::UUID& source, std::int64_t speakerID);
    // The three above for a window that may outlive the view.
    MixerSendLink mixerSendLink();

    // ---- Desk selection, Clear and the top bar's level watches -----------------------------------
    // The desk menu's handler: stores the desk, takes its ports, opens or drops the TCP link,
    // switches SoundScape mode, sends the levels of the layout in place, then clears. One
    // undo state before and one after.
    void selectDesk(const MixingDesk& desk);
    static bool isSoundScapeDesk(const MixingDesk& desk); // "D&B Soundscape"
    // Drops the TCP link for a UDP desk, opens it for a TCP one (address and desk port).
    void connectDeskLink(const MixingDesk& desk);
    // After an open: the show's desk (none: the view's stays) becomes the view's, with its
    // link and SoundScape mode, and another desk with its default port. After an undo or redo that crosses a
    // desk pick: the desk, desk port and link the view had then.
    void takeShowDesk(AppState::Replacement replacement);
    // Inverts one flag of the show in one assignment.
    void toggleAppStateFlag(platform::Published<bool> AppState::*flag);
    // Empties the show (keeping desk, addresses, levels range and display settings), saves
    // the working state; an undo state before and after.
    void clearCanvas();
    // A change of the level bounds, the range, the pan law or the audience-area switch saves
    // the working state and runs one level pass, until the watches end. Installed when the
    // view comes on screen, ended when it goes.
    void watchLevelSettings();
    void endLevelSettingWatches();

    // ---- Show files ("Save As...", "Open...") and the settings window's resend ---------------------------
    // The application's show files and recent list; when null, the view keeps its own over
    // the application folder and the view's user defaults.
    AppStatePersistence* persistence = nullptr;
    // What a save or open panel gave back: a file, or an error (no file and no error: cancelled).
    struct FilePanelOutcome {
        std::optional<std::filesystem::path> url;
        std::string error;
    };
    static PresenterFilePanel exportPanel();
    static PresenterFilePanel importPanel();
    // Run on "ExportState" and "ImportState": the panel (its flag set while it is up), then
    // its outcome.
    void presentExporter();
    void presentImporter();
    void handleExportResult(const FilePanelOutcome& outcome);
    void handleImportResult(const FilePanelOutcome& outcome);
    AppStatePersistence& showFiles();
    // After "Open...", "Open Recent", Undo and Redo: the engine takes the show's cues (an
    // opened show replaces them and ends playback; a history step matches them by id), the
    // zero point is worked out for the live canvas, every item is drawn at its metres under
    // the live zoom and orientation, and one level pass follows.
    void showReplaced(AppState::Replacement replacement);

private:
    std::shared_ptr<AppStatePersistence> ownShowFiles_;

public:
    // ---- Property sheets (ContentViewSheets.cpp) -------------------------------------------------------
    // Loudspeaker channels count per type: two loudspeakers share a number only when their
    // types differ. The loudspeaker sheet searches up to this fixed bound, not the desk's count.
    static constexpr std::int64_t sheetChannelSearchLimit = 512;
    // The lowest channel from 1 to `highestChannel` that no loudspeaker other than
    // `ignoredSpeakerID` uses for `type`; none when every one is taken or the bound is below 1.
    std::optional<std::int64_t> findLowestChannel(const std::string& type, std::int64_t highestChannel,
                                                  std::int64_t ignoredSpeakerID) const;
    std::optional<std::int64_t> findLowestChannel(const std::string& type,
                                                  std::int64_t ignoredSpeakerID) const;
    // The complaint about a loudspeaker's channel on the selected desk, none when it is fine
    // (or no desk is selected).
    std::optional<std::string> validateChannel(const std::string& type, std::int64_t channel,
                                               std::int64_t speakerID) const;
    // Removes every loudspeaker with that id; undo brings back exactly that deletion.
    void onDelete(std::int64_t speakerID);
    // Look-ups by id: sheets bind to an id, never to a position in a list that may change.
    std::optional<Speaker> speakerWithID(std::int64_t speakerID) const;
    std::shared_ptr<SoundObject> soundObjectWithID(const platform::UUID& sourceID) const;
    // Opens a sheet through the presenter (double-clicks on the canvas and the object list);
    // nothing for an id that is not in the show.
    void presentSpeakerSheet(std::int64_t speakerID);
    void presentInputSheet(const platform::UUID& sourceID);

private:
    struct SnapshotFade;
    platform::UserDefaults& workingStateDefaults();
    // Runs `effect` on a later turn of the main queue, unless the view is gone by then.
    void onMainQueue(std::function<void(ContentView&)> effect);
    std::function<void()> whileAlive(std::function<void(ContentView&)> action);
    void observeSettingChanges();
    void deskDestinationRested();
    std::pair<std::string, std::string> deskDestination() const;
    void snapshotFadeTick(SnapshotFade& fade);
    void placeSnapshotFade(const SnapshotFade& fade, double t);
    void endSnapshotFade();
    // Undo and Redo: a running recall lands on its targets and ends before the step.
    void finishSnapshotFadeForHistoryStep();
    // Editing helpers (ContentViewEditing.cpp).
    void audienceAreasEdited();

    const std::shared_ptr<ContentView*> aliveToken_ = std::make_shared<ContentView*>(this);
    bool onScreen_ = false;
    // A write failure told to the operator, until that file is written again.
    bool autosaveFailureTold_ = false;
    bool levelSettingsWriteDue_ = false; // a level setting changed; both files follow shortly
    bool workingStateFailureTold_ = false;
    platform::SubscriptionBag notificationObservers_;
    platform::SubscriptionBag settingObservers_;
    platform::RunLoopTimerPtr destinationRest_; // an edited desk destination waiting to rest
    int deskRoadDepth_ = 0;
    // The address and port the desk was last given every pair for (or found at start-up).
    std::pair<std::string, std::string> settledDestination_;
    platform::SubscriptionBag levelSettingWatches_;
    std::shared_ptr<SnapshotFade> snapshotFade_;
    struct WorkingStateCopy;
    struct JointWriteResult;
    WorkingStateCopy copyWorkingState();
    static platform::ValueObject encodeWorkingState(const WorkingStateCopy& copy);
    std::shared_ptr<JointWriteResult> submitJointWrite(bool tell);
    void reportJointWrite(const JointWriteResult& result, bool tell);
    std::int64_t nextWriteStamp_ = 1;
    // New Blank Canvas asks the writes to remove the background image's bookmark (a count of
    // the requests); it stays asked until a write carrying it has reached the disk.
    std::uint64_t backgroundBookmarkRemovalAsked_ = 0;
    std::shared_ptr<std::atomic<std::uint64_t>> backgroundBookmarkRemovalWritten_ =
        std::make_shared<std::atomic<std::uint64_t>>(0);
    // Before the teardown below and after everything else: the writes under way finish
    // before the view's members go.
    std::unique_ptr<LatestWriteQueue> jointWrites_;
    // Declared last, so it runs first when the view goes: stops what would outlive it.
    struct ShowControlTeardown {
        ContentView* view;
        ~ShowControlTeardown();
    } showControlTeardown_{this};
};

// Unchanged values go out again every `base` + 50 updates. A divisor of 0, or one that
// would overflow, counts as 50.
std::int64_t repeatDivisor(std::int64_t base);
