// The canvas paints from kept pictures (what lies under the moving items, the items not
// selected) and eases item moves. What it shows must not depend on what it kept: at every
// kind of change a paint through the kept pictures equals, bit for bit, the same paint with
// every kept picture dropped, while a move eases and once it is at rest.

#include "Sonavant/canvas/RangeRingStamp.h"
#include "Sonavant/ui/SpeakerOverlayGeometry.h"
#include "gui/CanvasGuiSupport.h"
#include "gui/GuiTestMain.h"

#include <QPainter>

using namespace canvasgui;

namespace {

// A show with everything the canvas draws, on a canvas whose clock the test holds.
struct KeptShow : EditorCanvas {
    double now = 1000;
    std::vector<std::shared_ptr<SoundObject>> sources;
    std::shared_ptr<PathCue> relativeCue;

    KeptShow() : EditorCanvas(CanvasOrientation::top, {900, 640}) {
        canvas->setClock([this] { return now; });
    }

    void build() {
        state->zeroPointPosition = ZeroPointPosition::center;
        view->updateZeroPoint();
        state->showGrid = true;
        state->showSpeakerFocus = true;
        state->showSpeakerCoverage = true;
        state->range = 1.5;
        addArea("Stalls", "teal", {{-3, 0}, {3, 0}, {2.5, -2}, {-2.5, -2}});
        addArea("Balcony", "orange", {{-2, 1.5}, {2, 1.5}, {2, 2.5}, {-2, 2.5}});
        for (int i = 0; i < 4; ++i)
            addSpeaker(i + 1, onCanvas({-3.5 + 2.3 * i, i % 2 ? 2.8 : -2.6}), i % 2 ? "Mix" : "Matrix",
                       i % 2 ? "green" : "orange");
        const Point metres[] = {{-1.5, 0.5}, {0, 1}, {1.5, -0.5}, {0.5, -1.5}, {9, 1}};
        for (int i = 0; i < 5; ++i)
            sources.push_back(addSource(i + 1, onCanvas(metres[i])));
        sources[1]->outlineColour = "white";
        SoundscapeSpeaker ds100;
        ds100.speakerNumber = 1;
        ds100.x = -2;
        ds100.y = -2.5;
        ds100.rotation = 45;
        state->soundscapeSpeakers = std::vector{ds100};
        // An absolute cue and one drawn at its primary source; both selected, so drawn.
        auto absolute =
            std::make_shared<PathCue>(platform::UUID::random(), "Across", 5.0, std::vector{sources[0]->id},
                                      std::vector<Point>{{-3, -1}, {0, 2}, {3, -1}}, 1.0, sources[0]->id,
                                      std::nullopt, false, std::nullopt, TriggerNextOption::none, false);
        relativeCue = std::make_shared<PathCue>(
            platform::UUID::random(), "Circle", 5.0, std::vector{sources[2]->id},
            std::vector<Point>{{0, 0}, {1, 1}, {2, 0}, {1, -1}}, 2.0, sources[2]->id, std::nullopt, false,
            std::nullopt, TriggerNextOption::none, true);
        view->pathManager->pathCues = std::vector{absolute, relativeCue};
        view->pathManager->selectCue(absolute, true);
        view->pathManager->selectCue(relativeCue, true);
    }

    QImage paint(bool fresh) {
        if (fresh)
            canvas->clearCaches();
        QImage image(canvas->size(), QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setFont(canvas->font());
        canvas->paintCanvas(painter, QSizeF(canvas->size()));
        return image;
    }
    Point centreOf(const SoundObject& s) const { return s.position; }
};

} // namespace

class CanvasCacheTests : public QObject {
    Q_OBJECT

private slots:
    void keptPicturesPaintWhatAFreshPaintPaints() {
        KeptShow f;
        QVERIFY(f.show());
        f.build();
        QCoreApplication::processEvents();
        int compared = 0;
        // The kept pictures are warm with the state before the step; the step then changes
        // the show, and the paint is compared while the drawing eases and at rest.
        auto same = [&](const char* step) {
            QCoreApplication::processEvents();
            for (double dt : {0.0, 0.02, 0.1}) {
                f.now += dt;
                const QImage kept = f.paint(false);
                const QImage fresh = f.paint(true);
                if (kept != fresh) {
                    kept.save(guitest::screenshotDir() + "/canvas-kept-mismatch-kept.png");
                    fresh.save(guitest::screenshotDir() + "/canvas-kept-mismatch-fresh.png");
                    return QString("kept and fresh pictures differ after: ") + step;
                }
                ++compared;
            }
            f.paint(false);
            return QString();
        };
#define SAME(step)                                                                                           \
    do {                                                                                                     \
        const QString failure = same(step);                                                                  \
        QVERIFY2(failure.isEmpty(), qPrintable(failure));                                                    \
    } while (false)
        SAME("the first paint");

        // A source drag, with the relative cue drawn at the dragged source.
        auto& dragged = *f.sources[2];
        const Point from = dragged.position;
        QTest::mousePress(f.canvas.get(), Qt::LeftButton, {}, at(from));
        QTest::mouseMove(f.canvas.get(), at({from.x + 10, from.y}));
        SAME("a source drag begins");
        QTest::mouseMove(f.canvas.get(), at({from.x + 40, from.y + 20}));
        // The show has the new position at once; only the drawing eases to it, and comes to
        // rest in its time.
        QVERIFY(std::abs(dragged.position->x - (from.x + 40)) < 1e-6);
        f.paint(false);
        QVERIFY(f.canvas->isAnimating());
        const QImage moving = f.paint(false);
        f.now += ItemMoveEasing::duration;
        const QImage atRest = f.paint(false);
        QVERIFY(!f.canvas->isAnimating());
        QVERIFY(atRest != moving);
        SAME("a source drag moves");
        QTest::mouseRelease(f.canvas.get(), Qt::LeftButton, {}, at({from.x + 40, from.y + 20}));
        SAME("a source drag ends");

        // A drag of a selection holding loudspeakers and sources.
        f.view->selectedObjects = std::set<std::string>{
            speakerKey(1), speakerKey(2), soundObjectKey(f.sources[0]->id), soundObjectKey(f.sources[1]->id)};
        SAME("a selection of loudspeakers and sources");
        const Point grab = f.sources[0]->position;
        QTest::mousePress(f.canvas.get(), Qt::LeftButton, {}, at(grab));
        for (int i = 1; i <= 3; ++i) {
            QTest::mouseMove(f.canvas.get(), at({grab.x + 15 * i, grab.y - 8 * i}));
            SAME("a selection drag moves");
        }
        QTest::mouseRelease(f.canvas.get(), Qt::LeftButton, {}, at({grab.x + 45, grab.y - 24}));
        SAME("a selection drag ends");

        // A focus turn of a selected loudspeaker by its handle.
        f.view->selectedObjects = std::set<std::string>{speakerKey(3)};
        SAME("a loudspeaker selected");
        const auto handle =
            SpeakerOverlayGeometry::of(f.speaker(3), true, f.state->canvasOrientation,
                                       f.state->showSpeakerFocus, f.state->showSpeakerCoverage)
                .handleCentre;
        const Point centre = f.speaker(3).position;
        QTest::mousePress(f.canvas.get(), Qt::LeftButton, {}, at(handle));
        QTest::mouseMove(f.canvas.get(), at({centre.x + 120, centre.y + 40}));
        const double focus = f.speaker(3).focus;
        QTest::mouseMove(f.canvas.get(), at({centre.x + 60, centre.y + 140}));
        QVERIFY(f.speaker(3).focus != focus); // it turned
        SAME("a focus turn");
        QTest::mouseRelease(f.canvas.get(), Qt::LeftButton, {}, at({centre.x + 60, centre.y + 140}));

        // A rubber band over the background.
        QTest::mousePress(f.canvas.get(), Qt::LeftButton, {}, QPoint(860, 600));
        QTest::mouseMove(f.canvas.get(), QPoint(820, 560));
        QTest::mouseMove(f.canvas.get(), QPoint(780, 520));
        QVERIFY(f.view->selectionRect.get().has_value());
        SAME("a rubber band");
        QTest::mouseRelease(f.canvas.get(), Qt::LeftButton, {}, QPoint(780, 520));
        SAME("a rubber band ends");

        f.view->zoomLevel = 80;
        SAME("a zoom change");
        f.state->range = 2.5;
        SAME("a range change");
        f.state->canvasOrientation = CanvasOrientation::right;
        f.view->reprojectAllPositions(*f.view->cachedGeometryProxy.get());
        SAME("an orientation change");
        f.canvas->resize(840, 600);
        SAME("a resize");
        QVERIFY(!AppState::undoStack.empty());
        f.state->undo();
        SAME("an undo");
        // Undo brings back the show's own items.
        f.sources = f.state->soundObjects.get();

        // A remote move of a source not selected.
        f.sources[3]->position = Point{f.sources[3]->position->x - 30, f.sources[3]->position->y + 10};
        SAME("a remote move");

        // A cue tick moves the cue's source.
        const Point beforeTick = f.sources[0]->position;
        f.view->playSelectedCues();
        f.view->pathManager->masterTick();
        QTRY_VERIFY_WITH_TIMEOUT(f.sources[0]->position.get() != beforeTick, 5000);
        f.view->pathManager->stopAllPlayback();
        SAME("a cue tick");

        // A snapshot fade step moves every source a little.
        for (const auto& s : f.sources)
            s->position = Point{s->position->x + 3, s->position->y - 2};
        SAME("a snapshot fade step");

        f.view->selectedObjects = std::set<std::string>{soundObjectKey(f.sources[4]->id), speakerKey(4)};
        SAME("a selection change");
        f.state->showSpeakerCoverage = false;
        SAME("coverage cones off");
        f.state->showSpeakerFocus = false;
        SAME("focus arrows off");
        f.state->showGrid = false;
        SAME("the grid off");
        f.state->isSoundScapeMode = true;
        SAME("SoundScape mode on");
        f.state->isSoundScapeMode = false;
        f.state->showSpeakerCoverage = true;
        SAME("cones back");

        f.sources[0]->colour = "red";
        SAME("a colour edit");
        f.sources[0]->number = 42;
        SAME("a number edit");
        f.state->speakers.update([](std::vector<Speaker>& list) {
            list[0].displayColour = "pink";
            list[1].displayNumber = 9;
        });
        SAME("a loudspeaker colour and number edit");

        f.state->selectedAudienceAreaID = f.area(1).id;
        f.state->isEditingAudienceArea = true;
        SAME("entering area edit mode");
        f.state->isEditingAudienceArea = false;
        SAME("leaving area edit mode");
#undef SAME
        QVERIFY(compared > 90);
    }

    // Each range circle is laid down from one drawing of the ring: it must be the ring the
    // painter draws, pixel for pixel, wherever the canvas cuts it.
    void aLaidDownRingIsTheDrawnRing() {
        for (double radius : {20.0, 157.5, 400.0}) {
            RangeRingStamp stamp;
            stamp.prepare(radius, 1, 128);
            const int side = int(2 * radius) + 40;
            QImage laid(side, side, QImage::Format_ARGB32_Premultiplied), drawn = laid;
            laid.fill(Qt::transparent);
            drawn.fill(Qt::transparent);
            const QPointF centre(side / 2 + 0.5, side / 2 + 0.5);
            stamp.stamp(laid, centre);
            {
                QPainter painter(&drawn);
                painter.setRenderHint(QPainter::Antialiasing);
                QPen pen(QColor(255, 255, 255, 128), 1);
                pen.setCosmetic(true);
                painter.setPen(pen);
                painter.drawEllipse(centre, radius - 0.5, radius - 0.5);
                painter.drawEllipse(centre, radius + 0.5, radius + 0.5);
            }
            QVERIFY2(laid == drawn, qPrintable(QString("radius %1").arg(radius)));
            // Cut by the edges: what lies inside is the same, nothing is written outside.
            QImage cut(side / 2, side / 3, QImage::Format_ARGB32_Premultiplied);
            cut.fill(Qt::transparent);
            stamp.stamp(cut, centre - QPointF(side / 4, side / 3));
            QVERIFY(cut == laid.copy(side / 4, side / 3, side / 2, side / 3));
            QVERIFY(stamp.touches(centre, QSizeF(side, side)));
            QVERIFY(!stamp.touches(QPointF(-radius - 10, 50), QSizeF(side, side)));
        }
    }
};

SONAVANT_GUI_TEST_MAIN(CanvasCacheTests)
#include "CanvasCacheTests.moc"
