#pragma once
// How well a loudspeaker points at the audience: the angle between its aim and the nearest
// node of any audience area, turned into a factor between 0 and 1. The focus factor weighs
// the curved pan laws, the coverage factor "Constant Power". Pure; any thread.

#include "Sonavant/model/AudienceArea.h"
#include "Sonavant/model/CanvasOrientation.h"
#include "Sonavant/model/Geometry.h"
#include "Sonavant/model/Speaker.h"

#include <utility>
#include <vector>

// Degrees from the aim: full factor up to `inner`, falling linearly to 0 at `outer`.
struct AudienceFactorLimits {
    double inner = 0;
    double outer = 0;
};

AudienceFactorLimits focusFactorLimits(double width);
AudienceFactorLimits coverageFactorLimits(double width);

// Every node of every area on the canvas, in area and node order.
std::vector<Point> audienceNodeCanvasPoints(const std::vector<AudienceArea>& areas,
                                            CanvasOrientation orientation, double zoom, Point zeroPoint);

// With no nodes the nearest angle counts as 180 degrees. A loudspeaker whose position,
// focus or width is not a finite number points nowhere: 0.
double audienceFactor(const Speaker& speaker, CanvasOrientation orientation, const std::vector<Point>& nodes,
                      AudienceFactorLimits limits);
// Two factors of one loudspeaker at once, each exactly as audienceFactor gives it.
std::pair<double, double> audienceFactors(const Speaker& speaker, CanvasOrientation orientation,
                                          const std::vector<Point>& nodes, AudienceFactorLimits first,
                                          AudienceFactorLimits second);
