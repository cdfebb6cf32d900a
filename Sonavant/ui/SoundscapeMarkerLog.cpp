#include "Sonavant/ui/SoundscapeMarkerLog.h"

std::vector<std::string> SoundscapeMarkerLog::entries(const std::vector<SoundscapeSpeaker>& speakers,
                                                      CanvasOrientation orientation, double zoom,
                                                      Point zeroPoint) {
    std::vector<std::string> out;
    std::map<std::string, Built> now;
    for (const SoundscapeSpeaker& speaker : speakers) {
        const std::string id = speaker.id.string();
        auto it = built_.find(id);
        if (it == built_.end() || it->second.rotation != speaker.rotation ||
            it->second.orientation != orientation)
            out.push_back(CanvasMarkerGeometry::soundscapeSpeakerMarker(speaker, orientation, zoom, zeroPoint)
                              .logEntry);
        now[id] = {speaker.rotation, orientation};
    }
    built_ = std::move(now);
    return out;
}
