#include "Sonavant/engine/ContentView.h"

#include <algorithm>

std::function<void()> ContentView::saveStateWhileAlive() {
    return whileAlive([](ContentView& view) { view.writeAutosaveAndWorkingState(); });
}

namespace {

// The pair's place in its source's remembered row, added behind the others when missing.
std::size_t pairIndex(MappedLevelRow& row, std::int64_t speakerID) {
    auto it = std::find(row.speakers.begin(), row.speakers.end(), speakerID);
    if (it != row.speakers.end())
        return static_cast<std::size_t>(it - row.speakers.begin());
    row.speakers.push_back(speakerID);
    row.levels.emplace_back();
    row.known.push_back(0);
    row.sent.emplace_back();
    return row.speakers.size() - 1;
}

} // namespace

std::uint64_t ContentView::recordMixerSend(const platform::UUID& source, std::int64_t speakerID,
                                           const std::string& address, double value, double lower) {
    MappedLevelRow& row = mappedLevelRow(source);
    const std::size_t i = pairIndex(row, speakerID);
    row.known[i] = 1;
    row.levels[i] = {value, 1};
    row.sent[i] = {std::make_shared<const std::string>(address), lower};
    const std::uint64_t mark = ++nextSendSequence_;
    mixerSendMarks_[{source, speakerID}] = mark;
    return mark;
}

bool ContentView::isLastSend(const platform::UUID& source, std::int64_t speakerID, std::uint64_t mark) const {
    const auto it = mixerSendMarks_.find({source, speakerID});
    return it != mixerSendMarks_.end() && it->second == mark;
}

void ContentView::mixerPairUnmuted(const platform::UUID& source, std::int64_t speakerID) {
    MappedLevelRow& row = mappedLevelRow(source);
    row.known[pairIndex(row, speakerID)] = 0;
    updateRelativeLevels();
}

MixerSendLink ContentView::mixerSendLink() {
    std::weak_ptr<ContentView*> alive = aliveToken_;
    return {[alive](const platform::UUID& source, std::int64_t speakerID, const std::string& address,
                    double value, double lower) -> std::uint64_t {
                auto view = alive.lock();
                return view ? (*view)->recordMixerSend(source, speakerID, address, value, lower) : 0;
            },
            [alive](const platform::UUID& source, std::int64_t speakerID, std::uint64_t mark) {
                auto view = alive.lock();
                return view && (*view)->isLastSend(source, speakerID, mark);
            },
            [alive](const platform::UUID& source, std::int64_t speakerID) {
                if (auto view = alive.lock())
                    (*view)->mixerPairUnmuted(source, speakerID);
            }};
}
