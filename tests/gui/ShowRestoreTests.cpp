// What the operator made survives every way back: cues through "Save As..." and "Open...",
// Undo after "Delete Path", after drags, arrow keys and zoom changes, the path sheet's typed
// text, and snapshot fades across a zoom change. Real mouse and key events on a main window
// with its menu bar, canvas and cue sidebar, sending to a fake desk on 127.0.0.1.

#include "gui/CanvasGuiSupport.h"
#include "gui/GuiTestMain.h"

#include "Sonavant/engine/ActionDispatcher.h"
#include "Sonavant/model/AppStatePersistence.h"
#include "Sonavant/panels/CueListWidget.h"
#include "Sonavant/panels/CueRowWidget.h"
#include "Sonavant/panels/CueSidebarWidget.h"
#include "Sonavant/panels/PathPropertiesSheet.h"
#include "Sonavant/shell/MenuBar.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QPushButton>
#include <QToolButton>

#include <filesystem>

using namespace canvasgui;

namespace {

constexpr int deadline = 10000; // ms

bool near(Point a, Point b, double tolerance = 1e-6) {
    return std::hypot(a.x - b.x, a.y - b.y) <= tolerance;
}

// The parts of a cue an operator sets.
struct CueRecord {
    platform::UUID id;
    double number = 0;
    std::string name;
    std::vector<Point> nodes;
    bool relative = false;
    bool loop = false;
    std::optional<std::int64_t> loopCount;
    TriggerNextOption triggerNext = TriggerNextOption::none;
    bool operator==(const CueRecord&) const = default;
};

CueRecord record(const PathCue& cue) {
    return {cue.id,       cue.number, cue.name,      cue.nodesMeters,
            cue.relative, cue.loop,   cue.loopCount, cue.triggerNext};
}

std::vector<CueRecord> records(const PathManager& manager) {
    std::vector<CueRecord> list;
    for (const auto& cue : manager.pathCues.get())
        list.push_back(record(*cue));
    return list;
}

// The main window as the application builds it: canvas and cue sidebar side by side, and
// the menu bar; the view started as at launch.
struct MainWindowOnDesk {
    ShowOnCanvas f{CanvasOrientation::top, {800, 560}};
    AppStatePersistence files{f.folder.path() / "support", f.defaults};
    std::unique_ptr<QMainWindow> window = std::make_unique<QMainWindow>();
    CanvasWidget* canvas = nullptr;
    CueSidebarWidget* sidebar = nullptr;
    MenuBar* menus = nullptr;

    MainWindowOnDesk() {
        ActionDispatcher::reset();
        auto* host = new QWidget;
        placeCanvasBesideSidebar(host, f, canvas, sidebar);
        window->setCentralWidget(host);
        menus = new MenuBar(window.get(), f.state, Binding<std::string>("127.0.0.1"),
                            Binding<std::string>(std::to_string(f.fakeDesk.udpPort())), Binding<bool>(true),
                            &files);
        f.view->persistence = &files;
        f.state->receivePort = "0";
        f.state->selectedDesk = desk();
        window->resize(800 + int(f.view->listW), 600);
    }
    ~MainWindowOnDesk() {
        f.view->pathManager->stopAllPlayback();
        window.reset();
        ActionDispatcher::reset();
    }

    bool start() {
        window->show();
        QApplication::setActiveWindow(window.get());
        if (!QTest::qWaitForWindowActive(window.get()))
            return false;
        f.view->saveState(); // the start-up reads the working state back
        f.view->onAppearLoad();
        return QTest::qWaitFor([] { return ActionDispatcher::updateOSC != nullptr; }, deadline) &&
               QTest::qWaitFor([this] { return f.view->cachedGeometryProxy->has_value(); }, deadline);
    }

    // Started, with source 1 and loudspeakers 1, 2, ... at these metres.
    bool startWith(Point source, std::initializer_list<Point> speakers) {
        if (!start())
            return false;
        addSource(1, source);
        std::int64_t id = 0;
        for (Point metres : speakers)
            addSpeaker(++id, metres);
        return true;
    }

    Point zero() const { return f.state->zeroPoint; }
    Point onCanvas(Point metres) const {
        return metresToCanvas(f.state->canvasOrientation, metres, f.view->zoomLevel, zero());
    }
    std::shared_ptr<SoundObject> addSource(std::int64_t number, Point metres) {
        return f.addSource(number, onCanvas(metres));
    }
    void addSpeaker(std::int64_t id, Point metres) { f.addSpeaker(id, onCanvas(metres)); }
    Point speakerMetres(std::int64_t id) const { return f.speaker(id).positionMeters; }
    // The source with that number now: an undo or an open brings in new records.
    std::shared_ptr<SoundObject> source(std::int64_t number) const {
        for (const auto& s : f.state->soundObjects.get())
            if (s->number.get() == number)
                return s;
        return nullptr;
    }

    void drag(Point from, Point to) {
        QTest::mousePress(canvas, Qt::LeftButton, {}, at(from));
        for (int i = 1; i <= 10; ++i)
            QTest::mouseMove(canvas,
                             at({from.x + (to.x - from.x) * i / 10, from.y + (to.y - from.y) * i / 10}));
        QTest::mouseRelease(canvas, Qt::LeftButton, {}, at(to));
    }
    // Shortcuts reach the active window only: a closed sheet hands activation back later.
    void press(int key, Qt::KeyboardModifiers modifiers) {
        QApplication::setActiveWindow(window.get());
        QVERIFY(QTest::qWaitFor([this] { return QApplication::activeWindow() == window.get(); }, deadline));
        QTest::keyClick(window.get(), Qt::Key(key), modifiers);
    }
    void undo() { press(Qt::Key_Z, Qt::ControlModifier); }

    // A stroke from the selected source, ended with a right click: one new cue.
    void drawCue(const std::shared_ptr<SoundObject>& source, Point metresEnd) {
        const Point start = source->position, end = onCanvas(metresEnd);
        QTest::mouseClick(canvas, Qt::LeftButton, {}, at(start));
        QTest::mouseClick(sidebar->drawButton(), Qt::LeftButton);
        QTest::mousePress(canvas, Qt::LeftButton, {}, at(start));
        for (int i = 1; i <= 30; ++i)
            QTest::mouseMove(
                canvas, at({start.x + (end.x - start.x) * i / 30, start.y + (end.y - start.y) * i / 30}));
        QTest::mouseRelease(canvas, Qt::LeftButton, {}, at(end));
        QTest::mousePress(canvas, Qt::RightButton, {}, at(end));
        QTest::mouseRelease(canvas, Qt::RightButton, {}, at(end));
    }

    PathPropertiesSheet* openSheet(const std::shared_ptr<PathCue>& cue) {
        f.view->editPathCue(cue);
        return PathPropertiesSheet::present(*f.view, window.get());
    }

    // The rows are listed and laid out one under the other.
    bool rowsShown(std::size_t count) const {
        const auto rows = sidebar->list()->rows();
        if (rows.size() != count)
            return false;
        for (std::size_t i = 0; i < rows.size(); ++i)
            if (rows[i]->height() < 20 || (i && rows[i]->geometry().top() <= rows[i - 1]->geometry().top()))
                return false;
        return true;
    }
    void clickRow(std::size_t index) {
        CueListWidget* list = sidebar->list();
        CueRowWidget* row = list->rows().at(index);
        QTest::mouseClick(list, Qt::LeftButton, {}, row->mapTo(list, row->rect().center()));
    }

    // The desk holds `expected` at every one of its addresses.
    bool deskHolds(const std::map<std::string, std::int32_t>& expected) const {
        const auto last = f.lastLevels();
        for (const auto& [address, level] : expected) {
            auto it = last.find(address);
            if (it == last.end() || it->second != level)
                return false;
        }
        return !expected.empty();
    }
};

// Replaces a field's text by typing, without Return.
void typeWithoutReturn(QLineEdit* field, const QString& text) {
    field->setFocus();
    field->selectAll();
    QTest::keyClicks(field, text);
}

} // namespace

class ShowRestoreTests : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { platform::MainRunLoop::adoptCurrentThread(); }

    void cuesGoThroughSaveAndOpenAndDeletePathIsUndone() {
        MainWindowOnDesk w;
        QVERIFY(w.startWith({1, 1}, {{0, 4}, {5, 4}}));

        w.drawCue(w.source(1), {4, 1});
        QTRY_COMPARE_WITH_TIMEOUT(w.f.view->pathManager->pathCues->size(), std::size_t(1), deadline);
        w.drawCue(w.source(1), {1, 4});
        QTRY_COMPARE_WITH_TIMEOUT(w.f.view->pathManager->pathCues->size(), std::size_t(2), deadline);
        const auto first = w.f.view->pathManager->pathCues.get()[0];
        const auto second = w.f.view->pathManager->pathCues.get()[1];

        // The first cue relative, with the Movement picker.
        QPointer<PathPropertiesSheet> sheet = w.openSheet(first);
        QVERIFY(sheet);
        QTRY_VERIFY_WITH_TIMEOUT(sheet->isVisible(), deadline);
        sheet->movementPicker()->setFocus();
        QTest::keyClick(sheet->movementPicker(), Qt::Key_Down);
        QCOMPARE(sheet->movementPicker()->currentText(), QString("Relative"));
        QTest::mouseClick(sheet->doneButton(), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!sheet, deadline);
        QVERIFY(first->relative);

        // The second looping three times: name and count typed, then Return in Time, then
        // Done. The typed text survives the Return in another field.
        sheet = w.openSheet(second);
        QVERIFY(sheet);
        QTRY_VERIFY_WITH_TIMEOUT(sheet->isVisible(), deadline);
        typeWithoutReturn(sheet->nameField(), "Walk off");
        QTest::mouseClick(sheet->loopBox(), Qt::LeftButton, {}, sheet->loopBox()->rect().center());
        QVERIFY(sheet->loopBox()->isChecked());
        QTRY_VERIFY_WITH_TIMEOUT(sheet->countField()->isEnabled(), deadline);
        typeWithoutReturn(sheet->countField(), "3");
        typeWithoutReturn(sheet->timeField(), "7");
        QTest::keyClick(sheet->timeField(), Qt::Key_Return);
        QCOMPARE(second->time, 7.0);
        QCOMPARE(sheet->nameField()->text(), QString("Walk off"));
        QCOMPARE(sheet->countField()->text(), QString("3"));
        QTest::mouseClick(sheet->doneButton(), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!sheet, deadline);
        QCOMPARE(second->name, std::string("Walk off"));
        QCOMPARE(second->loopCount, std::optional<std::int64_t>(3));
        QVERIFY(second->loop);
        const auto made = records(*w.f.view->pathManager);

        // "Save As...", "New Blank Canvas", "Open..." the file.
        const auto file = w.f.folder.path() / "Cues.sonavant";
        w.f.presenter->nextSave = file;
        w.press(Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
        QTRY_VERIFY_WITH_TIMEOUT(std::filesystem::exists(file), deadline);
        w.press(Qt::Key_N, Qt::ControlModifier | Qt::ShiftModifier);
        QTRY_VERIFY_WITH_TIMEOUT(w.f.view->pathManager->pathCues->empty() && w.f.state->soundObjects->empty(),
                                 deadline);
        w.f.presenter->nextOpen = file;
        w.press(Qt::Key_O, Qt::ControlModifier);
        QTRY_COMPARE_WITH_TIMEOUT(w.f.view->pathManager->pathCues->size(), std::size_t(2), deadline);
        QVERIFY(records(*w.f.view->pathManager) == made);
        QCOMPARE(w.f.state->pathCues.get(), w.f.view->pathManager->pathCues.get());
        QTRY_VERIFY_WITH_TIMEOUT(w.rowsShown(2), deadline);
        guitest::saveScreenshot(*w.window, "show-reopened-with-its-cues");

        // Select a row, "Delete Path", Undo: the cue is back.
        w.clickRow(1);
        QTRY_COMPARE_WITH_TIMEOUT(w.f.view->pathManager->selectedCueIDs.get(),
                                  std::set<platform::UUID>{made[1].id}, deadline);
        w.menus->action("Delete Path")->trigger();
        QCOMPARE(w.f.view->pathManager->pathCues->size(), std::size_t(1));
        w.undo();
        QTRY_COMPARE_WITH_TIMEOUT(w.f.view->pathManager->pathCues->size(), std::size_t(2), deadline);
        QVERIFY(records(*w.f.view->pathManager) == made);
        QTRY_VERIFY_WITH_TIMEOUT(w.rowsShown(2), deadline);
    }

    void aLoopingCueKeepsLoopingAfterAnUndoOfAnUnrelatedDrag() {
        MainWindowOnDesk w;
        QVERIFY(w.startWith({1, 1}, {{0, 4}, {5, 4}}));
        auto cue = std::make_shared<PathCue>(
            platform::UUID::random(), "Loop", 0.3, std::vector<platform::UUID>{w.source(1)->id},
            std::vector<Point>{{1, 1}, {2, 1}}, 1.0, w.source(1)->id, std::nullopt, true, std::nullopt,
            TriggerNextOption::none, false);
        w.f.view->pathManager->pathCues = std::vector{cue};
        QTRY_VERIFY_WITH_TIMEOUT(w.rowsShown(1), deadline);
        w.clickRow(0);
        QTest::mouseClick(w.sidebar->playButton(), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(w.f.view->pathManager->playingCueIDs->count(cue->id), deadline);

        const Point speakerBefore = w.speakerMetres(2);
        const Point from = w.f.speaker(2).position;
        w.drag(from, {from.x - 60, from.y + 40});
        QVERIFY(!near(w.speakerMetres(2), speakerBefore));
        w.undo();
        QTRY_VERIFY_WITH_TIMEOUT(near(w.speakerMetres(2), speakerBefore), deadline);

        // Passes keep ending and starting again.
        int restarts = 0;
        bool wasPlaying = true;
        auto watch = w.f.view->pathManager->playingCueIDs.observe([&](const std::set<platform::UUID>& ids) {
            const bool playing = ids.count(cue->id) != 0;
            restarts += playing && !wasPlaying;
            wasPlaying = playing;
        });
        QTRY_VERIFY_WITH_TIMEOUT(restarts >= 2, deadline);
        QCOMPARE(w.f.view->pathManager->selectedCueIDs.get(), std::set<platform::UUID>{cue->id});
    }

    void undoAndOpenDrawEveryItemAtItsMetresUnderTheLiveZoom() {
        MainWindowOnDesk w;
        QVERIFY(w.startWith({1, 1}, {{0, 3}, {3, 3}, {6, 0.5}}));
        w.f.view->updateRelativeLevels();
        const auto atOneOne = w.f.expectedLevels(*w.source(1));
        QTRY_VERIFY_WITH_TIMEOUT(w.deskHolds(atOneOne), deadline);

        // Drag from (1, 1) m to (2, 2) m at zoom 100, zoom 90, one Undo.
        w.drag(w.source(1)->position, w.onCanvas({2, 2}));
        QCOMPARE(w.source(1)->positionMeters.get(), (Point{2, 2}));
        QTRY_VERIFY_WITH_TIMEOUT(!w.deskHolds(atOneOne), deadline);
        w.f.view->zoomLevel = 90;
        QTRY_VERIFY_WITH_TIMEOUT(near(w.source(1)->position, w.onCanvas({2, 2})), deadline);
        w.undo();
        QTRY_COMPARE_WITH_TIMEOUT(w.source(1)->positionMeters.get(), (Point{1, 1}), deadline);
        QVERIFY(near(w.source(1)->position, {w.zero().x + 90, w.zero().y - 90}));
        for (std::int64_t id : {1, 2, 3})
            QVERIFY(near(w.f.speaker(id).position, w.onCanvas(w.speakerMetres(id))));
        QTRY_VERIFY_WITH_TIMEOUT(w.deskHolds(atOneOne), deadline);

        // "OSC: Off", drag, Undo: output stays off and nothing arrives.
        w.f.state->oscOutputOn = false;
        w.f.fakeDesk.clear();
        w.drag(w.source(1)->position, w.onCanvas({3, 1}));
        QCOMPARE(w.source(1)->positionMeters.get(), (Point{3, 1}));
        w.undo();
        QTRY_COMPARE_WITH_TIMEOUT(w.source(1)->positionMeters.get(), (Point{1, 1}), deadline);
        QVERIFY(!w.f.state->oscOutputOn);
        QTest::qWait(300); // sends are staggered by tens of milliseconds: give any a chance to land
        QCOMPARE(w.f.fakeDesk.datagramCount(), std::size_t(0));
        w.f.state->oscOutputOn = true;

        // A show saved at zoom 100 on this canvas, opened at zoom 90 on a smaller one.
        w.f.view->zoomLevel = 100;
        QTRY_VERIFY_WITH_TIMEOUT(near(w.source(1)->position, w.onCanvas({1, 1})), deadline);
        const auto file = w.f.folder.path() / "Zoom.sonavant";
        w.f.presenter->nextSave = file;
        w.press(Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
        QTRY_VERIFY_WITH_TIMEOUT(std::filesystem::exists(file), deadline);
        w.f.view->zoomLevel = 90;
        w.window->resize(700 + int(w.f.view->listW), 480);
        QTRY_VERIFY_WITH_TIMEOUT(w.f.view->canvasSize->height < 500, deadline);
        QTRY_VERIFY_WITH_TIMEOUT(near(w.source(1)->position, w.onCanvas({1, 1})), deadline);
        const auto beforeOpen = w.source(1);
        w.f.presenter->nextOpen = file;
        w.press(Qt::Key_O, Qt::ControlModifier);
        QTRY_VERIFY_WITH_TIMEOUT(
            w.f.state->soundObjects->size() == 1 && w.f.state->soundObjects.get()[0] != beforeOpen, deadline);
        const auto opened = w.f.state->soundObjects.get()[0];
        QCOMPARE(opened->positionMeters.get(), (Point{1, 1}));
        QVERIFY(near(opened->position, w.onCanvas({1, 1})));
        QCOMPARE(w.f.view->zoomLevel.get(), 90.0);
        for (std::int64_t id : {1, 2, 3})
            QVERIFY(near(w.f.speaker(id).position, w.onCanvas(w.speakerMetres(id))));

        // "Open Recent" of the same show at zoom 120.
        w.f.view->zoomLevel = 120;
        QTRY_VERIFY_WITH_TIMEOUT(near(w.source(1)->position, w.onCanvas({1, 1})), deadline);
        w.menus->rebuildOpenRecent();
        QVERIFY(!w.menus->openRecentMenu()->actions().isEmpty());
        w.menus->openRecentMenu()->actions().at(0)->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(w.source(1) != opened, deadline);
        QVERIFY(near(w.source(1)->position, w.onCanvas({1, 1})));
        for (std::int64_t id : {1, 2, 3})
            QVERIFY(near(w.f.speaker(id).position, w.onCanvas(w.speakerMetres(id))));
    }

    void eachUndoTakesBackExactlyOneAction() {
        MainWindowOnDesk w;
        QVERIFY(w.startWith({1, 1}, {{0, 3}, {3, 3}}));

        // A loudspeaker selected, a remote move (which records nothing), then a drag of the
        // selected loudspeaker: Undo takes back the drag alone.
        const Point dragged = w.f.speaker(2).position;
        QTest::mouseClick(w.canvas, Qt::LeftButton, {}, at(dragged));
        QTRY_VERIFY_WITH_TIMEOUT(w.f.view->isSpeakerSelected(w.f.speaker(2)), deadline);
        w.f.view->handleRemoteSpeakerPosition(1, 0.5, 2.5);
        w.drag(dragged, {dragged.x + 50, dragged.y + 50});
        QVERIFY(!near(w.speakerMetres(2), {3, 3}));
        w.undo();
        QTRY_VERIFY_WITH_TIMEOUT(near(w.speakerMetres(2), {3, 3}), deadline);
        QVERIFY(near(w.speakerMetres(1), {0.5, 2.5}));

        // Select the source, a remote move, then an arrow key: Undo takes back the key alone.
        QTest::mouseClick(w.canvas, Qt::LeftButton, {}, at(w.source(1)->position));
        QTRY_VERIFY_WITH_TIMEOUT(w.f.view->isSoundObjectSelected(*w.source(1)), deadline);
        w.f.view->handleRemoteSpeakerPosition(1, 1.5, 2.0);
        w.canvas->setFocus();
        QTest::keyClick(w.canvas, Qt::Key_Right);
        QTRY_VERIFY_WITH_TIMEOUT(near(w.source(1)->positionMeters, {1.1, 1}), deadline);
        w.undo();
        QTRY_VERIFY_WITH_TIMEOUT(near(w.source(1)->positionMeters, {1, 1}), deadline);
        QVERIFY(near(w.speakerMetres(1), {1.5, 2.0}));

        // A remote move, then a drag of the source: Undo takes back the drag alone.
        w.f.view->handleRemoteSpeakerPosition(2, 2.0, 1.0);
        w.drag(w.source(1)->position, w.onCanvas({2, 0.5}));
        QVERIFY(near(w.source(1)->positionMeters, {2, 0.5}));
        w.undo();
        QTRY_VERIFY_WITH_TIMEOUT(near(w.source(1)->positionMeters, {1, 1}), deadline);
        QVERIFY(near(w.speakerMetres(2), {2.0, 1.0}));
        QVERIFY(near(w.speakerMetres(1), {1.5, 2.0}));
    }

    void aZoomChangeDuringASnapshotFadeLeavesEveryItemAtTheSnapshotsMetres() {
        MainWindowOnDesk w;
        QVERIFY(w.startWith({0.5, 0.5}, {{0, 3}, {4, 3}}));
        Snapshot snapshot;
        snapshot.number = 1;
        snapshot.recallTime = 2.0;
        snapshot.soundObjectStates = {SoundObjectState{w.source(1)->id, {1, 2}}};
        snapshot.speakerStates = {SpeakerState{1, {0, 3}, 0, 70}, SpeakerState{2, {4, 1}, 0, 70}};
        w.f.view->recallSnapshot(snapshot);
        QTRY_VERIFY_WITH_TIMEOUT(w.source(1)->positionMeters->x > 0.6, deadline);
        QVERIFY(w.f.view->isSnapshotFading());
        w.f.view->zoomLevel = 50;
        QTRY_VERIFY_WITH_TIMEOUT(!w.f.view->isSnapshotFading(), deadline);
        QTRY_VERIFY_WITH_TIMEOUT(near(w.source(1)->position, w.onCanvas({1, 2})), deadline);
        QCOMPARE(w.source(1)->positionMeters.get(), (Point{1, 2}));
        QCOMPARE(w.speakerMetres(1), (Point{0, 3}));
        QCOMPARE(w.speakerMetres(2), (Point{4, 1}));
        QVERIFY(near(w.f.speaker(2).position, w.onCanvas({4, 1})));
    }
};

SONAVANT_GUI_TEST_MAIN(ShowRestoreTests)
#include "ShowRestoreTests.moc"
