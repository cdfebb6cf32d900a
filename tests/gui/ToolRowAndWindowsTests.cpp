// The tool row, the snapshots window and the groups window driven with real events over a
// main view that sends to the loopback fake desk.

#include "gui/GuiTestMain.h"
#include "gui/PanelTestSupport.h"

#include "Sonavant/engine/ActionDispatcher.h"
#include "Sonavant/engine/ContentView.h"
#include "Sonavant/engine/SelectionKeys.h"
#include "Sonavant/model/CanvasGeometry.h"
#include "Sonavant/shell/ToolRow.h"
#include "Sonavant/windows/GroupsWindow.h"
#include "Sonavant/windows/GroupsWindowHolder.h"
#include "Sonavant/windows/SnapshotsWindow.h"
#include "Sonavant/windows/SnapshotsWindowHolder.h"
#include "platform/UserDefaults.h"
#include "support/RecordingPresenter.h"
#include "support/ShowFixtures.h"
#include "support/TempFolder.h"
#include "tools/FakeDesk.h"

#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QToolButton>
#include <QVBoxLayout>

#include <sqlite3.h>

#include <cmath>
#include <fstream>
#include <optional>

using namespace std::chrono_literals;

namespace {

constexpr int wait = 10000; // ms

// A desk of 16 mixes, no matrices, no mix sends.
MixingDesk sixteenMixes(bool floats = false) {
    return support::acmeDesk({.name = "Acme 16", .inputs = 32, .mixes = 16, .oscFloat = floats, .udp = true});
}

std::optional<float> lastValue(const FakeDesk& desk, const std::string& address) {
    std::optional<float> value;
    for (const auto& message : desk.messages())
        if (message.addressPattern().rawAddress() == address && !message.values().empty()) {
            if (auto f = message.values()[0].as<float>())
                value = *f;
            else if (auto i = message.values()[0].as<std::int32_t>())
                value = float(*i);
        }
    return value;
}

std::size_t countOf(const FakeDesk& desk, const std::string& address) {
    std::size_t n = 0;
    for (const auto& a : desk.addresses())
        n += a == address;
    return n;
}

void makeProject(const std::filesystem::path& file) {
    sqlite3* db = nullptr;
    QCOMPARE(sqlite3_open(file.c_str(), &db), SQLITE_OK);
    const char* sql =
        "CREATE TABLE Cabinets (CabinetId INTEGER, OriginX REAL, OriginY REAL, HorizontalAngle REAL,"
        " SourceGroupId INTEGER);"
        "CREATE TABLE MatrixInputs (MatrixInput INTEGER, Name TEXT, InputMode INTEGER);"
        "INSERT INTO Cabinets VALUES (3, 1.5, -2, 90, 2), (7, 0, 4, 0, 1), (9, 4, 0.5, -30, 3);"
        "INSERT INTO MatrixInputs VALUES (1, 'Kick', 1), (2, 'Vox', 1), (3, 'Spare', 0);";
    QCOMPARE(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
}

} // namespace

class ToolRowAndWindowsTests : public QObject {
    Q_OBJECT

    support::TempFolder folder;
    std::unique_ptr<platform::UserDefaults> defaults;
    std::shared_ptr<AppState> show;
    std::shared_ptr<support::RecordingPresenter> presenter;
    std::unique_ptr<FakeDesk> desk;
    std::unique_ptr<ContentView> view;
    std::unique_ptr<QWidget> host;
    ToolRow* row = nullptr;

    // A fresh show and view sending to the fake desk, with the tool row in a window.
    ContentView& start(MixingDesk deskDefinition = sixteenMixes()) {
        SnapshotsWindowHolder::shared().reset();
        GroupsWindowHolder::shared().reset();
        host.reset();
        view.reset();
        AppState::clearHistory();
        ActionDispatcher::reset();
        desk = std::make_unique<FakeDesk>(false);
        show = support::emptyShow(
            {.imageScale = 1.0, .panning = PanningMode::linear, .range = 5.0, .zeroPoint = Point{0, 600}});
        defaults = std::make_unique<platform::UserDefaults>(folder.path());
        view = std::make_unique<ContentView>(show, Binding<std::string>("127.0.0.1"),
                                             Binding<std::string>(std::to_string(desk->udpPort())),
                                             Binding<bool>(true), 320.0);
        view->userDefaults = defaults.get();
        presenter = std::make_shared<support::RecordingPresenter>();
        view->presenter = presenter;
        view->selectedDesk = deskDefinition;
        show->selectedDesk = deskDefinition;
        view->canvasSize = ViewSize{1000, 600};
        view->cachedGeometryProxy = CanvasGeometryProxy{{1000, 600}, {}};

        host = std::make_unique<QWidget>();
        auto* layout = new QVBoxLayout(host.get());
        layout->setContentsMargins(0, 0, 0, 0);
        row = new ToolRow(*view, host.get());
        layout->addWidget(row);
        host->resize(900, 44);
        host->show();
        host->activateWindow();
        if (!QTest::qWaitForWindowActive(host.get()))
            qWarning("tool row window not active");
        return *view;
    }

    void click(QWidget* widget) {
        QVERIFY(widget);
        QTest::mouseClick(widget, Qt::LeftButton, {}, widget->rect().center());
    }
    void clickPalette(const QString& label) {
        QPushButton* button = row->paletteButton(label);
        QVERIFY2(button, qPrintable(label));
        click(button);
    }
    // Layouts redo themselves on posted events: let them run before the picture.
    static void screenshot(QWidget& widget, const QString& name) {
        for (int i = 0; i < 3; ++i)
            QCoreApplication::processEvents();
        guitest::saveScreenshot(widget, name);
    }
    void ctrlBackspace() { QTest::keyClick(host.get(), Qt::Key_Backspace, Qt::ControlModifier); }
    std::vector<std::int64_t> speakerIDs() const {
        std::vector<std::int64_t> ids;
        for (const auto& s : show->speakers.get())
            ids.push_back(s.id);
        return ids;
    }

private slots:
    void initTestCase() { platform::MainRunLoop::adoptCurrentThread(); }
    void cleanupTestCase() {
        SnapshotsWindowHolder::shared().reset();
        GroupsWindowHolder::shared().reset();
        host.reset();
        view.reset();
    }

    void addOutputsAndInputReachTheDeskAndUndoOneAtATime() {
        start();
        clickPalette("Add Output");
        clickPalette("Add Output");
        clickPalette("Add Input");
        QCOMPARE(speakerIDs(), (std::vector<std::int64_t>{1, 2}));
        QCOMPARE(show->speakers.get()[0].channelNumber, 1);
        QCOMPARE(show->speakers.get()[1].channelNumber, 2);
        QCOMPARE(show->soundObjects->size(), std::size_t(1));
        const auto input = show->soundObjects.get()[0];
        QCOMPARE(input->name.get(), std::string("Input 1"));
        QCOMPARE(view->selectedObjects.get(), std::set<std::string>{SelectionKeys::soundObject(input->id)});
        QTRY_VERIFY_WITH_TIMEOUT(
            countOf(*desk, "/ch/1/mix/1/level") >= 1 && countOf(*desk, "/ch/1/mix/2/level") >= 1, wait);

        show->undo();
        QVERIFY(show->soundObjects->empty());
        QCOMPARE(speakerIDs().size(), std::size_t(2));
        show->undo();
        QCOMPARE(speakerIDs(), std::vector<std::int64_t>{1});
        show->redo();
        QCOMPARE(speakerIDs(), (std::vector<std::int64_t>{1, 2}));

        // Loudspeaker 1 goes; the next one must not take the id of loudspeaker 2.
        view->selectedObjects = std::set<std::string>{"speaker-1"};
        ctrlBackspace();
        QCOMPARE(speakerIDs(), std::vector<std::int64_t>{2});
        clickPalette("Add Output");
        QCOMPARE(speakerIDs(), (std::vector<std::int64_t>{2, 3}));
        QCOMPARE(show->speakers.get()[1].channelNumber, 1);

        // The menu reaches the same actions once the view filled the slots.
        view->installMenuActions();
        ActionDispatcher::invoke(ActionDispatcher::addOutput);
        QCOMPARE(speakerIDs().size(), std::size_t(3));
    }

    void newItemsLandInsideTheCanvasUnderEveryOrientation() {
        auto& v = start();
        for (auto orientation : {CanvasOrientation::right, CanvasOrientation::bottom, CanvasOrientation::left,
                                 CanvasOrientation::top}) {
            show->canvasOrientation = orientation;
            show->speakers = std::vector<Speaker>{};
            show->soundObjects = std::vector<std::shared_ptr<SoundObject>>{};
            for (int i = 0; i < 16; ++i)
                clickPalette("Add Output");
            for (int i = 0; i < 8; ++i)
                clickPalette("Add Input");
            QCOMPARE(show->speakers->size(), std::size_t(16));
            QCOMPARE(show->soundObjects->size(), std::size_t(8));
            // The middle 80 % of the canvas for outputs and half for inputs, and the metres
            // say the same place under the orientation.
            auto check = [&](Point at, Point metres, double margin) {
                QVERIFY2(at.x >= 1000 * margin - 1e-6 && at.x <= 1000 * (1 - margin) + 1e-6 &&
                             at.y >= 600 * margin - 1e-6 && at.y <= 600 * (1 - margin) + 1e-6,
                         qPrintable(QString("%1, %2 under %3")
                                        .arg(at.x)
                                        .arg(at.y)
                                        .arg(QString::fromUtf8(rawValue(orientation).data()))));
                const Point back = metresToCanvas(orientation, metres, v.zoomLevel, show->zeroPoint);
                QVERIFY(std::abs(back.x - at.x) < 1e-6 && std::abs(back.y - at.y) < 1e-6);
            };
            for (const auto& speaker : show->speakers.get())
                check(speaker.position, speaker.positionMeters, 0.1);
            for (const auto& source : show->soundObjects.get())
                check(source->position, source->positionMeters, 0.25);
        }
    }

    void toolRowModesAndScreenshots() {
        start();
        QCOMPARE(row->objectListButton()->toolTip(), QString("Toggle Object List"));
        click(row->objectListButton());
        QVERIFY(view->showingObjectList);
        click(row->settingsButton());
        QCOMPARE(presenter->settingsRequests, 1);
        clickPalette("Groups");
        clickPalette("Snapshots");
        QCOMPARE(presenter->groupsRequests, 1);
        QCOMPARE(presenter->snapshotsRequests, 1);
        QVERIFY(row->paletteButton("Add Output"));
        QVERIFY(!row->paletteButton("Import .dbpr"));
        QTest::mouseMove(host.get(), QPoint(host->width() - 5, 5));
        screenshot(*host, "toolrow_normal");

        show->isSoundScapeMode = true;
        QVERIFY(row->paletteButton("Import .dbpr"));
        QVERIFY(!row->paletteButton("Add Output"));
        screenshot(*host, "toolrow_soundscape");

        show->isEditingAudienceArea = true;
        QStringList labels;
        for (auto* b : row->paletteButtons())
            labels << b->text();
        QCOMPARE(labels, (QStringList{"Add Area", "Delete Area", "Duplicate", "Clear"}));
        screenshot(*host, "toolrow_area_edit");
        show->speakers = std::vector<Speaker>{support::mixSpeakerAt(1, sixteenMixes(), 1, 1, {0, 600})};
        view->selectedObjects = std::set<std::string>{"speaker-1"};
        ctrlBackspace();
        QCOMPARE(show->speakers->size(), std::size_t(1));
        AudienceArea area{.name = "Audience", .color = "blue", .nodesMeters = {{0, 0}, {1, 0}, {1, 1}}};
        show->audienceAreas = std::vector<AudienceArea>{area};
        show->selectedAudienceAreaID = area.id;
        clickPalette("Duplicate");
        QCOMPARE(show->audienceAreas.get().back().name, std::string("Audience Copy"));
        clickPalette("Clear");
        QVERIFY(show->audienceAreas->empty());

        show->isEditingAudienceArea = false;
        ctrlBackspace();
        QVERIFY(show->speakers->empty());
    }

    void ctrlBackspaceRemovesACueLeftWithOneNodeAndIgnoresAnEmptySelection() {
        start();
        auto cue =
            std::make_shared<PathCue>(platform::UUID::random(), "Cue 1", 4.0, std::vector<platform::UUID>{},
                                      std::vector<Point>{{0, 0}, {1, 1}, {2, 2}}, 1.0, std::nullopt,
                                      std::nullopt, false, std::nullopt, TriggerNextOption::none, false);
        view->pathManager->pathCues = std::vector<std::shared_ptr<PathCue>>{cue};
        ObjectGroup empty{.name = "empty", .speakerIDs = {}, .soundObjectIDs = {}};
        show->groups = std::vector<ObjectGroup>{empty};
        view->selectedObjects = std::set<std::string>{};
        ctrlBackspace();
        QCOMPARE(show->groups->size(), std::size_t(1));
        QCOMPARE(view->pathManager->pathCues.get().size(), std::size_t(1));

        view->selectedObjects = std::set<std::string>{"pathNode:" + cue->id.string() + ":0",
                                                      "pathNode:" + cue->id.string() + ":2"};
        ctrlBackspace();
        QVERIFY(view->pathManager->pathCues.get().empty());
        QVERIFY(view->selectedObjects->empty());
    }

    void snapshotsNumberEditAndRecallWithAFade() {
        auto& v = start(sixteenMixes(true));
        auto input = support::inputAt(1, sixteenMixes(true), 2, 3, {0, 600});
        show->soundObjects = {input};
        show->speakers = std::vector<Speaker>{support::mixSpeakerAt(1, sixteenMixes(true), 1, 1, {0, 600}),
                                              support::mixSpeakerAt(2, sixteenMixes(true), 8, 1, {0, 600})};
        SnapshotsWindowHolder::shared().show(v);
        SnapshotsWindow* window = SnapshotsWindowHolder::shared().window();
        QVERIFY(window);
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QCOMPARE(window->size(), QSize(345, 420));
        QCOMPARE(window->windowTitle(), QString("Snapshots"));
        QVERIFY(!window->updateButton()->isEnabled());

        click(window->newButton());
        click(window->newButton());
        click(window->newButton());
        QCOMPARE(window->rowCount(), 3);
        QCOMPARE(window->rowText(0), QString("1 | Snapshot 1 | 1.0 s"));
        click(window->rowWidget(1));
        QCOMPARE(v.selectedSnapshotID.get(), show->snapshots.get()[1].id);
        QVERIFY(window->deleteButton()->isEnabled());
        click(window->deleteButton());
        QCOMPARE(window->rowCount(), 2);
        QVERIFY(!window->deleteButton()->isEnabled());
        QVERIFY(!v.selectedSnapshotID.get());
        click(window->newButton());
        QCOMPARE(window->rowText(2), QString("4 | Snapshot 3 | 1.0 s"));

        // A second request while it is open brings the same window forward.
        SnapshotsWindowHolder::shared().show(v);
        QCOMPARE(SnapshotsWindowHolder::shared().window(), window);

        // Rename the first snapshot after moving the source: the commit keeps the stored
        // positions (only Update re-captures).
        input->positionMeters = Point{6, 1};
        input->position = Point{600, 500};
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window));
        click(window->pencilButton(0));
        QVERIFY(window->editMode().editing);
        QTRY_VERIFY_WITH_TIMEOUT(window->nameField(0)->hasFocus(), wait);
        window->nameField(0)->selectAll();
        QTest::keyClicks(window->nameField(0), "Intro");
        QCOMPARE(show->snapshots.get()[0].name, std::string("Intro"));
        window->timeField(0)->setText("0.5");
        screenshot(*window, "snapshots_editing");
        QTest::keyClick(window->nameField(0), Qt::Key_Return);
        QVERIFY(!window->editMode().editing);
        const Snapshot first = show->snapshots.get()[0];
        QCOMPARE(first.name, std::string("Intro"));
        QCOMPARE(first.recallTime, 0.5);
        QCOMPARE(first.soundObjectStates.at(0).position, (Point{2, 3}));
        QCOMPARE(window->rowText(0), QString("1 | Intro | 0.5 s"));

        // Recall: levels during a fade of about the recall time, the source exactly home, and
        // the last levels at the desk even when they fall inside the send throttle.
        click(window->rowWidget(0));
        screenshot(*window, "snapshots_selected");
        desk->clear();
        const auto started = std::chrono::steady_clock::now();
        click(window->recallButton());
        QTRY_VERIFY_WITH_TIMEOUT(!v.isSnapshotFading(), wait);
        const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        QVERIFY2(took >= 0.45, qPrintable(QString::number(took)));
        QCOMPARE(input->positionMeters.get(), (Point{2, 3}));
        const auto levels = show->mixerLevels->at(input->id);
        for (std::int64_t speaker : {1, 2}) {
            const std::string address = "/ch/1/mix/" + std::to_string(speaker) + "/level";
            const float expected = float(std::round(levels.at(speaker) * 100) / 100);
            QTRY_VERIFY_WITH_TIMEOUT(
                lastValue(*desk, address) && std::fabs(*lastValue(*desk, address) - expected) < 0.011f, wait);
        }
        QVERIFY2(countOf(*desk, "/ch/1/mix/1/level") >= 3, "levels arrive during the fade");

        window->close();
        SnapshotsWindowHolder::shared().show(v);
        QVERIFY(SnapshotsWindowHolder::shared().window() != window);
        QVERIFY(!SnapshotsWindowHolder::shared().window()->editMode().editing);
    }

    void thePencilPressedTwiceEndsEditingAndTheTimeKeepsOneDecimal() {
        auto& v = start();
        SnapshotsWindowHolder::shared().show(v);
        SnapshotsWindow* window = SnapshotsWindowHolder::shared().window();
        QVERIFY(QTest::qWaitForWindowActive(window));
        QVERIFY(!(window->windowFlags() & Qt::WindowMinimizeButtonHint));
        QVERIFY(window->windowFlags() & Qt::WindowCloseButtonHint);
        click(window->newButton());
        QCOMPARE(window->rowCount(), 1);
        const platform::UUID id = show->snapshots.get()[0].id;

        click(window->pencilButton(0));
        QVERIFY(window->editMode().editing);
        QTRY_VERIFY_WITH_TIMEOUT(window->nameField(0)->hasFocus(), wait);
        QCOMPARE(window->timeField(0)->text(), QString("1.0"));
        // Typed as a whole number, shown back with its one decimal at Return.
        QTest::mouseClick(window->timeField(0), Qt::LeftButton);
        window->timeField(0)->selectAll();
        QTest::keyClicks(window->timeField(0), "2");
        QTest::keyClick(window->timeField(0), Qt::Key_Return);
        QVERIFY(!window->editMode().editing);
        QCOMPARE(show->snapshots.get()[0].recallTime, 2.0);
        QCOMPARE(window->timeField(0)->text(), QString("2.0"));

        // Again: the same value typed, nothing stored changes, and still "2.0".
        click(window->pencilButton(0));
        QTRY_VERIFY_WITH_TIMEOUT(window->nameField(0)->hasFocus(), wait);
        QTest::mouseClick(window->timeField(0), Qt::LeftButton);
        window->timeField(0)->selectAll();
        QTest::keyClicks(window->timeField(0), "2");
        QTest::keyClick(window->timeField(0), Qt::Key_Return);
        QCOMPARE(window->timeField(0)->text(), QString("2.0"));

        // The pencil pressed a second time ends the edit and selects the row; the field has
        // the focus all the while, as under the operator's hand.
        click(window->pencilButton(0));
        QVERIFY(window->editMode().editing);
        QTRY_VERIFY_WITH_TIMEOUT(window->nameField(0)->hasFocus(), wait);
        QCOMPARE(window->timeField(0)->text(), QString("2.0"));
        click(window->pencilButton(0));
        QVERIFY(!window->editMode().editing);
        QCOMPARE(v.selectedSnapshotID.get(), std::optional(id));
        QTRY_VERIFY_WITH_TIMEOUT(window->timeField(0)->isHidden(), wait);
        QCOMPARE(window->rowText(0), QString("1 | Snapshot 1 | 2.0 s"));

        // A click on a row while another is edited leaves the edit open.
        click(window->newButton());
        click(window->pencilButton(0));
        click(window->rowWidget(1));
        QVERIFY(window->editMode().editing);
        QCOMPARE(v.selectedSnapshotID.get(), std::optional(id));

        GroupsWindowHolder::shared().show(v);
        QVERIFY(!(GroupsWindowHolder::shared().window()->windowFlags() & Qt::WindowMinimizeButtonHint));

        // Gone while a field holds the focus (as when the application ends).
        SnapshotsWindowHolder::shared().show(v);
        QVERIFY(QTest::qWaitForWindowActive(window));
        window->nameField(0)->setFocus();
        QTRY_VERIFY_WITH_TIMEOUT(window->nameField(0)->hasFocus(), wait);
        SnapshotsWindowHolder::shared().reset();
        GroupsWindowHolder::shared().reset();
    }

    void groupsFromSelectionHighlightAndRename() {
        auto& v = start();
        show->speakers = std::vector<Speaker>{support::mixSpeakerAt(3, sixteenMixes(), 1, 1, {0, 600}),
                                              support::mixSpeakerAt(5, sixteenMixes(), 2, 1, {0, 600}),
                                              support::mixSpeakerAt(7, sixteenMixes(), 3, 1, {0, 600})};
        auto input = support::inputAt(1, sixteenMixes(), 2, 3, {0, 600});
        show->soundObjects = {input};
        GroupsWindowHolder::shared().show(v);
        GroupsWindow* window = GroupsWindowHolder::shared().window();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QCOMPARE(window->size(), QSize(340, 420));
        QVERIFY(!window->deleteButton()->isEnabled());

        v.selectedObjects = std::set<std::string>{"speaker-3", "speaker-5",
                                                  "pathNode:" + platform::UUID::random().string() + ":0"};
        click(window->newButton());
        QCOMPARE(window->rowCount(), 1);
        QCOMPARE(window->rowName(0), QString("Group 1"));
        QCOMPARE(show->groups.get()[0].speakerIDs, (std::vector<std::int64_t>{3, 5}));
        QCOMPARE(v.selectedObjects.get(), (std::set<std::string>{"speaker-3", "speaker-5"}));

        v.selectedObjects = std::set<std::string>{"speaker-7", SelectionKeys::soundObject(input->id)};
        click(window->newButton());
        QCOMPARE(window->rowName(1), QString("Group 2"));

        v.selectedObjects = std::set<std::string>{"speaker-7"};
        click(window->rowWidget(0));
        QCOMPARE(v.selectedObjects.get(), (std::set<std::string>{"speaker-3", "speaker-5"}));
        QCOMPARE(window->state().highlighted, show->groups.get()[0].id);
        screenshot(*window, "groups_highlight");
        v.selectedObjects = std::set<std::string>{"speaker-3"};
        QCOMPARE(window->state().highlighted, show->groups.get()[0].id);
        v.selectedObjects = std::set<std::string>{"speaker-3", "speaker-7"};
        QVERIFY(!window->state().highlighted);

        // Rename: the commit keeps the members whatever the canvas holds.
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window));
        v.selectedObjects = std::set<std::string>{};
        click(window->pencilButton(0));
        QTRY_VERIFY_WITH_TIMEOUT(window->nameField(0)->hasFocus(), wait);
        window->nameField(0)->selectAll();
        QTest::keyClicks(window->nameField(0), "Stage");
        QCOMPARE(show->groups.get()[0].name, std::string("Stage"));
        QTest::keyClick(window->nameField(0), Qt::Key_Return);
        QVERIFY(!window->state().editing);
        QCOMPARE(window->rowName(0), QString("Stage"));
        QCOMPARE(show->groups.get()[0].speakerIDs, (std::vector<std::int64_t>{3, 5}));

        click(window->rowWidget(1));
        click(window->deleteButton());
        QCOMPARE(show->groups->size(), std::size_t(1));
        QVERIFY(v.selectedObjects->empty());

        window->close();
        click(window->rowWidget(0));
        GroupsWindowHolder::shared().show(v);
        QCOMPARE(GroupsWindowHolder::shared().window(), window);
        QCOMPARE(window->state().highlighted, show->groups.get()[0].id);

        // Gone while a field holds the focus (as when the application ends).
        QVERIFY(QTest::qWaitForWindowActive(window));
        click(window->pencilButton(0));
        QTRY_VERIFY_WITH_TIMEOUT(window->nameField(0)->hasFocus(), wait);
        GroupsWindowHolder::shared().reset();
    }

    void soundScapeImportPanel() {
        auto& v = start();
        show->isSoundScapeMode = true;
        show->soundObjects = {support::inputAt(9, sixteenMixes(), 1, 1, {0, 600})};
        presenter->nextOpen = folder.path() / "x.DBPR";
        clickPalette("Import .dbpr");
        QCOMPARE(presenter->alerts.size(), std::size_t(1));
        QCOMPARE(presenter->alerts[0].title, std::string("Unsupported File"));

        const auto garbage = folder.path() / "garbage.dbpr";
        std::ofstream(garbage) << "no database here";
        presenter->nextOpen = garbage;
        clickPalette("Import .dbpr");
        QCOMPARE(presenter->alerts.size(), std::size_t(2));
        QCOMPARE(presenter->alerts[1].title, std::string("Import Failed"));
        QCOMPARE(show->soundObjects->size(), std::size_t(1));

        const auto project = folder.path() / "hall.dbpr";
        makeProject(project);
        presenter->nextOpen = project;
        int positionQueries = 0;
        ActionDispatcher::getPositionsFromDS100 = [&] { ++positionQueries; };
        clickPalette("Import .dbpr");
        QCOMPARE(presenter->alerts.size(), std::size_t(2));
        QCOMPARE(show->soundscapeSpeakers->size(), std::size_t(2));
        QCOMPARE(show->soundscapeSpeakers.get()[0].speakerNumber, 3);
        QTRY_COMPARE_WITH_TIMEOUT(positionQueries, 1, wait);
        QCOMPARE(show->soundObjects->size(), std::size_t(2));
        QCOMPARE(show->soundObjects.get()[0]->name.get(), std::string("Kick"));
        QVERIFY(show->oscOutputOn);
        (void)v;
    }

    void newBlankCanvasFromTheMenu() {
        auto& v = start();
        v.mixingDesks = std::vector<MixingDesk>{sixteenMixes()};
        show->speakers = std::vector<Speaker>{support::mixSpeakerAt(1, sixteenMixes(), 1, 1, {0, 600})};
        show->targetPort = "1234";
        show->canvasOrientation = CanvasOrientation::right;
        v.installMenuActions();
        ActionDispatcher::invoke(ActionDispatcher::newBlankCanvas);
        QVERIFY(show->speakers->empty());
        QCOMPARE(show->targetPort.get(), std::string("8000"));
        QCOMPARE(show->zeroPoint.get(), (Point{500, 300}));
        QCOMPARE(show->canvasOrientation.get(), CanvasOrientation::right);
        QVERIFY(!show->selectedDesk.get());
        QVERIFY(v.selectedDesk.get());
    }
};

SONAVANT_GUI_TEST_MAIN(ToolRowAndWindowsTests)
#include "ToolRowAndWindowsTests.moc"
