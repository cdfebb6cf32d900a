// Pictures of the canvas for people to look at: a show with sources, loudspeakers of each
// desk kind, focus arrows and coverage cones, DS100 loudspeakers, an item off the canvas and
// the range circles, under each orientation.

#include "gui/CanvasGuiSupport.h"
#include "gui/GuiTestMain.h"

#include <numbers>

using namespace canvasgui;

class CanvasScreenshotTests : public QObject {
    Q_OBJECT

private:
    // The same room in metres under every orientation, zero point at the centre.
    static void buildRoom(ShowOnCanvas& f) {
        f.state->zeroPointPosition = ZeroPointPosition::center;
        f.state->showSpeakerFocus = true;
        f.state->showSpeakerCoverage = true;
        f.state->range = 1.0;
        struct Loudspeaker {
            std::int64_t id;
            Point metres;
            double focus;
            double width;
            const char* type;
            const char* colour;
        };
        const Loudspeaker speakers[] = {
            {1, {-3, 2.5}, -45, 70, "Mix", "green"},    {2, {3, 2.5}, 45, 70, "Mix", "green"},
            {3, {-4, -1}, -90, 90, "Matrix", "orange"}, {4, {4, -1}, 90, 90, "Matrix", "orange"},
            {5, {0, 3}, 0, 50, "Group", "indigo"},      {6, {0, -2.6}, 180, 120, "Main", "teal"},
        };
        std::vector<Speaker> list;
        for (const auto& l : speakers) {
            Speaker s = support::speakerAt(l.id, {0, 0}, l.id, l.type, l.focus, l.width);
            s.positionMeters = l.metres;
            s.displayColour = l.colour;
            list.push_back(s);
        }
        f.state->speakers = list;
        const Point sources[] = {{-1.5, 0.5}, {0, 1}, {1.5, 0.5}, {-0.5, -1}, {1, -1.5}, {9, 1}};
        const char* colours[] = {"blue", "red", "yellow", "purple", "pink", "cyan"};
        std::vector<std::shared_ptr<SoundObject>> objects;
        for (int i = 0; i < 6; ++i) {
            auto source = support::sourceAt(i + 1, {0, 0}, desk());
            source->positionMeters = sources[i];
            source->colour = colours[i];
            source->outlineColour = i == 1 ? "white" : "";
            objects.push_back(source);
        }
        f.state->soundObjects = objects;
        SoundscapeSpeaker ds100;
        ds100.speakerNumber = 1;
        ds100.x = -2;
        ds100.y = -2.5;
        ds100.rotation = 45;
        f.state->soundscapeSpeakers = std::vector{ds100};
        f.view->refreshPositionsAfterZeroPointChange();
        f.view->selectedObjects = std::set<std::string>{speakerKey(1), soundObjectKey(objects[0]->id),
                                                        soundObjectKey(objects[2]->id)};
    }

private slots:
    void eachOrientation() {
        for (CanvasOrientation orientation : allCanvasOrientations) {
            ShowOnCanvas f(orientation, {1000, 700});
            QVERIFY(f.show());
            buildRoom(f);
            f.view->updateZeroPoint();
            QCoreApplication::processEvents();
            guitest::saveScreenshot(*f.canvas,
                                    QString("canvas-orientation-%1").arg(rawValue(orientation).data()));
        }
    }

    // The backdrop alone, fitted whole into a wide canvas and centred, with one source and one
    // loudspeaker over it.
    void backdrop() {
        ShowOnCanvas f(CanvasOrientation::top, {1300, 600});
        QVERIFY(f.show());
        f.state->zeroPointPosition = ZeroPointPosition::center;
        f.view->updateZeroPoint();
        f.addSpeaker(1, {450, 200});
        f.addSource(1, {800, 380});
        QCoreApplication::processEvents();
        guitest::saveScreenshot(*f.canvas, "canvas-backdrop");
    }

    // Two selected path cues over the room: a figure of eight that crosses itself and a zigzag
    // with sharp turns, the dashes running on round the corners; one node selected.
    void pathCues() {
        ShowOnCanvas f(CanvasOrientation::top, {1000, 700});
        QVERIFY(f.show());
        buildRoom(f);
        f.view->updateZeroPoint();
        std::vector<Point> eight;
        for (int i = 0; i <= 24; ++i) {
            const double t = i * std::numbers::pi / 12;
            eight.push_back({3 * std::sin(t), 1.5 * std::sin(2 * t)});
        }
        auto cue = [](const char* name, std::vector<Point> nodes, double number) {
            return std::make_shared<PathCue>(
                platform::UUID::random(), name, 5.0, std::vector<platform::UUID>{}, std::move(nodes), number,
                std::nullopt, std::nullopt, false, std::nullopt, TriggerNextOption::none, false);
        };
        auto figure = cue("Eight", eight, 1);
        auto zigzag = cue("Zigzag", {{-4, -3}, {-2, 0}, {-1, -3}, {1, 0}, {2.5, -3}, {4.5, -2.8}}, 2);
        f.view->pathManager->pathCues = std::vector{figure, zigzag};
        f.view->pathManager->selectCue(figure, true);
        f.view->pathManager->selectCue(zigzag, true);
        f.view->selectedObjects = std::set<std::string>{pathNodeKey(zigzag->id, 3)};
        QCoreApplication::processEvents();
        guitest::saveScreenshot(*f.canvas, "canvas-path-cues");
    }

    void overlaysOffAndSoundScapeMode() {
        ShowOnCanvas f(CanvasOrientation::top, {1000, 700});
        QVERIFY(f.show());
        buildRoom(f);
        f.view->updateZeroPoint();
        f.state->showSpeakerCoverage = false;
        f.state->isSoundScapeMode = true; // no range circles
        QCoreApplication::processEvents();
        guitest::saveScreenshot(*f.canvas, "canvas-arrows-only-soundscape");
    }
};

SONAVANT_GUI_TEST_MAIN(CanvasScreenshotTests)
#include "CanvasScreenshotTests.moc"
