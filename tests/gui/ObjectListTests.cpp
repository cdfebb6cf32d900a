// The "Inputs" list beside a canvas, and the focus holder that hands the arrow keys to the
// canvas from the moment the main window shows, without a click.
#include "Sonavant/engine/ContentView.h"
#include "Sonavant/panels/FocusHolder.h"
#include "Sonavant/panels/InputSheet.h"
#include "Sonavant/panels/ObjectListPanel.h"
#include "Sonavant/panels/ObjectListRowWidget.h"
#include "gui/GuiTestMain.h"
#include "gui/PanelTestSupport.h"
#include "support/RecordingPresenter.h"

#include <QAbstractButton>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QPointer>

using namespace paneltest;

namespace {

MixingDesk colouredDesk() {
    MixingDesk d = support::acmeDesk({.inputs = 64});
    d.mixSendEnabled = true;
    d.groupName = "Group";
    d.groupColour = "purple";
    return d;
}

std::shared_ptr<SoundObject> source(std::int64_t number, const std::string& name, const MixingDesk& desk,
                                    std::string type = "Input", Point at = {0, 0}) {
    auto s = support::sourceAt(number, at, desk, std::move(type));
    s->name = name;
    return s;
}

// The twelve sources of a small band, not in number order, two sharing a number.
std::vector<std::shared_ptr<SoundObject>> band(const MixingDesk& desk) {
    return {source(3, "Snare", desk),
            source(1, "Kick", desk),
            source(2, "Hi-hat", desk),
            source(7, "Bass DI", desk),
            source(5, "Guitar L", desk),
            source(6, "Guitar R", desk),
            source(4, "Overheads", desk),
            source(9, "Lead vocal", desk),
            source(10, "Backing vocals", desk, "Mix"),
            source(11, "Drum bus", desk, "Group"),
            source(9, "Keys (stereo pair, left)", desk),
            source(12, "Talkback", desk, "Cue")};
}

// Stands in for the canvas: a dark area that moves the selected sources 10 points to the
// right on the right-arrow key and sends the levels, as the canvas's own handling does.
class CanvasStandIn : public QWidget {
public:
    explicit CanvasStandIn(ContentView& view) : view_(view) { setMinimumSize(420, 480); }
    int arrowKeys = 0;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.fillRect(rect(), QColor(30, 30, 32));
        p.setPen(QColor(255, 255, 255, 40));
        for (int x = 0; x < width(); x += 50)
            p.drawLine(x, 0, x, height());
        for (int y = 0; y < height(); y += 50)
            p.drawLine(0, y, width(), y);
    }
    void keyPressEvent(QKeyEvent* event) override {
        if (event->key() != Qt::Key_Right)
            return QWidget::keyPressEvent(event);
        ++arrowKeys;
        for (const auto& s : view_.appState->soundObjects.get())
            if (view_.selectedObjects->count("soundObject-" + s->id.string()))
                s->position = Point{s->position->x + 10, s->position->y};
        view_.updateRelativeLevels();
    }

private:
    ContentView& view_;
};

// Opens the real input sheet, as the application's presenter does.
class SheetPresenter : public support::RecordingPresenter {
public:
    QWidget* window = nullptr;
    QPointer<InputSheet> lastSheet;
    void showInputSheet(ContentView& view, const platform::UUID& id) override {
        RecordingPresenter::showInputSheet(view, id);
        lastSheet = InputSheet::open(window, view, id);
    }
};

QStringList rowTexts(const ObjectListPanel& panel) {
    QStringList out;
    for (auto* row : panel.rowWidgets())
        out << row->accessibleName();
    return out;
}

ObjectListRowWidget* rowNamed(const ObjectListPanel& panel, const std::string& name) {
    for (auto* row : panel.rowWidgets())
        if (row->row().name == name)
            return row;
    return nullptr;
}

} // namespace

class ObjectListTests : public QObject {
    Q_OBJECT

private slots:

    void rowsFollowTheShowInNumberOrderAndUpdateInPlace() {
        LoopbackView f;
        const MixingDesk desk = colouredDesk();
        f.selectDesk(desk);
        f.show->soundObjects = band(desk);
        f.view.selectedObjects =
            std::set<std::string>{"soundObject-" + f.show->soundObjects.get()[7]->id.string()};
        f.view.showingObjectList = true;

        QWidget host;
        auto* layout = new QHBoxLayout(&host);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(0);
        auto* panel = new ObjectListPanel(f.view, &host);
        layout->addWidget(panel); // at the canvas's leading edge, as the main view places it
        layout->addWidget(new CanvasStandIn(f.view), 1);
        host.resize(420 + panel->sizeHint().width(), 520);
        host.show();
        QVERIFY(QTest::qWaitForWindowExposed(&host));

        QCOMPARE(rowTexts(*panel),
                 (QStringList{"#1 Kick", "#2 Hi-hat", "#3 Snare", "#4 Overheads", "#5 Guitar L",
                              "#6 Guitar R", "#7 Bass DI", "#9 Lead vocal", "#9 Keys (stereo pair, left)",
                              "#10 Backing vocals", "#11 Drum bus", "#12 Talkback"}));
        QCOMPARE(panel->panelRect().width(), ObjectListPanel::panelWidth);
        QCOMPARE(rowNamed(*panel, "Backing vocals")->row().swatch, NamedColor::green);
        QCOMPARE(rowNamed(*panel, "Drum bus")->row().swatch, NamedColor::purple);
        QCOMPARE(rowNamed(*panel, "Talkback")->row().swatch, NamedColor::gray);
        QVERIFY(rowNamed(*panel, "Lead vocal")->row().selected);
        guitest::saveScreenshot(host, "object-list-12-sources");

        // A rename, a renumbering and a new source: rows change in place, keyed by id.
        auto* kickRow = rowNamed(*panel, "Kick");
        auto kick = f.show->soundObjects.get()[1];
        kick->name = "Kick in";
        kick->number = 8;
        QTRY_COMPARE_WITH_TIMEOUT(rowTexts(*panel).at(6), QString("#8 Kick in"), deadlineMs);
        QCOMPARE(rowNamed(*panel, "Kick in"), kickRow);
        f.show->soundObjects.update([&](auto& list) {
            list.erase(list.begin());
            list.push_back(source(13, "Audience", desk));
        });
        QTRY_COMPARE_WITH_TIMEOUT(rowTexts(*panel).last(), QString("#13 Audience"), deadlineMs);
        QCOMPARE(rowTexts(*panel).size(), 12);
        QVERIFY(!rowNamed(*panel, "Snare"));

        // A damaged show holding one id twice still lists both entries.
        f.show->soundObjects.update([](auto& list) { list.push_back(list.front()); });
        QTRY_COMPARE_WITH_TIMEOUT(rowTexts(*panel).size(), 13, deadlineMs);

        f.show->soundObjects = std::vector<std::shared_ptr<SoundObject>>{};
        QTRY_VERIFY_WITH_TIMEOUT(panel->rowWidgets().empty(), deadlineMs);
        guitest::saveScreenshot(host, "object-list-empty");
    }

    void clickShiftClickDoubleClickAndClose() {
        LoopbackView f;
        const MixingDesk desk = colouredDesk();
        f.selectDesk(desk);
        f.show->soundObjects = band(desk);
        auto presenter = std::make_shared<SheetPresenter>();
        f.view.presenter = presenter;
        f.view.showingObjectList = true;

        QWidget window;
        presenter->window = &window;
        auto* layout = new QHBoxLayout(&window);
        auto* panel = new ObjectListPanel(f.view, &window);
        layout->addWidget(panel);
        window.resize(panel->sizeHint().width(), 500);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        auto key = [](ObjectListRowWidget* row) { return row->row().key; };
        auto* kick = rowNamed(*panel, "Kick");
        auto* snare = rowNamed(*panel, "Snare");
        f.view.selectedObjects = std::set<std::string>{"speaker-2", "pathNode:ABC:1", key(snare)};

        QTest::mouseClick(kick, Qt::LeftButton);
        QCOMPARE(f.view.selectedObjects.get(), std::set<std::string>{key(kick)});
        QTRY_VERIFY_WITH_TIMEOUT(kick->row().selected && !snare->row().selected, deadlineMs);

        f.view.selectedObjects = std::set<std::string>{"speaker-2", key(kick)};
        QTest::mouseClick(snare, Qt::LeftButton, Qt::ShiftModifier);
        QCOMPARE(f.view.selectedObjects.get(), (std::set<std::string>{"speaker-2", key(kick), key(snare)}));
        QTest::mouseClick(kick, Qt::LeftButton, Qt::ShiftModifier);
        QCOMPARE(f.view.selectedObjects.get(), (std::set<std::string>{"speaker-2", key(snare)}));
        QTRY_VERIFY_WITH_TIMEOUT(!kick->row().selected && snare->row().selected, deadlineMs);

        // A double click opens the input sheet; its first click has selected the row.
        auto* vocal = rowNamed(*panel, "Lead vocal");
        // What the window system delivers: a click, then the second press as a double click.
        QTest::mouseClick(vocal, Qt::LeftButton);
        QTest::mouseDClick(vocal, Qt::LeftButton);
        QCOMPARE(presenter->inputSheets.size(), std::size_t(1));
        QVERIFY(presenter->lastSheet);
        QTRY_VERIFY_WITH_TIMEOUT(presenter->lastSheet->isVisible(), deadlineMs);
        QCOMPARE(f.view.activeSoundObject.get()->name.get(), std::string("Lead vocal"));
        QCOMPARE(f.view.selectedObjects.get(), std::set<std::string>{key(vocal)});
        presenter->lastSheet->close();
        QTRY_VERIFY_WITH_TIMEOUT(!presenter->lastSheet, deadlineMs);

        const auto selection = f.view.selectedObjects.get();
        QTest::mouseClick(panel->closeButton(), Qt::LeftButton);
        QVERIFY(!f.view.showingObjectList.get());
        QVERIFY(panel->isHidden());
        QCOMPARE(f.view.selectedObjects.get(), selection);
        f.view.showingObjectList = true; // the tool row's button
        QVERIFY(panel->isVisible());
    }

    void arrowKeysReachTheCanvasRightAfterTheWindowShows() {
        LoopbackView f;
        const MixingDesk desk = colouredDesk();
        f.selectDesk(desk);
        f.show->speakers = std::vector{support::mixSpeakerAt(1, desk, 0, 0, {0, 0})};
        auto lead = source(1, "Lead", desk, "Input", Point{100, 100});
        f.show->soundObjects = std::vector{lead};
        f.view.selectedObjects = std::set<std::string>{"soundObject-" + lead->id.string()};
        f.view.showingObjectList = true;

        QWidget window;
        auto* holder = new FocusHolder(&window);
        auto* layout = new QHBoxLayout(&window);
        auto* canvas = new CanvasStandIn(f.view);
        layout->addWidget(canvas, 1);
        auto* panel = new ObjectListPanel(f.view, &window);
        layout->addWidget(panel);
        holder->setKeyTarget(canvas);
        holder->lower(); // behind everything
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QTRY_VERIFY_WITH_TIMEOUT(holder->hasFocus(), deadlineMs);
        QCOMPARE(QApplication::focusWidget(), holder);

        // The key goes to the window, as the operator's key press does: no click first.
        QTest::keyClick(window.windowHandle(), Qt::Key_Right);
        QCOMPARE(canvas->arrowKeys, 1);
        QCOMPARE(lead->position->x, 110.0);
        QTRY_VERIFY_WITH_TIMEOUT(f.desk.datagramCount() > 0, deadlineMs);

        // Keys the canvas does not handle go on up; a field that takes focus keeps it.
        auto* field = new QLineEdit(&window);
        layout->addWidget(field);
        field->show();
        field->setFocus();
        QTRY_VERIFY_WITH_TIMEOUT(field->hasFocus(), deadlineMs);
        QTest::keyClick(window.windowHandle(), Qt::Key_Right);
        QCOMPARE(canvas->arrowKeys, 1);
        QVERIFY(field->hasFocus());

        // A holder that is never shown in a window takes nothing and fails nothing.
        FocusHolder orphan;
        QTest::qWait(0);
        QVERIFY(!orphan.hasTakenFocus());
        QVERIFY(field->hasFocus());
    }
};

SONAVANT_GUI_TEST_MAIN(ObjectListTests)
#include "ObjectListTests.moc"
